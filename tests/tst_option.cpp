// The options dialog driven as a user drives it: shown modally through gfForm_Show, clicked
// while its modal loop runs, the confirmation answered through the test services.
#include <functional>
#include <memory>

#include <QCheckBox>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include "Cp932.h"
#include "LoadedForms.h"
#include "ProfileFile.h"
#include "TestServices.h"
#include "frmOption.h"
#include "mdlComDebug.h"
#include "mdlComSlideIni.h"
#include "mdlSlideSys.h"

using platform::MsgAnswer;

namespace {
const QString kKey = QStringLiteral("pixelion-設定画面");
} // namespace

class TestOption : public QObject {
    Q_OBJECT

    std::unique_ptr<TestServices> ts;

    struct ShowResult {
        bool result = false;
        bool timedOut = false;
    };

    // Opens the dialog with gfForm_Show and runs `during` once its modal loop runs. `during`
    // must end the dialog; should it not, a watchdog hides it so the fault fails the test
    // instead of hanging it.
    ShowResult showWith(const std::function<void(frmOption&)>& during) {
        frmOption& dlg = frmOption::load();
        QPointer<frmOption> guard(&dlg);
        ShowResult r;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        watchdog.setInterval(30000);
        connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
            r.timedOut = true;
            if (guard)
                guard->hide();
        });
        QTimer::singleShot(0, &watchdog, [&] {
            watchdog.start();
            if (guard)
                during(*guard);
        });
        r.result = dlg.gfForm_Show();
        return r;
    }

    static void typeInterval(frmOption& dlg, const QString& text) {
        dlg.txtIntervbal->setFocus();
        dlg.txtIntervbal->selectAll();
        QTest::keyClicks(dlg.txtIntervbal, text);
    }

    QByteArray storedPlace() const {
        return platform::getPrivateProfileString("Window_Pos", platform::toCp932(kKey), "<none>",
                                                 ts->userDataFolder() + "/Setting.INI");
    }

    void storePlace(const QByteArray& value) {
        QVERIFY(platform::writePrivateProfileString("Window_Pos", platform::toCp932(kKey), value,
                                                    gsGetSettingIniPath()));
    }

    static QString logText() {
        QFile f(debugLogState().LogFilePath);
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return platform::fromCp932(f.readAll());
    }

private Q_SLOTS:
    void init();
    void cleanup();

    void buildsWindowAndControls();
    void okThenCancelInConfirmationKeepsDialogOpen();
    void okConfirmedTakesValueAndHides();
    void cancelHidesWithoutTakingValue();
    void closeBoxUnloads();
    void reopeningShowsSameInstanceRefreshed();
    void showsIntervalWithinLimits_data();
    void showsIntervalWithinLimits();
    void okWithUnacceptableTextKeepsLastValue_data();
    void okWithUnacceptableTextKeepsLastValue();
    void enterAndEscPressNothing();
    void tabOrder();
    void shutdownCloseOfHiddenDialogStoresPlaceAndUnloads();
    void errorBeforeShowingReturnsFalse();
    void opensWhollyOnTheScreen_data();
    void opensWhollyOnTheScreen();
};

void TestOption::init() {
    ts = std::make_unique<TestServices>();
    resetSlideSettings();
    resetDebugLog();
    SlideSettings.Interval = 30;
    gDebugLog(97, QString(), 4, ts->userName, 0, ts->pid, gsGetUserDataFolder());
}

void TestOption::cleanup() {
    if (frmOption* dlg = frmOption::loaded())
        dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frmOption::loaded());
    resetDebugLog();
    resetSlideSettings();
    ts.reset();
}

void TestOption::buildsWindowAndControls() {
    frmOption& dlg = frmOption::load();
    QCOMPARE(frmOption::loaded(), &dlg);
    QVERIFY(loadedForms().contains(&dlg));

    QCOMPARE(dlg.windowTitle(), QString("設定画面"));
    QVERIFY(dlg.parentWidget() == nullptr);
    QVERIFY(dlg.isModal());
    QCOMPARE(dlg.windowType(), Qt::Tool);
    const Qt::WindowFlags flags = dlg.windowFlags();
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    // 4290 x 1890 twips at 15 twips per pixel, and it cannot be resized.
    QCOMPARE(dlg.size(), QSize(286, 126));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());

    struct Expected {
        QWidget* widget;
        QWidget* parent;
        QString text;
        QRect pixels;
    };
    const Expected controls[] = {
        {dlg.Frame1, &dlg, "スライドショーの設定", {8, 16, 273, 57}},
        {dlg.Label1, dlg.Frame1, "表示間隔(1～1000)：", {8, 24, 121, 17}},
        {dlg.txtIntervbal, dlg.Frame1, QString(), {128, 24, 81, 17}},
        {dlg.Label4, dlg.Frame1, "×0.1 秒", {216, 24, 49, 17}},
        {dlg.cmdOK, &dlg, "OK", {80, 88, 80, 25}},
        {dlg.cmdCancel, &dlg, "キャンセル", {176, 88, 80, 25}},
    };
    for (const Expected& c : controls) {
        QVERIFY(c.widget);
        QCOMPARE(c.widget->parentWidget(), c.parent);
        QCOMPARE(c.widget->geometry(), c.pixels);
        if (auto* box = qobject_cast<QGroupBox*>(c.widget))
            QCOMPARE(box->title(), c.text);
        else if (auto* label = qobject_cast<QLabel*>(c.widget))
            QCOMPARE(label->text(), c.text);
        else if (auto* button = qobject_cast<QPushButton*>(c.widget))
            QCOMPARE(button->text(), c.text);
    }
    // The group with the Send-to check box does nothing and would cover the buttons.
    QVERIFY(!dlg.findChild<QCheckBox*>());
    QVERIFY(!dlg.cmdOK->autoDefault() && !dlg.cmdCancel->autoDefault());
}

