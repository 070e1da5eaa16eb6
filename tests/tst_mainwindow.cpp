// The main window: layout at any size, menus, exit, version text and window positions.
#include <QMenuBar>
#include <QtTest>

#include "DesktopServices.h"
#include "MainLayout.h"
#include "TestServices.h"
#include "Twips.h"
#include "frmOption.h"
#include "frmStart.h"
#include "mdlComCtrlString.h"
#include "mdlSlideSys.h"

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestServices> ts;
    std::unique_ptr<frmStart> form;

    QString settingIni() const { return ts->userDataFolder() + "/Setting.INI"; }
    QString todaysLog() const { return ts->userDataFolder() + "/Log/20261207_tester_pixelion.dbg"; }

    void startWith(const QString& slideIni, const QString& settingIniText = QString()) {
        QDir().mkpath(ts->userDataFolder());
        TestServices::writeCp932(ts->userDataFolder() + "/Slide.INI", slideIni);
        if (!settingIniText.isNull())
            TestServices::writeCp932(settingIni(), settingIniText);
        form = std::make_unique<frmStart>();
        QVERIFY(form->Form_Load());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void start() { startWith("[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=30\r\n"); }

    // One picture in `folder`, named on the command line.
    void pictureOnTheCommandLine(const QTemporaryDir& folder) {
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(folder.path() + "/a.jpg", "JPG"));
        ts->commandLineText = folder.path() + "/a.jpg";
    }

    // Sizes the window so that its client area (below the menu bar) is w x h pixels.
    void setClientPixels(int w, int h) {
        QWidget* client = form->centralWidget();
        for (int i = 0; i < 3 && client->size() != QSize(w, h); ++i) {
            form->resize(w + form->width() - client->width(),
                         h + form->height() - client->height());
            QCoreApplication::processEvents();
        }
        QCOMPARE(client->size(), QSize(w, h));
    }

    static void checkRect(QWidget* w, float left, float top, float width, float height) {
        const TwipsRect r = twipsOf(w);
        QCOMPARE(r.Left, left);
        QCOMPARE(r.Top, top);
        QCOMPARE(r.Width, width);
        QCOMPARE(r.Height, height);
    }

    void checkGlyphsOnButtons() {
        for (int i = 0; i < 4; ++i) {
            const TwipsRect on = twipsOf(form->picOn[i]);
            const TwipsRect off = twipsOf(form->picOff[i]);
            QCOMPARE(off.Left, on.Left);
            QCOMPARE(off.Top, on.Top);
            QCOMPARE(form->picOff[i]->geometry(), form->picOn[i]->geometry());
            // Over the left end of the button of the same index, and drawn above it.
            const TwipsRect button = twipsOf(form->cmdPlayer[i]);
            QCOMPARE(on.Left, button.Left + 120);
            QVERIFY(on.Top - button.Top >= 60 && on.Top - button.Top <= 80);
            const QObjectList siblings = form->fraFunc->children();
            QVERIFY(siblings.indexOf(form->picOn[i]) > siblings.indexOf(form->cmdPlayer[i]));
        }
    }

