// Settings files through the real start-up and shutdown of the main window.
#include <QDir>
#include <QFile>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

#include "TestServices.h"
#include "frmStart.h"
#include "mdlComSlideIni.h"
#include "mdlSlideSys.h"

class SettingsTest : public QObject {
    Q_OBJECT

    QString slideIni(const TestServices& ts) const { return ts.userDataFolder() + "/Slide.INI"; }
    void writeSlideIni(const TestServices& ts, const QString& text) const {
        QDir().mkpath(ts.userDataFolder());
        TestServices::writeCp932(slideIni(ts), text);
    }

private Q_SLOTS:
    void firstStartSeedsFromDefaultCopy() {
        TestServices ts;
        ts.installDefaultSlideIni();
        QVERIFY(!QFileInfo::exists(ts.userDataFolder()));
        {
            frmStart form;
            QVERIFY(form.Form_Load());
            QCOMPARE(SlideSettings.DbgLevel, 1);
            QCOMPARE(SlideSettings.Interval, 30);
            QCOMPARE(SlideSettings.IniPath, slideIni(ts));
            QVERIFY(ts.messages.isEmpty());
            form.show();
            form.close();
        }
        // The copy was written back at close: the default's entries plus RootPath.
        const QString text = TestServices::readCp932(slideIni(ts));
        QVERIFY2(text.contains("[Debug]\r\nDbgLevel=1\r\n"), qPrintable(text));
        QVERIFY2(text.contains("[SETUP]\r\nInterval=30\r\n"), qPrintable(text));
        QVERIFY2(text.contains("[RootPath]\r\npixelion=\r\n"), qPrintable(text));
        // The second start loads the user's file directly.
        resetSlideSettings();
        QVERIFY(gbLoadSlideIni());
        QCOMPARE(SlideSettings.Interval, 30);
    }

    void missingDefaultCopyShowsStartupMessage() {
        TestServices ts; // no default copy beside the program
        frmStart form;
        QVERIFY(!form.Form_Load());
        QVERIFY(form.isUnloaded());
        QCOMPARE(ts.messages.size(), 1);
        QCOMPARE(ts.messages[0].text,
                 QStringLiteral("設定情報を取得できませんでした。INIファイルを確認してください。"));
        QCOMPARE(ts.messages[0].title, QStringLiteral("起動エラー"));
        QCOMPARE(ts.messages[0].icon, platform::MsgIcon::Warning);
        QVERIFY(!QFileInfo::exists(slideIni(ts)));
        QVERIFY(!QFileInfo::exists(ts.userDataFolder() + "/Setting.INI"));
    }

    void loadConvertsValues_data() {
        QTest::addColumn<QString>("dbgLevel");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<int>("expectedLevel");
        QTest::addColumn<int>("expectedInterval");
        QTest::newRow("level 7 is 1") << "7"
                                      << "30" << true << 1 << 30;
        QTest::newRow("level -1 is 1") << "-1"
                                       << "30" << true << 1 << 30;
        QTest::newRow("level 4") << "4"
                                 << "30" << true << 4 << 30;
        QTest::newRow("level 0") << "0"
                                 << "30" << true << 0 << 30;
        QTest::newRow("level not a number") << "x"
                                            << "30" << false << 0 << 0;
        QTest::newRow("level with spaces and fraction") << " 2.5 "
                                                        << "30" << true << 2 << 30;
        QTest::newRow("interval 0 kept") << "1"
                                         << "0" << true << 1 << 0;
        QTest::newRow("interval 5000 kept") << "1"
                                            << "5000" << true << 1 << 5000;
        QTest::newRow("interval empty") << "1"
                                        << "" << false << 1 << 0;
        QTest::newRow("interval overflow") << "1"
                                           << "2147483648" << false << 1 << 0;
    }
    void loadConvertsValues() {
        QFETCH(QString, dbgLevel);
        QFETCH(QString, interval);
        QFETCH(bool, loads);
        QFETCH(int, expectedLevel);
        QFETCH(int, expectedInterval);
        TestServices ts;
        writeSlideIni(ts, "[Debug]\r\nDbgLevel=" + dbgLevel +
                              "\r\n[SETUP]\r\nInterval=" + interval + "\r\n");
        QCOMPARE(gbLoadSlideIni(), loads);
        // A failed load keeps what it had set before the failing entry.
        QCOMPARE(SlideSettings.DbgLevel, expectedLevel);
        QCOMPARE(SlideSettings.Interval, expectedInterval);
    }

