// Pictures decoded ahead of their turn and decoded to the box's size: what the window shows must
// be what the file holds at that moment, and the log and the messages must not change.
#include <QImageWriter>
#include <QSignalSpy>
#include <QtTest>

#include "Error.h"
#include "PictureCache.h"
#include "PictureLoader.h"
#include "TestServices.h"
#include "Twips.h"
#include "frmStart.h"
#include "mdlSlideDef.h"

using display::PictureCache;

namespace {

void writeJpeg(const QString& path, const QImage& image, int quality = 90) {
    QImageWriter writer(path, "jpeg");
    writer.setQuality(quality);
    QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
}

QImage solid(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Colour detail that JPEG keeps: smooth gradients, so a scaled decode can be compared.
QImage gradient(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x + y) * 127 / (w + h) + 64));
    return image;
}

// The largest difference of one channel between two pictures of the same size.
int maxDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)),
                              qAbs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

bool near(QRgb pixel, QColor colour) {
    return qAbs(qRed(pixel) - colour.red()) < 12 && qAbs(qGreen(pixel) - colour.green()) < 12 &&
           qAbs(qBlue(pixel) - colour.blue()) < 12;
}

// The decodes one cache starts, and the read-ahead that it held.
struct Decodes : QObject {
    QStringList here, onWorker, held;
    explicit Decodes(PictureCache& cache) {
        QObject::connect(&cache, &PictureCache::decodeStarted, this,
                         [this](const QString& path, QSize, bool worker) {
                             (worker ? onWorker : here) << path;
                         });
        QObject::connect(&cache, &PictureCache::readAheadDone, this,
                         [this](const QString& path, QSize, bool ok) {
                             if (ok)
                                 held << path;
                         });
    }
    qsizetype all() const { return here.size() + onWorker.size(); }
};

} // namespace

class ReadAheadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestServices> ts;
    std::unique_ptr<QTemporaryDir> pics;
    std::unique_ptr<frmStart> form;
    std::unique_ptr<Decodes> decodes;

    QString pic(const QString& name) const { return pics->path() + "/" + name; }
    QString pic(int index) const { return pic(QStringLiteral("p%1.jpg").arg(index)); }
    QSize boxPixels() const { return form->imgViewer->picture().size(); }

    void writeSettings(int interval, const QString& windowEntry = QString()) {
        QDir().mkpath(ts->userDataFolder());
        TestServices::writeCp932(
            ts->userDataFolder() + "/Slide.INI",
            "[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=" + QString::number(interval) + "\r\n");
        if (!windowEntry.isEmpty())
            TestServices::writeCp932(ts->userDataFolder() + "/Setting.INI",
                                     "[Window_Pos]\r\npixelion-スライド画面=" + windowEntry +
                                         "\r\n");
    }

    // Starts the window as the program does, with `commandLine`; the interval is long enough
    // that no tick comes during a test. `workers` 0: no read-ahead.
    void start(const QString& commandLine, int interval = 1000, int workers = 2) {
        writeSettings(interval);
        ts->commandLineText = commandLine;
        form = std::make_unique<frmStart>(std::make_unique<PictureCache>(workers));
        decodes = std::make_unique<Decodes>(form->pictures());
        QVERIFY(form->Form_Load());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        waitForReadAhead();
    }

    // Until the window has started what it reads ahead and the decodes have ended.
    void waitForReadAhead() {
        QTRY_VERIFY_WITH_TIMEOUT(
            !form->tmrReadAhead->isActive() && !form->pictures().isReadingAhead(), 10000);
    }

    QString todaysLog() const {
        return TestServices::readCp932(ts->userDataFolder() + "/Log/20261207_tester_pixelion.dbg");
    }

