// Pictures as phones and cameras write them: turned by an EXIF orientation, with a colour
// profile, progressive and large. Each is shown as every other viewer shows it.
#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QtTest>

#include "GetImage.h"
#include "JpegMarkers.h"
#include "PictureFit.h"
#include "PictureLoader.h"
#include "ReadAhead.h"
#include "TestServices.h"
#include "frmStart.h"
#include "mdlSlideDef.h"

namespace {

QByteArray encode(const QImage& image, int quality = 95) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot encode: %s", qPrintable(writer.errorString()));
    return buffer.data();
}

// Four quadrants of four colours, so every turn and mirror gives a different picture.
QImage quadrants(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(30, 40, 220),
                             qRgb(230, 220, 30)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, colours[(x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0)]);
    return image;
}

// An EXIF block (APP1) holding only the orientation tag, put right after the start of image as
// cameras put it.
QByteArray withOrientation(const QByteArray& jpeg, int orientation, bool bigEndian) {
    const auto u16 = [&](int v) {
        const char b[2] = {char(bigEndian ? v >> 8 : v & 0xFF),
                           char(bigEndian ? v & 0xFF : v >> 8)};
        return QByteArray(b, 2);
    };
    const auto u32 = [&](int v) {
        return bigEndian ? u16(v >> 16) + u16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16);
    };
    QByteArray tiff = QByteArray(bigEndian ? "MM" : "II") + u16(42) + u32(8);
    tiff += u16(1) + u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0) + u32(0);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    // Segment lengths are big-endian whatever the EXIF block's own order.
    const qsizetype length = payload.size() + 2;
    const QByteArray segment =
        QByteArray::fromHex("FFE1") + char(length >> 8) + char(length & 0xFF) + payload;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// The first APP2 segment (an ICC profile) split into two, as large profiles are stored.
QByteArray withProfileInTwoSegments(const QByteArray& jpeg) {
    const qsizetype at = jpeg.indexOf(QByteArray("\xFF\xE2", 2));
    if (at < 0)
        return {};
    const int length = quint8(jpeg[at + 2]) * 256 + quint8(jpeg[at + 3]);
    const QByteArray payload = jpeg.mid(at + 4, length - 2); // "ICC_PROFILE\0", seq, count, data
    const QByteArray tag = payload.left(12);
    const QByteArray profile = payload.mid(14);
    const qsizetype half = profile.size() / 2;
    const auto segment = [&](int seq, const QByteArray& part) {
        const QByteArray body = tag + char(seq) + char(2) + part;
        return QByteArray::fromHex("FFE2") + char((body.size() + 2) >> 8) +
               char((body.size() + 2) & 0xFF) + body;
    };
    return jpeg.left(at) + segment(1, profile.left(half)) + segment(2, profile.mid(half)) +
           jpeg.mid(at + 2 + length);
}

QColor colourAt(const QImage& image, double fx, double fy) {
    return image.pixelColor(int(image.width() * fx), int(image.height() * fy));
}

bool near(QColor a, QColor b, int tolerance) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class PhotosTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        TestServices::writeBytes(path, bytes);
        return path;
    }