    void unusableFileIsReplacedByDefault() {
        TestServices ts;
        ts.installDefaultSlideIni();
        writeSlideIni(
            ts,
            "[Debug]\r\nDbgLevel=x\r\n[SETUP]\r\nInterval=55\r\n[RootPath]\r\npixelion=/old\r\n");
        frmStart form;
        QVERIFY(form.Form_Load());
        QCOMPARE(SlideSettings.Interval, 30);
        QCOMPARE(SlideSettings.RootPath, QString());
        QVERIFY(ts.messages.isEmpty());
        form.close();
    }

    void failedStartupKeepsUsableEntries() {
        TestServices ts; // no default copy: the seeding fails
        const QString original =
            "[Debug]\r\nDbgLevel=x\r\n[SETUP]\r\nInterval=55\r\n[RootPath]\r\npixelion=/photos\r\n";
        writeSlideIni(ts, original);
        frmStart form;
        QVERIFY(!form.Form_Load());
        QCOMPARE(TestServices::readCp932(slideIni(ts)), original);
    }

    void longValueReadsBackCutTo255Bytes() {
        TestServices ts;
        const QString longPath = "/" + QString(299, QLatin1Char('p'));
        writeSlideIni(ts,
                      "[Debug]\r\nDbgLevel=1\r\n[SETUP]\r\nInterval=30\r\n[RootPath]\r\npixelion=" +
                          longPath + "\r\n");
        QVERIFY(gbLoadSlideIni());
        QCOMPARE(SlideSettings.RootPath, longPath.left(255));
    }

    void writeBackKeepsOtherLinesAndJapanese() {
        TestServices ts;
        const QString original =
            "; 手で書いたメモ\r\n[Debug]\r\nDbgLevel=1\r\nExtra = keep me \r\n\r\n"
            "[SETUP]\r\nInterval=30\r\nColour=青\r\n[Other]\r\nx=表示\r\n";
        writeSlideIni(ts, original);
        {
            frmStart form;
            QVERIFY(form.Form_Load());
            SlideSettings.RootPath = "/写真/旅行";
            SlideSettings.Interval = -5;
            form.close();
        }
        const QString expected =
            "; 手で書いたメモ\r\n[Debug]\r\nDbgLevel=1\r\nExtra = keep me \r\n\r\n"
            "[SETUP]\r\nInterval=-5\r\nColour=青\r\n[Other]\r\nx=表示\r\n"
            "[RootPath]\r\npixelion=/写真/旅行\r\n";
        QCOMPARE(TestServices::readCp932(slideIni(ts)), expected);
        resetSlideSettings();
        QVERIFY(gbLoadSlideIni());
        QCOMPARE(SlideSettings.RootPath, QStringLiteral("/写真/旅行"));
        QCOMPARE(SlideSettings.Interval, -5);
    }

