// Broken and unusual picture files met in a running show, through the real window: each one is
// either shown or refused with the error box, the show goes on or stops accordingly, and no
// file makes the program allocate without bound.
#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

#include "TestServices.h"
#include "frmStart.h"
#include "mdlSlideDef.h"

namespace {

const QString kGood = QStringLiteral("IMG_0001.jpg");
const QString kBad = QStringLiteral("IMG_0002.jpg");

// Peak memory of this process so far, in KiB; -1 where it cannot be read.
long peakMemoryKb() {
#ifdef Q_OS_UNIX
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0)
#ifdef Q_OS_MACOS
        return long(usage.ru_maxrss / 1024);
#else
        return long(usage.ru_maxrss);
#endif
#endif
    return -1;
}

// A picture with detail everywhere, so that its scan is long enough to cut in several places.
QImage pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7) ^ y, (y * 5) ^ x, (x * y) & 0xFF));
    }
    return image;
}

QByteArray encode(const QImage& image, const char* format, bool progressive = false) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode the test picture: %s", qPrintable(writer.errorString()));
    return buffer.data();
}

// Offset of the first segment with this marker, walking the segments from the start; -1 when
// the walk reaches the scan first.
qsizetype segmentAt(const QByteArray& jpeg, uchar marker) {
    qsizetype pos = 2;
    while (pos + 4 <= jpeg.size() && uchar(jpeg[pos]) == 0xFF) {
        const uchar m = uchar(jpeg[pos + 1]);
        if (m == marker)
            return pos;
        if (m == 0xDA)
            return -1;
        pos += 2 + (uchar(jpeg[pos + 2]) << 8 | uchar(jpeg[pos + 3]));
    }
    return -1;
}

qsizetype scanDataAt(const QByteArray& jpeg) {
    const qsizetype sos = segmentAt(jpeg, 0xDA);
    return sos + 2 + (uchar(jpeg[sos + 2]) << 8 | uchar(jpeg[sos + 3]));
}

// The same file with a frame header that claims another size.
QByteArray claimingSize(QByteArray jpeg, uchar frameMarker, int w, int h) {
    const qsizetype sof = segmentAt(jpeg, frameMarker);
    jpeg[sof + 5] = char(h >> 8);
    jpeg[sof + 6] = char(h & 0xFF);
    jpeg[sof + 7] = char(w >> 8);
    jpeg[sof + 8] = char(w & 0xFF);
    return jpeg;
}

// Valid headers and tables, with the coded picture replaced by random bytes (stuffed, so that
// no marker appears inside it).
QByteArray withRandomScan(const QByteArray& jpeg, QRandomGenerator& random) {
    const qsizetype begin = scanDataAt(jpeg);
    QByteArray scan;
    for (qsizetype i = begin; i < jpeg.size() - 2; ++i) {
        const char byte = char(random.bounded(256));
        scan += byte;
        if (uchar(byte) == 0xFF)
            scan += '\0';
    }
    return jpeg.first(begin) + scan + jpeg.last(2);
}

// The companion file a Mac leaves beside a copied picture (AppleDouble header and padding).
QByteArray appleDouble() {
    QByteArray bytes("\x00\x05\x16\x07\x00\x02\x00\x00", 8);
    bytes += "Mac OS X        ";
    bytes += QByteArray("\x00\x02\x00\x00\x00\x09\x00\x00\x00\x32\x00\x00\x0e\xb0", 14);
    bytes += QByteArray(4096 - bytes.size(), '\0');
    return bytes;
}

QByteArray fixture(const char* name) {
    return TestServices::readBytes(QStringLiteral(TEST_DATA_DIR "/") + QLatin1String(name));
}

// What the window showed right after the tick that reached the bad file.
struct AfterTick {
    bool taken = false;
    qint32 showNo = -1;
    QString counter;
    bool timerActive = false;
    bool startEnabled = false;
    bool viewerHidden = false;
    QImage picture;
    qsizetype messages = 0;
    long peakKb = -1;
};

} // namespace

class BadPicturesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestServices> ts;
    std::unique_ptr<QTemporaryDir> pics;
    std::unique_ptr<frmStart> form;

    QString pic(const QString& name) const { return pics->path() + "/" + name; }