private Q_SLOTS:
    void orientation_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        for (int o = 1; o <= 8; ++o) {
            QTest::addRow("%d, Motorola order", o) << o << true;
            QTest::addRow("%d, Intel order", o) << o << false;
        }
    }
    void orientation() {
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        const QString path =
            write("o.jpg", withOrientation(encode(quadrants(96, 64)), orientation, bigEndian));
        QCOMPARE(exifOrientation(path), orientation);

        // The header reader gives the stored size; the fit and the picture follow the turn.
        const ImageInfo info = GetImageInfo(path, 3);
        QCOMPARE(info, (ImageInfo{3, 96, 64, 24}));
        const PictureBox fit = fitShownPicture(path, info, 6000, 4000);
        const bool turned = orientation >= 5;
        QCOMPARE(fit.Width > fit.Height, !turned);

        // What Qt's own reader makes of the tag, at full size, is what every viewer shows.
        QImageReader reference(path);
        reference.setAutoTransform(true);
        const QImage expected = reference.read();
        QCOMPARE(expected.size(), turned ? QSize(64, 96) : QSize(96, 64));
        const QImage shown = display::loadPicture(path, expected.size());
        QCOMPARE(shown.size(), expected.size());
        for (const double fx : {0.25, 0.75})
            for (const double fy : {0.25, 0.75})
                QVERIFY2(near(colourAt(shown, fx, fy), colourAt(expected, fx, fy), 24),
                         qPrintable(QStringLiteral("at %1,%2: %3, expected %4")
                                        .arg(fx)
                                        .arg(fy)
                                        .arg(colourAt(shown, fx, fy).name(),
                                             colourAt(expected, fx, fy).name())));
    }

    void brokenExifReadsAsUpright_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray jpeg = encode(quadrants(32, 16));
        QByteArray bad = withOrientation(jpeg, 6, false);
        bad[2 + 4 + 6] = 'X'; // no byte-order mark
        QTest::newRow("no byte-order mark") << bad;
        QTest::newRow("value out of range") << withOrientation(jpeg, 9, true);
        QTest::newRow("no EXIF") << jpeg;
        QByteArray cut = withOrientation(jpeg, 6, true);
        cut[2 + 2] = 0;
        cut[2 + 3] = 12; // the segment says it ends before the tag
        QTest::newRow("segment shorter than its directory") << cut;
    }
    void brokenExifReadsAsUpright() {
        QFETCH(QByteArray, bytes);
        QCOMPARE(exifOrientation(write("b.jpg", bytes)), 1);
    }

    // A portrait photo from a phone, stored landscape, in the real window: a portrait box, and
    // the log's header line as the file's header gives it.
    void portraitPhotoInTheWindow() {
        TestServices ts;
        const QString path =
            write("IMG_0001.jpg", withOrientation(encode(quadrants(400, 300)), 6, true));
        QDir().mkpath(ts.userDataFolder());
        TestServices::writeCp932(ts.userDataFolder() + "/Slide.INI",
                                 "[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=1000\r\n");
        ts.commandLineText = path;
        ts.clock = QDateTime(QDate(2026, 12, 10), QTime(10, 0));
        frmStart form;
        QVERIFY(form.Form_Load());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTRY_VERIFY(!form.imgViewer->isHidden());
        QVERIFY(form.imgViewer->height() > form.imgViewer->width());
        const QImage picture = form.imgViewer->picture();
        QVERIFY(picture.height() > picture.width());
        // Turned a quarter clockwise: the stored top-left (red) is now at the top right.
        QVERIFY(near(colourAt(picture, 0.75, 0.25), QColor(220, 30, 30), 30));
        const QString log =
            TestServices::readCp932(ts.userDataFolder() + "/Log/20261210_tester_pixelion.dbg");
        QVERIFY2(log.contains("[GetImagSize]　Width=[400]/Height=[300]/BPP=[24]"),
                 qPrintable(log.right(2000)));
        form.close();
    }

    void colourProfile_data() {
        QTest::addColumn<QColorSpace>("space");
        QTest::addColumn<bool>("twoSegments");
        QTest::newRow("Adobe RGB") << QColorSpace(QColorSpace::AdobeRgb) << false;
        QTest::newRow("Display P3") << QColorSpace(QColorSpace::DisplayP3) << false;
        QTest::newRow("Adobe RGB over two segments") << QColorSpace(QColorSpace::AdobeRgb) << true;
    }
    void colourProfile() {
        QFETCH(QColorSpace, space);
        QFETCH(bool, twoSegments);
        const QColor stored(40, 170, 90);
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(stored);
        image.setColorSpace(space);
        QByteArray jpeg = encode(image, 100);
        QVERIFY2(jpeg.contains("ICC_PROFILE"), "the writer kept no profile");
        if (twoSegments)
            jpeg = withProfileInTwoSegments(jpeg);
        const QString path = write("p.jpg", jpeg);

        const QColor expected = space.transformationToColorSpace(QColorSpace::SRgb).map(stored);
        QVERIFY(!near(expected, stored, 8)); // the profile matters for this colour
        const QColor shown = colourAt(display::loadPicture(path, QSize(32, 24)), 0.5, 0.5);
        QVERIFY2(near(shown, expected, 4),
                 qPrintable(shown.name() + " shown, " + expected.name() + " expected"));
    }

    void noProfileIsLeftAsItIs() {
        const QColor stored(40, 170, 90);
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(stored);
        const QString path = write("n.jpg", encode(image, 100));
        const QColor shown = colourAt(display::loadPicture(path, QSize(32, 24)), 0.5, 0.5);
        QVERIFY2(near(shown, stored, 3), qPrintable(shown.name()));
    }

    // The memory a progressive decode may take: what a real picture of the file's size can
    // need, and what the machine has.
    void progressiveMemoryRule_data() {
        QTest::addColumn<qint64>("coefficients");
        QTest::addColumn<qint64>("fileBytes");
        QTest::addColumn<qint64>("available");
        QTest::addColumn<bool>("fits");
        const qint64 mb = 1 << 20;
        // 12000 x 9000, 4:4:4: 648 MB of coefficients in a 40 MB file.
        QTest::newRow("108 MP 4:4:4 photo") << 648 * mb << 40 * mb << 8192 * mb << true;
        QTest::newRow("the same, little memory") << 648 * mb << 40 * mb << 512 * mb << false;
        QTest::newRow("memory unknown") << 648 * mb << 40 * mb << qint64(-1) << true;
        QTest::newRow("1.4 KB claiming 400 MP") << 2400 * mb << qint64(1434) << 8192 * mb << false;
        QTest::newRow("flat picture, small file") << 200 * mb << 1 * mb << 8192 * mb << true;
        QTest::newRow("just past one bit a block")
            << qint64(1024 * 1000 + 1) << qint64(1000) << 8192 * mb << false;
    }
    void progressiveMemoryRule() {
        QFETCH(qint64, coefficients);
        QFETCH(qint64, fileBytes);
        QFETCH(qint64, available);
        QFETCH(bool, fits);
        QCOMPARE(display::progressiveFits(coefficients, fileBytes, available), fits);
    }

    // A 108-megapixel progressive 4:4:4 photo needs 648 MB of coefficients: more than any one
    // fixed limit that would still refuse a bomb. Run alone, by the test "bigphoto".
    void largeProgressivePhoto() {
        if (qEnvironmentVariable("PIXELION_BIG_PHOTO") != "1")
            QSKIP("run by the test bigphoto");
        const QString path = dir.filePath("big.jpg");
        const int made = QProcess::execute(
            "convert", {"-size", "12000x9000", "gradient:#204080-#e0c040", "-sampling-factor",
                        "1x1", "-interlace", "JPEG", "-quality", "92", path});
        QCOMPARE(made, 0);
        const QImage shown = display::loadPicture(path, QSize(1040, 780));
        QCOMPARE(shown.size(), QSize(1040, 780));
        // The gradient runs from top to bottom.
        QVERIFY2(near(colourAt(shown, 0.5, 0.02), QColor(0x20, 0x40, 0x80), 12),
                 qPrintable(colourAt(shown, 0.5, 0.02).name()));
        QVERIFY2(near(colourAt(shown, 0.5, 0.98), QColor(0xe0, 0xc0, 0x40), 12),
                 qPrintable(colourAt(shown, 0.5, 0.98).name()));
    }
};

QTEST_MAIN(PhotosTest)
#include "tst_photos.moc"