    void failedRootPathWriteSkipsIntervalAndIsLogged() {
        TestServices ts;
        const QString original = "[Debug]\r\nDbgLevel=2\r\n[SETUP]\r\nInterval=30\r\n";
        writeSlideIni(ts, original);
        ts.clock = QDateTime(QDate(2026, 12, 7), QTime(22, 38, 42));
        {
            frmStart form;
            QVERIFY(form.Form_Load());
            SlideSettings.Interval = 99;
            QFile::setPermissions(slideIni(ts), QFile::ReadOwner | QFile::ReadGroup);
            form.close();
        }
        QFile::setPermissions(slideIni(ts), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(TestServices::readCp932(slideIni(ts)), original);
        const QString log =
            TestServices::readCp932(ts.userDataFolder() + "/Log/20261207_tester_pixelion.dbg");
        QVERIFY2(log.contains("[pixelion] [ERR] WrightINI\r\n"), qPrintable(log));
        QVERIFY2(log.endsWith("=-=-=-=-=-=【pixelionアプリケーション終了】=-=-=-=-=-=\r\n"),
                 qPrintable(log));
    }

    void plainFileInPlaceOfFolderFailsStartup() {
        TestServices ts;
        ts.installDefaultSlideIni();
        TestServices::writeBytes(ts.userDataFolder(), "not a folder");
        frmStart form;
        QVERIFY(!form.Form_Load());
        QCOMPARE(ts.messages.size(), 1);
        QCOMPARE(TestServices::readBytes(ts.userDataFolder()), QByteArray("not a folder"));
    }

    void timerPeriodFollowsInterval_data() {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("period");
        QTest::newRow("1") << 1 << 100;
        QTest::newRow("30") << 30 << 3000;
        QTest::newRow("1000") << 1000 << 100000;
        QTest::newRow("0 held") << 0 << 100;
        QTest::newRow("5000 held") << 5000 << 100000;
        QTest::newRow("huge held") << 2147483647 << 100000;
    }
    void timerPeriodFollowsInterval() {
        QFETCH(int, interval);
        QFETCH(int, period);
        TestServices ts;
        writeSlideIni(ts, "[Debug]\r\nDbgLevel=0\r\n[SETUP]\r\nInterval=" +
                              QString::number(interval) + "\r\n");
        frmStart form;
        QVERIFY(form.Form_Load());
        QCOMPARE(form.tmrSlideShow->interval(), period);
        QVERIFY(!form.tmrSlideShow->isActive());
        form.close();
    }

    // The folder the per-user folder goes in, from the environment as the system gives it.
    void profileFolderFromEnvironment_data() {
        QTest::addColumn<QByteArray>("userProfile"); // "-" for unset
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QString>("expected"); // "account" for the password database's entry

        QTest::newRow("USERPROFILE") << QByteArray("/p") << QByteArray("/h") << "/p";
        QTest::newRow("USERPROFILE unset") << QByteArray("-") << QByteArray("/h") << "/h";
        QTest::newRow("USERPROFILE empty") << QByteArray("") << QByteArray("/h") << "/h";
        QTest::newRow("both unset") << QByteArray("-") << QByteArray("-") << "account";
        QTest::newRow("both empty") << QByteArray("") << QByteArray("") << "account";
        QTest::newRow("HOME is the root") << QByteArray("-") << QByteArray("/") << "account";
        QTest::newRow("USERPROFILE is the root") << QByteArray("//") << QByteArray("/h") << "/h";
    }
    void profileFolderFromEnvironment() {
        QFETCH(QByteArray, userProfile);
        QFETCH(QByteArray, home);
        QFETCH(QString, expected);
        const QByteArray savedProfile = qgetenv("USERPROFILE"), savedHome = qgetenv("HOME");
        const bool hadProfile = qEnvironmentVariableIsSet("USERPROFILE");
        const bool hadHome = qEnvironmentVariableIsSet("HOME");
        auto restore = qScopeGuard([&] {
            hadProfile ? qputenv("USERPROFILE", savedProfile) : qunsetenv("USERPROFILE");
            hadHome ? qputenv("HOME", savedHome) : qunsetenv("HOME");
        });
        const auto set = [](const char* name, const QByteArray& value) {
            value == "-" ? qunsetenv(name) : qputenv(name, value);
        };
        set("USERPROFILE", userProfile);
        set("HOME", home);

        const QString found = platform::SystemServices().userProfileFolder();
        if (expected == "account") {
            const passwd* account = getpwuid(geteuid());
            QVERIFY(account && account->pw_dir);
            QCOMPARE(found, QFile::decodeName(account->pw_dir));
            QVERIFY(!found.isEmpty());
            QVERIFY(QDir::cleanPath(found) != "/");
        } else {
            QCOMPARE(found, expected);
        }
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