private Q_SLOTS:
    void init() {
        ts = std::make_unique<TestServices>();
        ts->clock = QDateTime(QDate(2026, 12, 7), QTime(22, 38, 42));
    }
    void cleanup() {
        form.reset();
        ts.reset();
    }

    void layoutFollowsClientSize_data() {
        QTest::addColumn<int>("W"); // client area in twips
        QTest::addColumn<int>("H");
        QTest::newRow("design size") << 9780 << 4875;
        QTest::newRow("larger") << 12000 << 6000;
        QTest::newRow("wide and low") << 15000 << 4800;
    }
    void layoutFollowsClientSize() {
        QFETCH(int, W);
        QFETCH(int, H);
        start();
        setClientPixels(W / 15, H / 15);
        checkRect(form->lblMsg, 100, 100, 4335, 375);
        checkRect(form->lblCnt, W - 1555, 100, 1455, 255);
        checkRect(form->fraImgArea, 100, 575, W - 1755, H - 575);
        checkRect(form->fraFunc, W - 1555, 575, 1455, 2175);
        checkRect(form->cmdEnd, W - 1470, H - 475, 1320, 375);
        checkGlyphsOnButtons();
        QVERIFY(form->updatesEnabled());
    }

    void windowCannotBeMadeSmallerThanMinimum() {
        start();
        form->resize(150, 120);
        QCoreApplication::processEvents();
        const QRect outer = form->frameGeometry();
        QCOMPARE(outer.width(), 400); // 6000 x 4500 twips
        QCOMPARE(outer.height(), 300);
        const float W = form->clientWidthTwips(), H = form->clientHeightTwips();
        checkRect(form->fraImgArea, 100, 575, W - 1755, H - 575);
        checkRect(form->cmdEnd, W - 1470, H - 475, 1320, 375);
        checkGlyphsOnButtons();
    }

    void minimisingMovesNothing() {
        start();
        setClientPixels(700, 400);
        const TwipsRect area = twipsOf(form->fraImgArea);
        const TwipsRect end = twipsOf(form->cmdEnd);
        form->showMinimized();
        QCoreApplication::processEvents();
        form->Form_Resize();
        QCOMPARE(twipsOf(form->fraImgArea).Width, area.Width);
        QCOMPARE(twipsOf(form->cmdEnd).Left, end.Left);
        // Redraw off concerns only the form's own drawing: the controls keep painting.
        QVERIFY(form->updatesEnabled());
        form->showNormal();
        QCoreApplication::processEvents();
        QVERIFY(form->updatesEnabled());
        checkGlyphsOnButtons();
    }

    // Maximising and restoring lay the window out once each, for the size it then has: the
    // player frame and 終了 at the right and bottom edges, one re-fit of the picture each.
    void maximiseAndRestoreLayOutOnce() {
        QTemporaryDir pics;
        pictureOnTheCommandLine(pics);
        start();
        form->cmdPlayer[1]->click(); // stopped, the picture on screen
        const auto refits = [&] {
            return TestServices::readCp932(todaysLog()).count("fbShowPic() Start");
        };
        for (const bool maximise : {true, false}) {
            const int before = refits();
            const QSize oldSize = form->centralWidget()->size();
            if (maximise)
                form->showMaximized();
            else
                form->showNormal();
            QTRY_VERIFY(form->centralWidget()->size() != oldSize);
            QTest::qWait(50); // whatever else the change brings
            QCOMPARE(refits() - before, 1);
            const float W = form->clientWidthTwips(), H = form->clientHeightTwips();
            const MainLayout l = mainLayout(W, H);
            QCOMPARE(twipsOf(form->fraFunc), l.fraFunc);
            QCOMPARE(twipsOf(form->cmdEnd), l.cmdEnd);
            QCOMPARE(twipsOf(form->fraImgArea), l.fraImgArea);
        }
    }

    // Start-up moves the window to its stored rectangle, and the move lays it out before the
    // show of the command line begins: the first picture is fitted into the area it will
    // have, not the one the window was created with.
    void startUpMoveLaysOutBeforeTheShow() {
        QTemporaryDir pics;
        pictureOnTheCommandLine(pics);
        startWith("[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=1000\r\n",
                  "[Window_Pos]\r\npixelion-スライド画面=1500,1500,15000,10500\r\n");
        const QStringList areas =
            TestServices::readCp932(todaysLog()).split("\r\n").filter("[GetFieldSize1]");
        QVERIFY(!areas.isEmpty());
        const TwipsRect area = twipsOf(form->fraImgArea);
        QVERIFY2(
            areas.first().endsWith(QStringLiteral("[GetFieldSize1]　Width=[%1]/Height=[%2]")
                                       .arg(formatSingle(area.Width), formatSingle(area.Height))),
            qPrintable(areas.first()));
    }

    // Qt's own dialogs speak Japanese, whatever the locale: the interface is Japanese.
    void qtDialogsSpeakJapanese() {
        QVERIFY2(installQtJapanese(*qApp), "Qt's Japanese translations (qt6-translations-l10n)");
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QStringLiteral("キャンセル"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"),
                 QStringLiteral("アドレス:"));
    }

    void controlsAsCreated() {
        start();
        QCOMPARE(form->windowTitle(), QStringLiteral("スライド画面"));
        QCOMPARE(form->lblMsg->text(),
                 QStringLiteral("スライドしたいファイルをドラッグ＆ドロップして下さい。"));
        QCOMPARE(form->lblCnt->text(), QStringLiteral("0 / 0"));
        const QStringList captions = {"  開始", "  停止", "   前へ", "  次へ"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(form->cmdPlayer[i]->text(), captions[i]);
            QVERIFY(!form->cmdPlayer[i]->isEnabled());
            QVERIFY(form->picOff[i]->isVisible());
            QVERIFY(!form->picOn[i]->isVisible());
            QCOMPARE(form->cmdPlayer[i]->font().pointSizeF(), 9.75);
        }
        QCOMPARE(form->cmdEnd->text(), QStringLiteral("終了"));
        QVERIFY(form->imgViewer->isHidden());
        QVERIFY(form->fraImgArea->acceptDrops());
        // Tab order: the four player buttons, then the exit button.
        auto nextTabStop = [](QWidget* w) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            return w;
        };
        QCOMPARE(nextTabStop(form->cmdPlayer[0]), form->cmdPlayer[1]);
        QCOMPARE(nextTabStop(form->cmdPlayer[2]), form->cmdPlayer[3]);
        QCOMPARE(nextTabStop(form->cmdPlayer[3]), form->cmdEnd);
    }

    void menuTree() {
        start();
        const QList<QAction*> menus = form->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[0]->text(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(menus[1]->text(), QStringLiteral("ツール(&T)"));
        QCOMPARE(menus[2]->text(), QStringLiteral("バージョン(&V)"));
        QCOMPARE(form->mnuFile->actions(), (QList<QAction*>{form->mnuFileRed, form->mnuEnd}));
        QCOMPARE(form->mnuFileRed->text(), QStringLiteral("ファイル読込(&R)"));
        QCOMPARE(form->mnuEnd->text(), QStringLiteral("終了(&E)"));
        QCOMPARE(form->mnuOption->text(), QStringLiteral("オプション(&O)"));
        QCOMPARE(form->mnuVerVal->text(), QStringLiteral("Version 1.02"));
        form->mnuVerVal->trigger(); // does nothing
        QVERIFY(form->isVisible());
    }

    void exitPathsCloseWithTheirRecords_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("record");
        QTest::newRow("exit button") << "cmdEnd"
                                     << "cmdEnd_Click().";
        QTest::newRow("exit menu") << "mnuEnd"
                                   << "mnuend_Click().";
        // As on Windows, Enter presses the focused button.
        QTest::newRow("Enter on the exit button") << "Enter"
                                                  << "cmdEnd_Click().";
        QTest::newRow("keypad Enter on the exit button") << "keypad Enter"
                                                         << "cmdEnd_Click().";
        QTest::newRow("close box") << "close"
                                   << "";
    }
    void exitPathsCloseWithTheirRecords() {
        QFETCH(QString, how);
        QFETCH(QString, record);
        start();
        if (how == "cmdEnd")
            QTest::mouseClick(form->cmdEnd, Qt::LeftButton);
        else if (how == "Enter")
            QTest::keyClick(form->cmdEnd, Qt::Key_Return);
        else if (how == "keypad Enter")
            QTest::keyClick(form->cmdEnd, Qt::Key_Enter, Qt::KeypadModifier);
        else if (how == "mnuEnd")
            form->mnuEnd->trigger();
        else
            form->close();
        QVERIFY(form->isUnloaded());
        QVERIFY(!form->isVisible());
        const QStringList lines =
            TestServices::readCp932(todaysLog()).split("\r\n", Qt::SkipEmptyParts);
        QVERIFY(lines.last().endsWith("=-=-=-=-=-=【pixelionアプリケーション終了】=-=-=-=-=-="));
        // Only the record before the shutdown differs; the close box writes none.
        const QString prefix = "4012 2026/12/07 22:38:42 [pixelion] ";
        QCOMPARE(lines.contains(prefix + "cmdEnd_Click()."), record == "cmdEnd_Click().");
        QCOMPARE(lines.contains(prefix + "mnuend_Click()."), record == "mnuend_Click().");
    }

    void optionsMenuResetsTimer() {
        start();
        form->tmrSlideShow->start();
        QTimer::singleShot(0, [] {
            QVERIFY(frmOption::loaded());
            frmOption::loaded()->txtIntervbal->setValue(7);
            QTest::mouseClick(frmOption::loaded()->cmdOK, Qt::LeftButton);
        });
        form->mnuOption->trigger();
        QCOMPARE(SlideSettings.Interval, 7);
        QVERIFY(!form->tmrSlideShow->isActive());
        QCOMPARE(form->tmrSlideShow->interval(), 700);
        // Cancel keeps the interval, and the timer is still stopped and set again.
        QTimer::singleShot(0, [] {
            frmOption::loaded()->txtIntervbal->setValue(9);
            QTest::mouseClick(frmOption::loaded()->cmdCancel, Qt::LeftButton);
        });
        form->mnuOption->trigger();
        QCOMPARE(SlideSettings.Interval, 7);
        QCOMPARE(form->tmrSlideShow->interval(), 700);
        // The hidden dialog is unloaded at shutdown and stores its position once more.
        QVERIFY(frmOption::loaded());
        form->close();
        QVERIFY(!frmOption::loaded());
        QVERIFY(TestServices::readCp932(settingIni()).contains("pixelion-設定画面="));
    }

    void windowReopensWhereItWas_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        // Positions are whole pixels: 1000 twips is 66.7 pixels, so the window lies at 67 (1005).
        QTest::newRow("no entry: default, then the minimum size")
            << QString() << "1005,1005,6000,4500";
        QTest::newRow("stored rectangle") << "1500,1200,9000,6000"
                                          << "1500,1200,9000,6000";
        QTest::newRow("too small is enlarged") << "300,450,2000,2000"
                                               << "300,450,6000,4500";
        QTest::newRow("off screen pulled back") << "28800,900,9000,6000"
                                                << "14400,900,9000,6000";
    }
    void windowReopensWhereItWas() {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        startWith("[Debug]\r\nDbgLevel=0\r\n[SETUP]\r\nInterval=30\r\n",
                  stored.isNull() ? QString()
                                  : "[Window_Pos]\r\npixelion-スライド画面=" + stored + "\r\n");
        const QStringList e = expected.split(',');
        const QRect outer = form->frameGeometry();
        QCOMPARE(outer,
                 QRect(e[0].toInt() / 15, e[1].toInt() / 15, e[2].toInt() / 15, e[3].toInt() / 15));
        QCOMPARE(e[0].toInt() % 15, 0); // the table holds whole pixels
        form->close();
        QCOMPARE(TestServices::readCp932(settingIni()),
                 "[Window_Pos]\r\npixelion-スライド画面=" + expected + "\r\n");
    }

    void maximisedWindowKeepsItsStoredRectangle() {
        const QString entry = "[Window_Pos]\r\npixelion-スライド画面=1500,1200,9000,6000\r\n";
        startWith("[Debug]\r\nDbgLevel=0\r\n[SETUP]\r\nInterval=30\r\n", entry);
        form->showMaximized();
        QCoreApplication::processEvents();
        form->close();
        QCOMPARE(TestServices::readCp932(settingIni()), entry);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