void TestOption::okThenCancelInConfirmationKeepsDialogOpen() {
    ts->messageAnswers << MsgAnswer::Cancel;
    bool visibleAfterOk = false;
    qint32 intervalAfterOk = 0;
    QString textAfterOk;
    const ShowResult r = showWith([&](frmOption& dlg) {
        typeInterval(dlg, "250");
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
        visibleAfterOk = dlg.isVisible();
        intervalAfterOk = SlideSettings.Interval;
        textAfterOk = dlg.txtIntervbal->text();
        QTest::mouseClick(dlg.cmdCancel, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QVERIFY(r.result);

    QVERIFY(visibleAfterOk);
    QCOMPARE(intervalAfterOk, 30);
    QCOMPARE(textAfterOk, QString("250")); // the entered value stays in the field
    QCOMPARE(SlideSettings.Interval, 30);

    QCOMPARE(ts->messages.size(), 1);
    const platform::MessageBoxRequest& ask = ts->messages.first();
    QCOMPARE(ask.text, QString("設定情報を保存します。\r\n変更結果は、即座に反映されます。"));
    QCOMPARE(ask.title, QString("ピクセリオン"));
    QCOMPARE(ask.icon, platform::MsgIcon::Information);
    QCOMPARE(ask.buttons, platform::MsgButtons::OkCancel);

    const QString log = logText();
    const qsizetype start = log.indexOf("cmdOK_Click() Start");
    QVERIFY(start >= 0);
    QVERIFY(log.indexOf("Anser=Cancel", start) > start);
    QVERIFY(!log.contains("cmdOK_Click() End"));
}

void TestOption::okConfirmedTakesValueAndHides() {
    storePlace("1500,900,0,0");
    QPoint openedAt;
    QPointer<frmOption> instance;
    const ShowResult r = showWith([&](frmOption& dlg) {
        instance = &dlg;
        openedAt = dlg.pos();
        dlg.move(200, 120);
        typeInterval(dlg, "250");
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QVERIFY(r.result);

    QCOMPARE(openedAt, QPoint(100, 60));
    QCOMPARE(SlideSettings.Interval, 250);
    QCOMPARE(ts->messages.size(), 1);
    // Hidden, still loaded: the same instance.
    QVERIFY(instance);
    QCOMPARE(frmOption::loaded(), instance.data());
    QVERIFY(!instance->isVisible());
    QCOMPARE(storedPlace(), QByteArray("3000,1800,0,0"));

    const QString log = logText();
    for (const char* record :
         {"frmOption_gfForm_Show() Start", "cmdOK_Click() Start", "frmOption_Form_Hide() Start",
          "frmOption_Form_Hide() End", "cmdOK_Click() End", "frmOption_gfForm_Show() End"})
        QVERIFY2(log.contains(QString::fromUtf8(record)), record);
    QVERIFY(log.indexOf("frmOption_Form_Hide() End") < log.indexOf("cmdOK_Click() End"));
}

void TestOption::cancelHidesWithoutTakingValue() {
    QPoint openedAt;
    QPointer<frmOption> instance;
    const ShowResult r = showWith([&](frmOption& dlg) {
        instance = &dlg;
        openedAt = dlg.pos();
        typeInterval(dlg, "777");
        QTest::mouseClick(dlg.cmdCancel, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QVERIFY(r.result);

    // No stored place: 1000, 1000 twips, which is 67 pixels and so 1005 twips when stored.
    QCOMPARE(openedAt, QPoint(67, 67));
    QCOMPARE(storedPlace(), QByteArray("1005,1005,0,0"));
    QCOMPARE(SlideSettings.Interval, 30);
    QVERIFY(ts->messages.isEmpty());
    QVERIFY(instance && !instance->isVisible());
    QCOMPARE(frmOption::loaded(), instance.data());
    QCOMPARE(instance->txtIntervbal->text(), QString("777"));
    const QString log = logText();
    QVERIFY(log.contains("cmdCancel_Click() Start"));
    QVERIFY(log.indexOf("frmOption_Form_Hide() End") < log.indexOf("cmdCancel_Click() End"));
}

void TestOption::closeBoxUnloads() {
    QPointer<frmOption> instance;
    const ShowResult r = showWith([&](frmOption& dlg) {
        instance = &dlg;
        dlg.move(150, 90);
        typeInterval(dlg, "250");
        // The close box: the window system's close request to the dialog's window.
        QCloseEvent close;
        QCoreApplication::sendEvent(dlg.windowHandle(), &close);
    });
    QVERIFY(!r.timedOut);
    QVERIFY(r.result);

    QVERIFY(!frmOption::loaded());
    QCOMPARE(SlideSettings.Interval, 30);
    QCOMPARE(storedPlace(), QByteArray("2250,1350,0,0"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(instance.isNull());
    QVERIFY(loadedForms().isEmpty());

    // The next opening builds the form afresh, with the limits it is built with.
    frmOption& fresh = frmOption::load();
    QCOMPARE(fresh.txtIntervbal->minimum(), -99999);
    QCOMPARE(fresh.txtIntervbal->maximum(), 99999);
}

void TestOption::reopeningShowsSameInstanceRefreshed() {
    frmOption* first = nullptr;
    ShowResult r = showWith([&](frmOption& dlg) {
        first = &dlg;
        typeInterval(dlg, "250");
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QCOMPARE(SlideSettings.Interval, 250);

    SlideSettings.Interval = 40;
    frmOption* second = nullptr;
    QString shown;
    r = showWith([&](frmOption& dlg) {
        second = &dlg;
        shown = dlg.txtIntervbal->text();
        QTest::mouseClick(dlg.cmdCancel, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QCOMPARE(second, first);
    QCOMPARE(shown, QString("40"));
}

void TestOption::showsIntervalWithinLimits_data() {
    QTest::addColumn<qint32>("interval");
    QTest::addColumn<QString>("shown");

    QTest::newRow("within") << 30 << "30";
    QTest::newRow("lower limit") << 1 << "1";
    QTest::newRow("upper limit") << 1000 << "1000";
    QTest::newRow("above the upper limit") << 5000 << "1000";
    QTest::newRow("beyond the built limits") << 250000 << "1000";
    QTest::newRow("zero") << 0 << "1";
    QTest::newRow("negative") << -7 << "1";
}

void TestOption::showsIntervalWithinLimits() {
    QFETCH(qint32, interval);
    QFETCH(QString, shown);

    SlideSettings.Interval = interval;
    QString text, toolTip;
    const ShowResult r = showWith([&](frmOption& dlg) {
        text = dlg.txtIntervbal->text();
        toolTip = dlg.txtIntervbal->toolTip();
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QCOMPARE(text, shown);
    QCOMPARE(toolTip, QString("1 ～ 1000"));
    // OK stores what the field shows, so Interval is always within 1..1000 afterwards.
    QCOMPARE(SlideSettings.Interval, shown.toInt());
}

void TestOption::okWithUnacceptableTextKeepsLastValue_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("emptied") << QString();
    QTest::newRow("zero") << "0";
}

void TestOption::okWithUnacceptableTextKeepsLastValue() {
    QFETCH(QString, typed);
    QString textAtOk;
    const ShowResult r = showWith([&](frmOption& dlg) {
        typeInterval(dlg, typed);
        if (typed.isEmpty())
            QTest::keyClick(dlg.txtIntervbal, Qt::Key_Backspace);
        // The field holds a text it cannot take as its value when OK is pressed.
        textAtOk = dlg.txtIntervbal->text();
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QVERIFY(r.result);
    QVERIFY(!frmOption::loaded()->isVisible());
    QCOMPARE(textAtOk, typed);
    QCOMPARE(SlideSettings.Interval, 30);
}

void TestOption::enterAndEscPressNothing() {
    bool visibleAfterKeys = false, visibleAfterEnterOnOk = true;
    bool anyDefault = true;
    qsizetype asked = -1;
    const ShowResult r = showWith([&](frmOption& dlg) {
        anyDefault = dlg.cmdOK->isDefault() || dlg.cmdCancel->isDefault();
        typeInterval(dlg, "250");
        // In the field Enter presses no button, and Esc closes nothing.
        QTest::keyClick(dlg.txtIntervbal, Qt::Key_Return);
        QTest::keyClick(dlg.txtIntervbal, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(dlg.txtIntervbal, Qt::Key_Escape);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        visibleAfterKeys = dlg.isVisible();
        asked = ts->messages.size();
        // On a focused button Enter clicks it, as on Windows.
        dlg.cmdOK->setFocus();
        QTest::keyClick(dlg.cmdOK, Qt::Key_Return);
        visibleAfterEnterOnOk = dlg.isVisible();
    });
    QVERIFY(!r.timedOut);
    QVERIFY(!anyDefault);
    QVERIFY(visibleAfterKeys);
    QCOMPARE(asked, 0);
    QVERIFY(!visibleAfterEnterOnOk);
    QCOMPARE(ts->messages.size(), 1); // OK's confirmation, answered OK
    QCOMPARE(SlideSettings.Interval, 250);
}

void TestOption::tabOrder() {
    QList<QWidget*> focusSeen;
    const ShowResult r = showWith([&](frmOption& dlg) {
        if (!QTest::qWaitForWindowActive(&dlg))
            return dlg.hide();
        focusSeen << QApplication::focusWidget(); // the first in the tab order
        for (int i = 0; i < 3 && QApplication::focusWidget(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            focusSeen << QApplication::focusWidget();
        }
        dlg.hide();
    });
    QVERIFY(!r.timedOut);
    frmOption* dlg = frmOption::loaded();
    QVERIFY(dlg);
    const QList<QWidget*> expected{dlg->txtIntervbal, dlg->cmdOK, dlg->cmdCancel,
                                   dlg->txtIntervbal};
    QCOMPARE(focusSeen, expected);
}

void TestOption::shutdownCloseOfHiddenDialogStoresPlaceAndUnloads() {
    const ShowResult r = showWith([&](frmOption& dlg) {
        dlg.move(200, 120);
        QTest::mouseClick(dlg.cmdCancel, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QCOMPARE(storedPlace(), QByteArray("3000,1800,0,0"));

    frmOption* dlg = frmOption::loaded();
    QVERIFY(dlg && !dlg->isVisible());
    QPointer<frmOption> guard(dlg);
    dlg->move(300, 150);
    // What the main window's shutdown does with every other loaded form.
    for (QWidget* form : loadedForms())
        form->close();
    QVERIFY(!frmOption::loaded());
    QVERIFY(loadedForms().isEmpty());
    QCOMPARE(storedPlace(), QByteArray("4500,2250,0,0"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void TestOption::errorBeforeShowingReturnsFalse() {
    // The per-user folder cannot be made: reading the stored place fails.
    ts->profileFolder = ts->profileDir.path() + "/missing/deeper";
    bool shown = false;
    const ShowResult r = showWith([&](frmOption& dlg) {
        shown = true;
        dlg.hide();
    });
    QVERIFY(!r.timedOut);
    QVERIFY(!r.result);
    QVERIFY(!shown);
    const QString log = logText();
    const qsizetype err = log.indexOf("frmOption_gfForm_Show() Err");
    QVERIFY(err >= 0);
    QVERIFY(log.indexOf("frmOption_gfForm_Show() End", err) > err);
    ts->profileFolder = ts->profileDir.path(); // so that cleanup can unload it quietly
}

QTEST_MAIN(TestOption)
#include "tst_option.moc"

// A place stored for a larger screen, or typed by hand, must not open the modal dialog out of
// reach: it is moved so that the whole dialog lies on the screen; a place that fits is kept.
void TestOption::opensWhollyOnTheScreen_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("moved");
    QTest::newRow("fits") << "1500,1500,0,0" << false;
    QTest::newRow("near the bottom right corner") << "28000,15900,0,0" << true;
    QTest::newRow("negative") << "-30000,-30000,0,0" << true;
}

void TestOption::opensWhollyOnTheScreen() {
    QFETCH(QString, stored);
    QFETCH(bool, moved);
    TestServices::writeCp932(ts->userDataFolder() + "/Setting.INI",
                             "[Window_Pos]\r\n" + kKey + "=" + stored + "\r\n");
    QRect frame;
    const QRect screen(QPoint(), ts->screenPixels);
    const ShowResult r = showWith([&](frmOption& dlg) {
        // Its frame is known once it is shown; it is moved then.
        [[maybe_unused]] const bool fits =
            QTest::qWaitFor([&] { return screen.contains(dlg.frameGeometry()); }, 2000);
        frame = dlg.frameGeometry();
        QTest::mouseClick(dlg.cmdCancel, Qt::LeftButton);
    });
    QVERIFY(!r.timedOut);
    QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                    .arg(frame.x())
                                                    .arg(frame.y())
                                                    .arg(frame.width())
                                                    .arg(frame.height())));
    QCOMPARE(frame.topLeft() != QPoint(100, 100), moved);
}