private Q_SLOTS:
    void init() {
        ts = std::make_unique<TestServices>();
        pics = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        form.reset();
        pics.reset();
        ts.reset();
    }

    void badPictureInRunningShow_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("shown");
        // Colour a quarter of the way into a shown picture, where the fixture fixes it.
        QTest::addColumn<QColor>("colour");

        const QByteArray jpeg = encode(pattern(320, 240), "jpeg");
        const qsizetype sof = segmentAt(jpeg, 0xC0);
        const qsizetype scan = scanDataAt(jpeg);
        QVERIFY(sof > 0 && scan > sof && jpeg.size() - scan > 4000);
        QRandomGenerator random(20261207); // fixed: every run meets the same bytes
        QByteArray noise(4096, '\0');
        for (char& c : noise)
            c = char(random.bounded(256));
        noise[0] = 'R'; // not a JPEG start

        const QColor any;
        QTest::newRow("cut inside the frame header") << kBad << jpeg.first(sof + 6) << false << any;
        QTest::newRow("cut after the frame header, before the scan")
            << kBad << jpeg.first(segmentAt(jpeg, 0xDA)) << false << any;
        QTest::newRow("cut just inside the scan") << kBad << jpeg.first(scan + 16) << true << any;
        QTest::newRow("cut in the middle of the scan")
            << kBad << jpeg.first((scan + jpeg.size()) / 2) << true << any;
        QTest::newRow("end marker missing") << kBad << jpeg.first(jpeg.size() - 2) << true << any;
        QTest::newRow("zero bytes") << kBad << QByteArray() << false << any;
        QTest::newRow("one byte") << kBad << QByteArray("\xFF", 1) << false << any;
        QTest::newRow("PNG named .jpg") << kBad << encode(pattern(64, 48), "png") << false << any;
        QTest::newRow("random bytes") << kBad << noise << false << any;
        QTest::newRow("random coded data") << kBad << withRandomScan(jpeg, random) << true << any;
        QTest::newRow("header claims 65535 x 65535")
            << kBad << claimingSize(jpeg, 0xC0, 65535, 65535) << false << any;
        // 1.4 KB that would make the decoder zero-fill more than a gigabyte of coefficients.
        QTest::newRow("decompression bomb")
            << kBad << claimingSize(encode(pattern(64, 48), "jpeg", true), 0xC2, 20000, 20000)
            << false << any;
        QTest::newRow("progressive")
            << kBad << encode(pattern(320, 240), "jpeg", true) << true << any;
        // Made once with libjpeg: 48 x 32, arithmetic coding; and 48 x 32 Adobe CMYK, cyan on
        // the left half, magenta on the top half.
        QTest::newRow("arithmetic-coded") << kBad << fixture("arithmetic.jpg") << true << any;
        QTest::newRow("CMYK") << kBad << fixture("cmyk.jpg") << true << QColor(0x32, 0x32, 0xEB);
    }
    void badPictureInRunningShow() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, shown);
        QFETCH(QColor, colour);

        QVERIFY(pattern(160, 120).save(pic(kGood), "JPG"));
        TestServices::writeBytes(pic(name), bytes);
        QCOMPARE(QFileInfo(pic(name)).size(), bytes.size());
        QDir().mkpath(ts->userDataFolder());
        TestServices::writeCp932(ts->userDataFolder() + "/Slide.INI",
                                 "[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=1\r\n");
        ts->commandLineText = pic(kGood);
        form = std::make_unique<frmStart>();
        QVERIFY(form->Form_Load());
        form->show();

        QCOMPARE(sFile.size(), 2);
        const qint32 good = qint32(sFile.indexOf(kGood));
        const qint32 bad = qint32(sFile.indexOf(name));
        QCOMPARE(gnShowNo, good);
        QCOMPARE((good + 1) % 2, bad); // the next tick reaches the bad file
        QVERIFY(form->tmrSlideShow->isActive());
        QVERIFY(ts->messages.isEmpty());
        const QString goodCounter = QStringLiteral("%1 / 2").arg(good + 1);
        QCOMPARE(form->lblCnt->text(), goodCounter);

        const long peakBefore = peakMemoryKb();
        AfterTick after;
        // Connected after the window's own handler, so this sees the state that tick left.
        connect(form->tmrSlideShow, &QTimer::timeout, form.get(), [&] {
            if (after.taken)
                return;
            after.taken = true;
            after.showNo = gnShowNo;
            after.counter = form->lblCnt->text();
            after.timerActive = form->tmrSlideShow->isActive();
            after.startEnabled = form->cmdPlayer[0]->isEnabled();
            after.viewerHidden = form->imgViewer->isHidden();
            after.picture = form->imgViewer->picture();
            after.messages = ts->messages.size();
            after.peakKb = peakMemoryKb();
        });
        QTRY_VERIFY_WITH_TIMEOUT(after.taken, 60000);

        if (peakBefore >= 0) {
            const long grownKb = after.peakKb - peakBefore;
            QVERIFY2(grownKb < 256 * 1024,
                     qPrintable(QStringLiteral("peak memory grew by %1 MiB").arg(grownKb / 1024)));
        }
        QCOMPARE(after.showNo, bad);
        if (shown) {
            QCOMPARE(after.messages, 0);
            QCOMPARE(after.counter, QStringLiteral("%1 / 2").arg(bad + 1));
            QVERIFY(after.timerActive);
            QVERIFY(!after.startEnabled);
            QVERIFY(!after.viewerHidden);
            QVERIFY(!after.picture.isNull());
            if (colour.isValid()) {
                const QColor seen =
                    after.picture.pixelColor(after.picture.width() / 4, after.picture.height() / 4);
                QVERIFY2(qAbs(seen.red() - colour.red()) < 40 &&
                             qAbs(seen.green() - colour.green()) < 40 &&
                             qAbs(seen.blue() - colour.blue()) < 40,
                         qPrintable(seen.name()));
            }
        } else {
            QCOMPARE(after.messages, 1);
            const platform::MessageBoxRequest& box = ts->messages[0];
            QCOMPARE(box.title, QStringLiteral("エラー"));
            QCOMPARE(box.icon, platform::MsgIcon::Critical);
            QCOMPARE(box.buttons, platform::MsgButtons::Ok);
            QCOMPARE(box.text, "表示ファイル「" + name + "」を取得できませんでした。\r\n" +
                                   "表示フォルダ「" + pics->path() + "」を確認してください。");
            // The show stops on the failed slide, so Start tries it again first.
            QVERIFY(!after.timerActive);
            QVERIFY(after.startEnabled);
            QVERIFY(after.viewerHidden);
            QCOMPARE(after.counter, goodCounter);
        }
    }

    // A card used on a Mac: each picture has a companion "._" file that is no picture. Those
    // are no slides; a real JPEG with such a name is one.
    void macCompanionFilesAreNotSlides() {
        QVERIFY(pattern(160, 120).save(pic("IMG_0001.jpg"), "JPG"));
        QVERIFY(pattern(160, 120).save(pic("IMG_0002.jpg"), "JPG"));
        TestServices::writeBytes(pic("._IMG_0001.jpg"), appleDouble());
        TestServices::writeBytes(pic("._IMG_0002.jpg"), QByteArray("\xFF", 1));
        QVERIFY(pattern(160, 120).save(pic("._IMG_0003.jpg"), "JPG"));
        QDir().mkpath(ts->userDataFolder());
        TestServices::writeCp932(ts->userDataFolder() + "/Slide.INI",
                                 "[Debug]\r\nDbgLevel=0\r\n[SETUP]\r\nInterval=1\r\n");
        ts->commandLineText = pic("IMG_0001.jpg");
        form = std::make_unique<frmStart>();
        QVERIFY(form->Form_Load());
        form->show();
        QStringList listed = sFile;
        listed.sort();
        QCOMPARE(listed, QStringList({"._IMG_0003.jpg", "IMG_0001.jpg", "IMG_0002.jpg"}));
        QVERIFY(form->lblCnt->text().endsWith(" / 3"));
        // Round the whole list twice: every slide shows, no box opens.
        const qint32 start = gnShowNo;
        int ticks = 0;
        connect(form->tmrSlideShow, &QTimer::timeout, form.get(), [&] { ++ticks; });
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 6, 20000);
        QVERIFY(ts->messages.isEmpty());
        QVERIFY(form->tmrSlideShow->isActive());
        QCOMPARE(gnShowNo, qint32((start + ticks) % 3));
    }

    // A modal box lets timer ticks through: the show waits while a picture's box is open, so
    // one failure gives one box.
    void oneBoxForOneFailure() {
        TestServices::writeBytes(pic("A.jpg"), QByteArray("\xFF\xD8\xFF\xC0\x00\x11\x08", 7));
        TestServices::writeBytes(pic("B.jpg"), QByteArray("\xFF\xD8\xFF\xC0\x00\x11\x08", 7));
        QDir().mkpath(ts->userDataFolder());
        TestServices::writeCp932(ts->userDataFolder() + "/Slide.INI",
                                 "[Debug]\r\nDbgLevel=0\r\n[SETUP]\r\nInterval=1\r\n");
        ts->commandLineText = pic("A.jpg");
        QList<int> boxesSeenAtClose;
        QList<qint32> slideAtClose;
        ts->whileBoxOpen = [&] {
            QTest::qWait(450); // four and a half ticks' time
            boxesSeenAtClose << int(ts->messages.size());
            slideAtClose << gnShowNo;
        };
        form = std::make_unique<frmStart>();
        QVERIFY(form->Form_Load());
        form->show();
        // The first picture's box: no tick ran behind it, and the show went on after it.
        QCOMPARE(boxesSeenAtClose, QList<int>({1}));
        QVERIFY(form->tmrSlideShow->isActive());
        // The next tick fails with its own box, and that stops the show.
        QTRY_VERIFY_WITH_TIMEOUT(!form->tmrSlideShow->isActive(), 5000);
        QTest::qWait(300);
        QCOMPARE(boxesSeenAtClose, QList<int>({1, 2}));
        QCOMPARE(slideAtClose[1], qint32((slideAtClose[0] + 1) % 2));
        QCOMPARE(ts->messages.size(), 2);
        QVERIFY(form->cmdPlayer[0]->isEnabled());
    }
};

QTEST_MAIN(BadPicturesTest)
#include "tst_badpictures.moc"
