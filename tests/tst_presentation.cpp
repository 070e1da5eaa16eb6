// The full-screen presentation, through the real window: entering and leaving it, its keys, its
// picture, its pointer and counter, and a failing slide under it.
#include <QImage>
#include <QScreen>
#include <QtTest>

#include "PictureCache.h"
#include "PictureLoader.h"
#include "Presentation.h"
#include "TestServices.h"
#include "frmStart.h"
#include "mdlSlideDef.h"

namespace {
// A picture whose every part is told from every other: a diagonal gradient in two colours.
QImage detailed(int w, int h, QColor base) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           qRgb((base.red() + 255 * x / w) / 2, (base.green() + 255 * y / h) / 2,
                                base.blue()));
    return image;
}

QByteArray keyName(int key) {
    return QKeySequence(key).toString().toUtf8();
}

// The pointer moved over `w` to `at`, as the window system reports it.
void movePointer(QWidget* w, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}
} // namespace

class PresentationTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestServices> ts;
    std::unique_ptr<QTemporaryDir> pics;
    std::unique_ptr<frmStart> form;

    QString pic(const QString& name) const { return pics->path() + "/" + name; }
    QString log() const {
        return TestServices::readCp932(ts->userDataFolder() + "/Log/20261211_tester_pixelion.dbg");
    }
    // The screen in device pixels: the presentation's pictures are decoded at that size.
    QSize screenPixels() const {
        const QScreen* screen = form->screen();
        return (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
    }

    // Starts on `named` with the show running at `interval` tenths of a second; on nothing when
    // `named` is empty.
    void start(const QString& named, int interval = 30) {
        QDir().mkpath(ts->userDataFolder());
        TestServices::writeCp932(
            ts->userDataFolder() + "/Slide.INI",
            "[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=" + QString::number(interval) + "\r\n");
        ts->commandLineText = named.isEmpty() ? QString() : pic(named);
        form = std::make_unique<frmStart>();
        QVERIFY(form->Form_Load());
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    // "Running" or "Stopped", read off the buttons and the timer; anything else is a fault.
    QString state() const {
        QString buttons;
        for (QPushButton* b : form->cmdPlayer)
            buttons += b->isEnabled() ? '1' : '0';
        const bool timer = form->tmrSlideShow->isActive();
        if (buttons == "0111" && timer)
            return "Running";
        if (buttons == "1011" && !timer)
            return "Stopped";
        return "mixed " + buttons + (timer ? " timer" : "");
    }

    void enter(const QString& how) {
        if (how == "F11")
            QTest::keyClick(form.get(), Qt::Key_F11);
        else
            QTest::mouseDClick(form->imgViewer, Qt::LeftButton, {},
                               form->imgViewer->rect().center());
        QVERIFY(form->presentation());
        QVERIFY(QTest::qWaitForWindowExposed(form->presentation()));
    }

private Q_SLOTS:
    void init() {
        ts = std::make_unique<TestServices>();
        ts->clock = QDateTime(QDate(2026, 12, 11), QTime(9, 30));
        pics = std::make_unique<QTemporaryDir>();
        const QColor colours[3] = {Qt::darkRed, Qt::darkGreen, Qt::darkBlue};
        for (int i = 0; i < 3; ++i)
            QVERIFY(detailed(320, 160, colours[i])
                        .save(pic(QString("%1.jpg").arg(char('a' + i))), "JPG", 95));
    }
    void cleanup() {
        form.reset();
        pics.reset();
        ts.reset();
    }

    void enterAndLeaveKeepTheShow_data() {
        QTest::addColumn<QString>("enterBy");
        QTest::addColumn<QString>("leaveBy");
        QTest::addColumn<bool>("running");
        QTest::newRow("F11, F11, running") << "F11"
                                           << "F11" << true;
        QTest::newRow("F11, Esc, stopped") << "F11"
                                           << "Esc" << false;
        QTest::newRow("double click, double click, stopped") << "double click"
                                                             << "double click" << false;
        QTest::newRow("double click, Esc, running") << "double click"
                                                    << "Esc" << true;
        QTest::newRow("F11, closed by the desktop, running") << "F11"
                                                             << "close" << true;
    }
    void enterAndLeaveKeepTheShow() {
        QFETCH(QString, enterBy);
        QFETCH(QString, leaveBy);
        QFETCH(bool, running);
        start("b.jpg");
        if (!running)
            form->cmdPlayer_Click(1);
        const QString before = log();
        const QString stateBefore = state();
        const QSize mainBox = form->imgViewer->picture().size();

        enter(enterBy);
        QPointer<Presentation> p = form->presentation();
        QVERIFY(p->isFullScreen());
        QCOMPARE(p->geometry(), form->screen()->geometry());
        QTRY_VERIFY(QApplication::activeWindow() == p);
        QCOMPARE(p->picture().size(), QSize(screenPixels().width(), screenPixels().width() / 2));
        QCOMPARE(gnShowNo, 1);
        QCOMPARE(state(), stateBefore);
        QCOMPARE(log(), before);

        if (leaveBy == "F11")
            QTest::keyClick(p, Qt::Key_F11);
        else if (leaveBy == "Esc")
            QTest::keyClick(p, Qt::Key_Escape);
        else if (leaveBy == "close")
            p->close();
        else
            QTest::mouseDClick(p, Qt::LeftButton, {}, p->rect().center());
        QVERIFY(!form->presentation());
        QTRY_VERIFY(!p || !p->isVisible());
        QCOMPARE(gnShowNo, 1);
        QCOMPARE(state(), stateBefore);
        QCOMPARE(form->lblCnt->text(), QStringLiteral("2 / 3"));
        QCOMPARE(form->imgViewer->picture().size(), mainBox);
        QVERIFY(form->isVisible());
        QCOMPARE(log(), before);
    }

    void noSlideListNoFullScreen() {
        start(QString());
        QTest::keyClick(form.get(), Qt::Key_F11);
        QTest::mouseDClick(form->fraImgArea, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!form->presentation());
    }

    // Each key stands for a button: it acts only when that button is enabled, and through the
    // button's own handler, so the log holds exactly the click's records.
    void keysActAsTheirButtons_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("disabled"); // a button the test turns off first, or -1
        QTest::addColumn<int>("clicked");  // the handler's index, or -1 for no click
        QTest::addColumn<int>("showNo");
        QTest::addColumn<QString>("after");
        const int none = Qt::NoModifier;
        for (int key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Space})
            QTest::addRow("next %s, stopped", keyName(key).constData())
                << key << none << false << -1 << 3 << 2 << "Stopped";
        for (int key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Backspace})
            QTest::addRow("previous %s, stopped", keyName(key).constData())
                << key << none << false << -1 << 2 << 0 << "Stopped";
        QTest::newRow("next while running stops")
            << int(Qt::Key_Right) << none << true << -1 << 3 << 2 << "Stopped";
        QTest::newRow("previous while running stops")
            << int(Qt::Key_Backspace) << none << true << -1 << 2 << 0 << "Stopped";
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_P}) {
            QTest::addRow("start %s", keyName(key).constData())
                << key << none << false << -1 << 0 << 1 << "Running";
            QTest::addRow("stop %s", keyName(key).constData())
                << key << none << true << -1 << 1 << 1 << "Stopped";
        }
        QTest::newRow("keypad Enter")
            << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false << -1 << 0 << 1 << "Running";
        QTest::newRow("next disabled")
            << int(Qt::Key_Right) << none << false << 3 << -1 << 1 << "mixed 1010";
        QTest::newRow("previous disabled")
            << int(Qt::Key_Left) << none << false << 2 << -1 << 1 << "mixed 1001";
        QTest::newRow("start disabled, stop disabled")
            << int(Qt::Key_P) << none << false << 0 << -1 << 1 << "mixed 0011";
        QTest::newRow("shift+right")
            << int(Qt::Key_Right) << int(Qt::ShiftModifier) << false << -1 << -1 << 1 << "Stopped";
        QTest::newRow("a letter") << int(Qt::Key_N) << none << false << -1 << -1 << 1 << "Stopped";
    }
    void keysActAsTheirButtons() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, running);
        QFETCH(int, disabled);
        QFETCH(int, clicked);
        QFETCH(int, showNo);
        QFETCH(QString, after);
        start("b.jpg");
        if (!running)
            form->cmdPlayer_Click(1);
        enter("F11");
        if (disabled >= 0)
            form->cmdPlayer[size_t(disabled)]->setEnabled(false);
        const qsizetype logged = log().size();

        QTest::keyClick(form->presentation(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        const QString added = log().mid(logged);
        if (clicked < 0) {
            QCOMPARE(added, QString());
        } else {
            QCOMPARE(added.count("cmdPlayer_Click() Start index=" + QString::number(clicked)), 1);
            QCOMPARE(added.count("cmdPlayer_Click() Start"), 1);
            QVERIFY(added.contains("cmdPlayer_Click() End index=" + QString::number(clicked)));
        }
        QCOMPARE(gnShowNo, showNo);
        QCOMPARE(state(), after);
        QVERIFY(form->presentation()); // the keys never close it
        QCOMPARE(form->presentation()->counterText(),
                 QString::number(showNo + 1) + QStringLiteral(" / 3"));
    }

    // What the screen shows: black, and in the middle the picture decoded for the screen,
    // pixel for pixel.
    void screenShowsThePictureDecodedForIt_data() {
        QTest::addColumn<QSize>("picture");
        QTest::newRow("wider than the screen") << QSize(900, 300);
        QTest::newRow("taller than the screen") << QSize(300, 900);
    }
    void screenShowsThePictureDecodedForIt() {
        QFETCH(QSize, picture);
        QVERIFY(detailed(picture.width(), picture.height(), Qt::darkMagenta)
                    .save(pic("b.jpg"), "JPG", 95));
        start("b.jpg");
        enter("F11");
        const QSize screen = screenPixels();
        // One side fills the screen, the other keeps the ratio, rounded to the nearest pixel.
        const double scale = qMin(double(screen.width()) / picture.width(),
                                  double(screen.height()) / picture.height());
        const QSize box(qRound(picture.width() * scale), qRound(picture.height() * scale));
        const QImage expected = display::loadPicture(pic("b.jpg"), box);
        QCOMPARE(expected.size(), box);
        QImage shown = form->presentation()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        shown.setDevicePixelRatio(1); // compared pixel for pixel
        QCOMPARE(shown.size(), screen);
        const QPoint at((screen.width() - box.width()) / 2, (screen.height() - box.height()) / 2);
        QCOMPARE(shown.copy(QRect(at, box)), expected.convertToFormat(QImage::Format_RGB32));
        // Black around it, up to the picture's edge.
        const QPoint outside = box.width() < screen.width()
                                   ? QPoint(at.x() - 1, screen.height() / 2)
                                   : QPoint(screen.width() / 2, at.y() - 1);
        QCOMPARE(shown.pixel(outside), qRgb(0, 0, 0));
        QCOMPARE(shown.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(shown.pixel(screen.width() - 1, screen.height() - 1), qRgb(0, 0, 0));
    }

    // While it is open the read-ahead decodes for the screen, and the window behind it
    // decodes nothing of its own.
    void readAheadDecodesForTheScreen() {
        for (const char* name : {"d.jpg", "e.jpg"})
            QVERIFY(detailed(320, 160, Qt::gray).save(pic(name), "JPG", 95));
        start("a.jpg");
        form->cmdPlayer_Click(1);
        QTRY_VERIFY(!form->pictures().isReadingAhead());
        QSignalSpy decodes(&form->pictures(), &display::PictureCache::decodeStarted);
        enter("F11");
        const QSize screenBox(screenPixels().width(), screenPixels().width() / 2);
        // The slide on screen, then its neighbours on the workers.
        QTRY_VERIFY(decodes.size() >= 3 && !form->pictures().isReadingAhead());
        for (const QList<QVariant>& d : decodes)
            QCOMPARE(d.at(1).toSize(), screenBox);
        QCOMPARE(decodes.count({pic("e.jpg"), screenBox, true}) +
                     decodes.count({pic("b.jpg"), screenBox, true}),
                 2);
        decodes.clear();
        QTest::keyClick(form->presentation(), Qt::Key_Right);
        QTest::keyClick(form->presentation(), Qt::Key_Right);
        QTRY_VERIFY(!decodes.isEmpty() && !form->pictures().isReadingAhead());
        // The slides stepped to were ready; what comes next is read for the screen.
        for (const QList<QVariant>& d : decodes) {
            QCOMPARE(d.at(1).toSize(), screenBox);
            QVERIFY(d.at(2).toBool());
        }
    }

    void pointerHidesAndCounterFades() {
        start("a.jpg", 1); // a slide every 100 ms
        enter("F11");
        Presentation* p = form->presentation();
        movePointer(p, QPoint(40, 40));
        QCOMPARE(p->counterOpacity(), 1.0);
        QCOMPARE(p->cursor().shape(), Qt::ArrowCursor);
        QTRY_COMPARE_WITH_TIMEOUT(p->cursor().shape(), Qt::BlankCursor, 4000);
        QTRY_COMPARE_WITH_TIMEOUT(p->counterOpacity(), 0.0, 2000);
        // The show's own ticks change the text, not whether it shows.
        const QString text = p->counterText();
        QTRY_VERIFY(p->counterText() != text);
        QCOMPARE(p->counterOpacity(), 0.0);
        // A slide changed by hand shows it; the pointer stays hidden.
        QTest::keyClick(p, Qt::Key_Right);
        QCOMPARE(p->counterOpacity(), 1.0);
        QCOMPARE(p->counterText(), form->lblCnt->text());
        QCOMPARE(p->cursor().shape(), Qt::BlankCursor);
        movePointer(p, QPoint(60, 40));
        QCOMPARE(p->cursor().shape(), Qt::ArrowCursor);
    }

    // A slide that cannot be shown: its error box, the show stopped, the presentation still open
    // on the last good picture.
    void failingSlideStopsTheShowUnderIt() {
        start("a.jpg", 1);
        enter("F11");
        QVERIFY(QFile::remove(pic("b.jpg")));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QString("Stopped"), 5000);
        QCOMPARE(ts->messages.size(), 1);
        QVERIFY(ts->messages[0].text.startsWith(QStringLiteral("表示ファイル「b.jpg」")));
        QCOMPARE(gnShowNo, 1);
        QVERIFY(form->presentation());
        QVERIFY(form->presentation()->isVisible());
        // The slide before the failed one, as it was decoded for the screen.
        QImage last = form->presentation()->picture();
        last.setDevicePixelRatio(1); // compared pixel for pixel
        QCOMPARE(last.size(), QSize(screenPixels().width(), screenPixels().width() / 2));
        QCOMPARE(last, display::loadPicture(pic("a.jpg"), last.size()));
    }
};

QTEST_MAIN(PresentationTest)
#include "tst_presentation.moc"
