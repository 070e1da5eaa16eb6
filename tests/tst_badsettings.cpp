// Settings files as users' machines leave them (empty, garbage, a byte-order mark, Unix line
// ends, a section twice, a huge value) and a log that cannot be written, through the real
// start-up and shutdown: each gives its documented result and nothing else in the files changes.
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include "Cp932.h"
#include "ProfileFile.h"
#include "TestServices.h"
#include "frmStart.h"
#include "mdlComCtrlString.h"
#include "mdlSlideDef.h"
#include "mdlSlideSys.h"

namespace {

const QString kWinPosKey = QStringLiteral("pixelion-スライド画面");
const QString kNewRootPath = QStringLiteral("/photos/旅行");

QByteArray cp932(const QString& text) {
    return platform::toCp932(text);
}

// Bytes that are no text at all, without line ends (so that where lines begin stays known)
// and without the "@" that the expected files use as a placeholder.
QByteArray garbage(quint32 seed, int size) {
    QRandomGenerator random(seed);
    QByteArray bytes;
    while (bytes.size() < size) {
        const char c = char(random.bounded(256));
        if (c != '\r' && c != '\n' && c != '@')
            bytes += c;
    }
    return bytes;
}

QByteArray defaultSlideIni() {
    return TestServices::readBytes(QStringLiteral(DEFAULT_SLIDE_INI));
}

// The default copy as the shutdown leaves it: Interval 50 and the new RootPath.
QByteArray defaultAfterShutdown() {
    QByteArray bytes = defaultSlideIni();
    const QByteArray interval = platform::getPrivateProfileString(
        "SETUP", "Interval", QByteArray(), QStringLiteral(DEFAULT_SLIDE_INI));
    bytes.replace("Interval=" + interval, "Interval=50");
    return bytes + cp932("[RootPath]\r\npixelion=" + kNewRootPath + "\r\n");
}

int defaultInterval() {
    return toLong(QString::fromLatin1(platform::getPrivateProfileString(
        "SETUP", "Interval", QByteArray(), QStringLiteral(DEFAULT_SLIDE_INI))));
}

// Makes a folder refuse new entries. Permissions do not stop the superuser; an immutable
// folder does. False when neither works here.
bool makeFolderReadOnly(const QString& folder, bool& immutable) {
    immutable = false;
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(folder + QStringLiteral("/probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return true;
    probe.close();
    probe.remove();
    immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) == 0;
    return immutable;
}

void makeFolderWritable(const QString& folder, bool immutable) {
    if (immutable)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), folder});
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class BadSettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestServices> ts;

    QString slideIni() const { return ts->userDataFolder() + "/Slide.INI"; }
    QString settingIni() const { return ts->userDataFolder() + "/Setting.INI"; }
    QString logFolder() const { return ts->userDataFolder() + "/Log"; }

    // The entry the window stores for its rectangle as it is now.
    static QString storedRect(const frmStart& form) {
        const QRect r = form.frameGeometry();
        return QStringLiteral("%1,%2,%3,%4")
            .arg(r.x() * 15)
            .arg(r.y() * 15)
            .arg(r.width() * 15)
            .arg(r.height() * 15);
    }