private Q_SLOTS:
    void init() {
        ts = std::make_unique<TestServices>();
        ts->clock = QDateTime(QDate(2026, 12, 7), QTime(22, 38, 42));
        pics = std::make_unique<QTemporaryDir>();
        const QColor colours[6] = {Qt::darkCyan, Qt::darkRed,  Qt::darkGreen,
                                   Qt::darkBlue, Qt::darkGray, Qt::darkMagenta};
        for (int i = 0; i < 6; ++i)
            writeJpeg(pic(i), solid(320, 240, colours[i]));
    }
    void cleanup() {
        decodes.reset();
        form.reset();
        pics.reset();
        ts.reset();
    }

    // ---- the loader ---------------------------------------------------------------------

    void decodesToTheBoxSize_data() {
        QTest::addColumn<QSize>("box");
        QTest::newRow("an eighth and a little") << QSize(101, 75);
        QTest::newRow("a half") << QSize(400, 300);
        QTest::newRow("larger than the picture") << QSize(1200, 900);
        QTest::newRow("other proportions") << QSize(90, 280);
        QTest::newRow("a box of no size") << QSize(0, 0);
    }
    void decodesToTheBoxSize() {
        QFETCH(QSize, box);
        const QImage original = gradient(800, 600);
        writeJpeg(pic("g.jpg"), original, 95);
        const display::DecodedPicture decoded = display::decodeForBox(pic("g.jpg"), box);
        QCOMPARE(decoded.picture, QSize(800, 600));
        const QImage& picture = decoded.image;
        QCOMPARE(picture.size(), box.expandedTo(QSize(1, 1)));
        QCOMPARE(picture.format(), QImage::Format_RGB32);
        // The same picture as decoding in full and scaling smoothly, within JPEG's own loss.
        const QImage reference =
            original.scaled(picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY2(maxDifference(picture, reference) <= 8,
                 qPrintable(QString::number(maxDifference(picture, reference))));
    }

    void loaderHandlesTheUnusualFiles() {
        // Grey pictures come out grey, opaque.
        QImage grey(64, 48, QImage::Format_Grayscale8);
        grey.fill(100);
        writeJpeg(pic("grey.jpg"), grey);
        const QImage g = display::loadPicture(pic("grey.jpg"), QSize(32, 24));
        QVERIFY(near(g.pixel(16, 12), QColor(100, 100, 100)));
        QCOMPARE(qAlpha(g.pixel(16, 12)), 255);
        // Another format behind a .jpg name is read by Qt's own readers, as before.
        QVERIFY(solid(40, 30, Qt::red).save(pic("png.jpg"), "PNG"));
        QVERIFY(near(display::loadPicture(pic("png.jpg"), QSize(20, 15)).pixel(10, 7), Qt::red));
        // A file cut short shows as far as it goes.
        QByteArray bytes = TestServices::readBytes(pic(0));
        TestServices::writeBytes(pic("cut.jpg"), bytes.left(bytes.size() * 2 / 3));
        QCOMPARE(display::loadPicture(pic("cut.jpg"), QSize(160, 120)).size(), QSize(160, 120));
        // Garbage after a JPEG start and a missing file are errors.
        TestServices::writeBytes(pic("bad.jpg"), QByteArray("\xFF\xD8\xFF\xC0\x00\x11\x08", 7) +
                                                     QByteArray(64, '\x55'));
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
                                 display::loadPicture(pic("bad.jpg"), QSize(16, 16)));
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
                                 display::loadPicture(pic("none.jpg"), QSize(16, 16)));
    }

    // ---- the cache through the window ----------------------------------------------------

    void theReadAheadPictureIsTheOneShown() {
        start(pic(0));
        const QSize box = boxPixels();
        QVERIFY(decodes->held.contains(pic(1)));
        const Decodes after(form->pictures());
        QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("2 / 6"));
        QVERIFY(after.here.isEmpty()); // shown as it was read ahead
        QVERIFY(
            near(form->imgViewer->picture().pixel(box.width() / 2, box.height() / 2), Qt::darkRed));
        waitForReadAhead();
        // Slides 2 and 3 were read ahead already: only slide 4 is new.
        QCOMPARE(after.onWorker, QStringList{pic(3)});
    }

    void changedFileShowsAsItIsNow_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("replaced") << "replaced";
        QTest::newRow("deleted") << "deleted";
        QTest::newRow("made undecodable") << "undecodable";
    }
    void changedFileShowsAsItIsNow() {
        QFETCH(QString, change);
        start(pic(0));
        const QSize box = boxPixels();
        QVERIFY(decodes->held.contains(pic(1)));
        const qint64 before = QFileInfo(pic(1)).size();
        if (change == "replaced") {
            // Same name and picture size, another content: a file of another length.
            QImage speckled = solid(320, 240, Qt::yellow);
            for (int i = 0; i < 4000; ++i)
                speckled.setPixel((i * 37) % 320, (i * 91) % 240, qRgb(200, 200, 0));
            writeJpeg(pic(1), speckled);
            QVERIFY(QFileInfo(pic(1)).size() != before);
        } else if (change == "deleted") {
            QVERIFY(QFile::remove(pic(1)));
        } else {
            TestServices::writeBytes(pic(1), QByteArray("\xFF\xD8\xFF\xC0\x00\x11\x08\x00\xF0"
                                                        "\x01\x40",
                                                        11) +
                                                 QByteArray(64, '\x55'));
        }
        QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton);
        if (change == "replaced") {
            QVERIFY(ts->messages.isEmpty());
            QVERIFY(near(form->imgViewer->picture().pixel(box.width() / 2, box.height() / 2),
                         Qt::yellow));
            QCOMPARE(form->lblCnt->text(), QStringLiteral("2 / 6"));
        } else {
            QCOMPARE(ts->messages.size(), 1);
            QCOMPARE(ts->messages[0].text,
                     "表示ファイル「p1.jpg」を取得できませんでした。\r\n表示フォルダ「" +
                         pics->path() + "」を確認してください。");
            QCOMPARE(ts->messages[0].icon, platform::MsgIcon::Critical);
            QVERIFY(form->imgViewer->isHidden());
            QCOMPARE(form->lblCnt->text(), QStringLiteral("1 / 6"));
        }
    }

    void failedReadAheadIsNotHeld() {
        TestServices::writeBytes(pic(1), QByteArray("\xFF\xD8\xFF\xC0\x00\x11\x08\x00\xF0"
                                                    "\x01\x40",
                                                    11) +
                                             QByteArray(64, '\x55'));
        start(pic(0));
        QVERIFY(decodes->onWorker.contains(pic(1)));
        QVERIFY(!decodes->held.contains(pic(1)));
        QVERIFY(ts->messages.isEmpty()); // not until the slide is shown
        QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton);
        QCOMPARE(ts->messages.size(), 1);
        QVERIFY(ts->messages[0].text.startsWith("表示ファイル「p1.jpg」"));
    }

    // Dragging the frame: each step resamples the picture held, without a decode; once the
    // size is still, the neighbours are read for the new size and a picture that had to be made
    // larger than what was held is decoded once, sharp.
    void resizeResamplesAndDecodesOnlyWhenStill_data() {
        QTest::addColumn<int>("larger"); // pixels the window is made larger first
        QTest::addColumn<int>("step");   // pixels a step, both ways
        // The 1600 x 1200 picture is held at its box's size: growing needs a new decode once
        // the size is still, shrinking does not.
        QTest::newRow("growing") << 0 << 40;
        QTest::newRow("shrinking") << 300 << -24;
    }
    void resizeResamplesAndDecodesOnlyWhenStill() {
        QFETCH(int, larger);
        QFETCH(int, step);
        writeJpeg(pic(0), gradient(1600, 1200));
        writeJpeg(pic(1), gradient(1600, 1200));
        start(pic(0));
        form->resize(form->width() + larger, form->height() + larger);
        QTRY_VERIFY(!form->tmrReadAhead->isActive());
        waitForReadAhead();
        const QSize oldBox = boxPixels();
        const Decodes during(form->pictures());
        for (int i = 1; i <= 5; ++i) {
            const QSize before = boxPixels();
            form->resize(form->width() + step, form->height() + step);
            QTRY_VERIFY(boxPixels() != before);
            QCOMPARE(form->imgViewer->picture().size(), boxPixels());
            QCOMPARE(during.all(), 0);
            QVERIFY(form->tmrReadAhead->isActive());
        }
        const QSize newBox = boxPixels();
        QVERIFY(step > 0 ? newBox.width() > oldBox.width() : newBox.width() < oldBox.width());
        const TwipsRect box = twipsOf(form->imgViewer);
        QCOMPARE(newBox, QSize(twipsToPixels(box.Width), twipsToPixels(box.Height)));
        waitForReadAhead();
        // Growing past what was held: one decode of the slide on screen, on a worker.
        QCOMPARE(during.here, QStringList());
        QCOMPARE(during.onWorker.count(pic(0)), step > 0 ? 1 : 0);
        QVERIFY(during.onWorker.contains(pic(1))); // read again at the new size
        // What shows is what a decode for that box gives, within JPEG's own loss.
        QCOMPARE(form->imgViewer->picture().size(), newBox);
        QVERIFY(maxDifference(form->imgViewer->picture(), display::loadPicture(pic(0), newBox)) <=
                (step > 0 ? 0 : 8));
    }

    void readsAheadInTheShowsDirection_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("readAhead");
        // From slide 2, running. The last step's read-ahead is what counts.
        QTest::newRow("tick: the next two") << "tick" << QList<int>{4, 5};
        QTest::newRow("Next while running: the next two") << "next" << QList<int>{4, 5};
        QTest::newRow("Next while stopped: next and previous") << "stop next" << QList<int>{4, 2};
        QTest::newRow("Previous: previous and next") << "stop prev" << QList<int>{0, 2};
        QTest::newRow("Previous again, wrapping") << "stop prev prev" << QList<int>{5, 1};
        QTest::newRow("Previous while running: the two before") << "prev" << QList<int>{0, 5};
        QTest::newRow("Start after Previous: forward") << "stop prev start" << QList<int>{2, 3};
        QTest::newRow("resize while stopped keeps the way")
            << "stop prev resize" << QList<int>{0, 2};
    }
    void readsAheadInTheShowsDirection() {
        QFETCH(QString, steps);
        QFETCH(QList<int>, readAhead);
        start(pic(2));
        const QStringList list = steps.split(' ');
        for (qsizetype i = 0; i < list.size(); ++i) {
            waitForReadAhead();
            if (i == list.size() - 1)
                form->pictures().clear(); // only the last step's read-ahead counts
            const Decodes done(form->pictures());
            const QString step = list[i];
            if (step == "tick") {
                form->tmrSlideShow_Timer();
            } else if (step == "resize") {
                const QSize before = boxPixels();
                form->resize(form->width() + 150, form->height() + 100);
                QTRY_VERIFY(boxPixels() != before);
            } else
                QTest::mouseClick(form->cmdPlayer[step == "start"  ? 0
                                                  : step == "stop" ? 1
                                                  : step == "prev" ? 2
                                                                   : 3],
                                  Qt::LeftButton);
            if (i < list.size() - 1)
                continue;
            waitForReadAhead();
            QStringList paths = done.onWorker;
            paths.removeDuplicates();
            paths.sort();
            QStringList expected;
            for (int index : readAhead)
                expected << pic(index);
            expected.sort();
            QCOMPARE(paths, expected);
        }
    }

    void cacheHoldsOnlyAFewPictures() {
        start(pic(0));
        for (int i = 0; i < 6; ++i) {
            QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton);
            waitForReadAhead();
            QVERIFY(form->pictures().size() <= PictureCache::capacity());
        }
    }

    // ---- nothing else changes --------------------------------------------------------------

    void logAndMessagesAreTheSameWithoutReadAhead() {
        QString logs[2];
        QStringList messages[2];
        for (const bool on : {false, true}) {
            cleanup();
            init();
            writeJpeg(pic(3), gradient(1600, 1200));
            start(pic(2), 1000, on ? 2 : 0);
            QVERIFY(QFile::remove(pic(4))); // listed, and perhaps read ahead already
            QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton); // 4 / 6 at 1600 x 1200
            waitForReadAhead();
            QTest::mouseClick(form->cmdPlayer[3], Qt::LeftButton); // deleted: the error box
            QTest::mouseClick(form->cmdPlayer[2], Qt::LeftButton);
            waitForReadAhead();
            const QSize before = boxPixels();
            form->resize(form->width() + 120, form->height() + 80);
            QTRY_VERIFY(boxPixels() != before);
            QTest::mouseClick(form->cmdPlayer[0], Qt::LeftButton);
            form->tmrSlideShow_Timer();
            form->tmrSlideShow_Timer();
            waitForReadAhead();
            form->close();
            // The folders are new each time; the log names them with and without the root.
            logs[on] = todaysLog()
                           .replace(pics->path(), "PICS")
                           .replace(pics->path().mid(1), "PICS")
                           .replace(ts->profileFolder, "PROFILE");
            for (const platform::MessageBoxRequest& m : std::as_const(ts->messages))
                messages[on] << QString(m.text).replace(pics->path(), "PICS") + u'|' + m.title;
        }
        QVERIFY(logs[0].contains("fbShowPic() Err"));
        QCOMPARE(logs[1], logs[0]);
        QCOMPARE(messages[0].size(), 2); // Next, then the tick, onto the deleted file
        QCOMPARE(messages[1], messages[0]);
    }

    // ---- the picture on the command line ------------------------------------------------

    void commandLinePictureIsDecodedOnceWhileTheWindowIsBuilt_data() {
        QTest::addColumn<QString>("windowEntry");
        QTest::newRow("stored window") << "1500,1500,19200,12000";
        QTest::newRow("first run: smallest window") << "";
    }
    void commandLinePictureIsDecodedOnceWhileTheWindowIsBuilt() {
        QFETCH(QString, windowEntry);
        // Alone in its folder, so that no neighbour is read ahead.
        QDir().mkdir(pic("solo"));
        writeJpeg(pic("solo/p.jpg"), gradient(1600, 1200));
        writeSettings(1000, windowEntry);
        ts->commandLineText = pic("solo/p.jpg");
        auto pictures = std::make_unique<PictureCache>();
        decodes = std::make_unique<Decodes>(*pictures);
        frmStart::readAheadFirstPicture(*pictures, ts->commandLineText); // as main() does
        form = std::make_unique<frmStart>(std::move(pictures));
        QVERIFY(form->Form_Load());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        // Shown at the size of the box the window ended up with, from that one decode.
        const TwipsRect box = twipsOf(form->imgViewer);
        QCOMPARE(boxPixels(), QSize(twipsToPixels(box.Width), twipsToPixels(box.Height)));
        QCOMPARE(decodes->all(), 1);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("1 / 1"));
        // What reached the screen is the picture.
        const QRect onWindow(form->imgViewer->mapTo(form.get(), QPoint()), boxPixels());
        const auto onScreen = [&] {
            return form->screen()
                ->grabWindow(form->winId(), onWindow.x(), onWindow.y(), onWindow.width(),
                             onWindow.height())
                .toImage();
        };
        QTRY_COMPARE(onScreen().size(), boxPixels());
        QTRY_COMPARE(maxDifference(onScreen(), form->imgViewer->picture()), 0);
    }
};

QTEST_MAIN(ReadAheadTest)
#include "tst_readahead.moc"