private Q_SLOTS:
    void init() {
        ts = std::make_unique<TestServices>();
        ts->installDefaultSlideIni();
        ts->clock = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 0));
        QDir().mkpath(ts->userDataFolder());
    }
    void cleanup() { ts.reset(); }

    void brokenSlideIni_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("interval"); // as loaded
        QTest::addColumn<QString>("rootPath");
        QTest::addColumn<QByteArray>("after"); // once shutdown stored Interval 50 and a folder

        const QByteArray replaced = defaultAfterShutdown();
        const int byDefault = defaultInterval();
        const QByteArray rootPathSection = cp932("[RootPath]\r\npixelion=" + kNewRootPath + "\r\n");
        const QByteArray usable = "[Debug]\r\nDbgLevel=2\r\n[SETUP]\r\nInterval=45\r\n";

        QTest::newRow("empty") << QByteArray() << byDefault << QString() << replaced;
        QTest::newRow("binary garbage") << garbage(1, 2048) << byDefault << QString() << replaced;
        const QByteArray junk = garbage(2, 300);
        QTest::newRow("garbage around usable entries")
            << junk + "\r\n" + usable + "[Junk]\r\n" + junk << 45 << QString()
            << junk + "\r\n" + QByteArray(usable).replace("=45", "=50") + "[Junk]\r\n" + junk +
                   "\r\n" + rootPathSection;
        // A byte-order mark makes the first line no section header, as on Windows.
        QTest::newRow("UTF-8 byte-order mark before the first section")
            << "\xEF\xBB\xBF" + usable << byDefault << QString() << replaced;
        const QByteArray commentFirst = "\xEF\xBB\xBF; " + QString("設定").toUtf8() + "\r\n";
        QTest::newRow("UTF-8 byte-order mark before a comment")
            << commentFirst + usable << 45 << QString()
            << commentFirst + QByteArray(usable).replace("=45", "=50") + rootPathSection;
        QTest::newRow("LF line ends")
            << QByteArray("[Debug]\nDbgLevel=2\n[SETUP]\nInterval=45\n[RootPath]\npixelion=/old\n")
            << 45 << "/old"
            << "[Debug]\nDbgLevel=2\n[SETUP]\nInterval=50\n[RootPath]\npixelion=" +
                   cp932(kNewRootPath) + "\n";
        // Only the first block of a section counts, for reading and for writing.
        const QByteArray twice = "[SETUP]\r\nInterval=45\r\n[Debug]\r\nDbgLevel=2\r\n"
                                 "[SETUP]\r\nInterval=99\r\n";
        QTest::newRow("section twice")
            << twice << 45 << QString()
            << QByteArray(twice).replace("Interval=45", "Interval=50") + rootPathSection;
        QTest::newRow("section twice, entry only in the second")
            << QByteArray("[Debug]\r\nDbgLevel=2\r\n[SETUP]\r\nColour=1\r\n"
                          "[SETUP]\r\nInterval=45\r\n")
            << byDefault << QString() << replaced;
        const QByteArray note = "Note=" + QByteArray(10000, 'n') + "\r\n";
        const QString longPath = "/" + QString(9999, QLatin1Char('p'));
        QTest::newRow("values of 10 000 bytes")
            << usable + note + "[RootPath]\r\npixelion=" + longPath.toLatin1() + "\r\n"
            << 45 << longPath.left(255)
            << QByteArray(usable).replace("=45", "=50") + note + rootPathSection;
    }
    void brokenSlideIni() {
        QFETCH(QByteArray, content);
        QFETCH(int, interval);
        QFETCH(QString, rootPath);
        QFETCH(QByteArray, after);
        TestServices::writeBytes(slideIni(), content);
        const QString backup = slideIni() + ".bak";
        TestServices::writeBytes(backup, "an older backup");
        {
            frmStart form;
            QVERIFY(form.Form_Load());
            QVERIFY(ts->messages.isEmpty());
            QCOMPARE(SlideSettings.Interval, interval);
            QCOMPARE(SlideSettings.RootPath, rootPath);
            form.show();
            SlideSettings.Interval = 50;
            SlideSettings.RootPath = kNewRootPath;
            form.close();
        }
        QCOMPARE(TestServices::readBytes(slideIni()), after);
        // A file the default copy replaced is kept, over an older backup, and the log says so.
        const bool replaced = after == defaultAfterShutdown();
        QCOMPARE(TestServices::readBytes(backup), replaced ? content : "an older backup");
        const QString record = "Slide.INIを読み込めなかったため既定の設定に置き換えました。"
                               "元のファイル=[" +
                               backup + "]";
        QCOMPARE(
            TestServices::readCp932(logFolder() + "/20261207_tester_pixelion.dbg").contains(record),
            replaced);
        // The next start reads back what this one stored.
        resetSlideSettings();
        QVERIFY(gbLoadSlideIni());
        QCOMPARE(SlideSettings.Interval, 50);
        QCOMPARE(SlideSettings.RootPath, kNewRootPath);
    }

    void defaultCopyIsNotBackedUp() {
        // What another copy starting for a new user just wrote: nothing of the user's to keep.
        TestServices::writeBytes(slideIni(), defaultSlideIni());
        SlideSettings.IniPath = slideIni();
        QVERIFY(gbCpLocalIni());
        QVERIFY(SlideSettings.IniBackupPath.isEmpty());
        QVERIFY(!QFileInfo::exists(slideIni() + ".bak"));
    }

    void unkeepableSlideIniIsNotReplaced() {
        // A folder where the backup would go: the user's file cannot be kept, so it stays.
        const QByteArray content = "[SETUP]\r\nInterval=2.5s\r\n; mine\r\n";
        TestServices::writeBytes(slideIni(), content);
        QVERIFY(QDir().mkpath(slideIni() + ".bak"));
        {
            frmStart form;
            QVERIFY(!form.Form_Load());
            QCOMPARE(ts->messages.size(), 1);
            QCOMPARE(ts->messages[0].title, QStringLiteral("起動エラー"));
        }
        QCOMPARE(TestServices::readBytes(slideIni()), content);
    }

    void brokenSettingIni_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QPoint>("place"); // the window's top-left as read, twips
        // The file after shutdown, with "@" for the entry the window stores.
        QTest::addColumn<QByteArray>("after");

        const QByteArray entry = cp932(kWinPosKey) + "=@";
        const QByteArray section = "[Window_Pos]\r\n" + entry + "\r\n";
        const QPoint byDefault(1005, 1005); // 1000 twips is 66.7 pixels: the window is at 67
        QTest::newRow("empty") << QByteArray() << byDefault << section;
        const QByteArray junk = garbage(3, 1024);
        QTest::newRow("binary garbage") << junk << byDefault << junk + "\r\n" + section;
        const QByteArray utf8Entry = kWinPosKey.toUtf8() + "=1500,1200,9000,6000\r\n";
        QTest::newRow("UTF-8 byte-order mark")
            << "\xEF\xBB\xBF[Window_Pos]\r\n" + utf8Entry << byDefault
            << "\xEF\xBB\xBF[Window_Pos]\r\n" + utf8Entry + section;
        QTest::newRow("LF line ends")
            << "[Window_Pos]\n" + cp932(kWinPosKey) + "=1500,1200,9000,6000\n"
            << QPoint(1500, 1200) << "[Window_Pos]\n" + entry + "\n";
        const QByteArray second =
            "[Window_Pos]\r\n" + cp932(kWinPosKey) + "=1500,1200,9000,6000\r\n";
        QTest::newRow("section twice, entry only in the second")
            << "[Window_Pos]\r\nother=1\r\n" + second << byDefault
            << "[Window_Pos]\r\nother=1\r\n" + entry + "\r\n" + second;
        QTest::newRow("value of 10 000 bytes")
            << "[Window_Pos]\r\n" + cp932(kWinPosKey) + "=1500,1200,9000,6000," +
                   QByteArray(10000, '7') + "\r\n"
            << QPoint(1500, 1200) << section;
        QTest::newRow("fields that are not numbers")
            << "[Window_Pos]\r\n" + cp932(kWinPosKey) + "=x,y,9000,6000\r\n"
            << QPoint(0, 0) << section;
    }
    void brokenSettingIni() {
        QFETCH(QByteArray, content);
        QFETCH(QPoint, place);
        QFETCH(QByteArray, after);
        TestServices::writeCp932(slideIni(), "[Debug]\r\nDbgLevel=0\r\n[SETUP]\r\nInterval=30\r\n");
        TestServices::writeBytes(settingIni(), content);
        QString stored;
        {
            frmStart form;
            QVERIFY(form.Form_Load());
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.frameGeometry().topLeft() * 15, place);
            // Never smaller than the smallest window, whatever the file said.
            QVERIFY(form.frameGeometry().width() * 15 >= 6000);
            QVERIFY(form.frameGeometry().height() * 15 >= 4500);
            stored = storedRect(form);
            form.close();
        }
        QCOMPARE(TestServices::readBytes(settingIni()), after.replace("@", stored.toLatin1()));
    }

    // A log that fails makes each operation that logs fail at its record; the program keeps
    // running, loses no setting, and works again once the log can be written.
    void unwritableLogWhileRunning_data() {
        QTest::addColumn<QString>("failure");
        QTest::newRow("read-only Log folder, new day") << "read-only";
        QTest::newRow("disk full") << "full";
    }
    void unwritableLogWhileRunning() {
        QFETCH(QString, failure);
        QTemporaryDir pics;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QVERIFY(image.save(pics.path() + "/" + name, "JPG"));
        }
        TestServices::writeCp932(slideIni(), "[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=1\r\n");
        ts->commandLineText = pics.path() + "/a.jpg";
        frmStart form;
        QVERIFY(form.Form_Load());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.tmrSlideShow->isActive());
        QCOMPARE(form.lblCnt->text(), QStringLiteral("1 / 3"));

        const QString dayFile = logFolder() + "/20261207_tester_pixelion.dbg";
        QVERIFY(QFileInfo(dayFile).isFile());
        bool immutable = false;
        const auto breakLog = [&] {
            if (failure == "read-only") {
                ts->clock = ts->clock.addDays(1); // the record needs a new day file
                return makeFolderReadOnly(logFolder(), immutable);
            }
            QFile::rename(dayFile, dayFile + ".kept");
            return QFile::link(QStringLiteral("/dev/full"), dayFile);
        };
        const auto repairLog = [&] {
            if (failure == "read-only") {
                makeFolderWritable(logFolder(), immutable);
                ts->clock = ts->clock.addDays(-1);
            } else {
                QFile::remove(dayFile);
                QFile::rename(dayFile + ".kept", dayFile);
            }
        };
        auto restore = qScopeGuard([&] { makeFolderWritable(logFolder(), immutable); });
        if (!breakLog())
            QSKIP("no way to make a folder read-only here");
        if (failure == "full" && !QFile(dayFile).open(QIODevice::Append))
            QSKIP("no /dev/full here");

        // Each tick fails at its first record, before it moves on.
        QSignalSpy ticks(form.tmrSlideShow, &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 10000);
        QCOMPARE(gnShowNo, 0);
        QCOMPARE(form.lblCnt->text(), QStringLiteral("1 / 3"));
        QVERIFY(form.tmrSlideShow->isActive());
        // So does a click: Stop logs before it stops anything.
        QTest::mouseClick(form.cmdPlayer[1], Qt::LeftButton);
        QVERIFY(form.tmrSlideShow->isActive());
        QVERIFY(ts->messages.isEmpty());

        repairLog();
        QTRY_VERIFY_WITH_TIMEOUT(gnShowNo != 0, 10000);
        QTest::mouseClick(form.cmdPlayer[1], Qt::LeftButton);
        QVERIFY(!form.tmrSlideShow->isActive());

        // The exit commands still close, though their own record fails (終了 for one kind of
        // failure, ファイル → 終了 for the other); closing still stores what the run changed,
        // and only the end of the log is missing.
        QVERIFY(breakLog());
        const QByteArray logBefore =
            TestServices::readBytes(failure == "full" ? dayFile + ".kept" : dayFile);
        if (failure == "read-only")
            QTest::mouseClick(form.cmdEnd, Qt::LeftButton);
        else
            form.mnuEnd->trigger();
        QVERIFY(form.isUnloaded());
        QVERIFY(!form.isVisible());
        resetSlideSettings();
        QVERIFY(gbLoadSlideIni());
        QCOMPARE(SlideSettings.RootPath, pics.path());
        QVERIFY(TestServices::readCp932(settingIni()).startsWith("[Window_Pos]\r\n" + kWinPosKey));
        QCOMPARE(TestServices::readBytes(failure == "full" ? dayFile + ".kept" : dayFile),
                 logBefore);
        QVERIFY(ts->messages.isEmpty());
    }

    // At start-up a log that cannot be opened ends start-up without a message; a level that
    // writes nothing never touches the folder.
    void readOnlyLogFolderAtStartup_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("starts");
        QTest::newRow("level 0 writes no log") << 0 << true;
        QTest::newRow("level 1 must open the log") << 1 << false;
    }
    void readOnlyLogFolderAtStartup() {
        QFETCH(int, level);
        QFETCH(bool, starts);
        const QString original = "[Debug]\r\nDbgLevel=" + QString::number(level) +
                                 "\r\n[SETUP]\r\nInterval=45\r\n[RootPath]\r\npixelion=/old\r\n";
        TestServices::writeCp932(slideIni(), original);
        QVERIFY(QDir().mkpath(logFolder()));
        bool immutable = false;
        auto restore = qScopeGuard([&] { makeFolderWritable(logFolder(), immutable); });
        if (!makeFolderReadOnly(logFolder(), immutable))
            QSKIP("no way to make a folder read-only here");
        {
            frmStart form;
            QCOMPARE(form.Form_Load(), starts);
            QCOMPARE(form.isUnloaded(), !starts);
            form.close();
        }
        QVERIFY(ts->messages.isEmpty());
        QVERIFY(QDir(logFolder()).isEmpty());
        // The settings went through a normal shutdown: still whole and unchanged.
        QCOMPARE(TestServices::readCp932(slideIni()), original);
    }
};

QTEST_MAIN(BadSettingsTest)
#include "tst_badsettings.moc"
