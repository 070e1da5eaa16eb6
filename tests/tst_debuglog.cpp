#include <QtTest>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>

#include "Cp932.h"
#include "Error.h"
#include "TestServices.h"
#include "mdlComApi.h"
#include "mdlComDebug.h"

namespace {

const QString kPrefix = QStringLiteral("4012 2026/12/07 22:38:42 ");
const QString kStartBanner = QStringLiteral("=-=-=-=-=-=【viewerアプリケーション開始】=-=-=-=-=-=");
const QString kEndBanner = QStringLiteral("=-=-=-=-=-=【viewerアプリケーション終了】=-=-=-=-=-=");
const QString kDayFile = QStringLiteral("20261207_user1_viewer.dbg");

// One run of the program as the log sees it: process 4012 of "viewer", run by user1, at a
// fixed moment, with the log under a fresh temporary profile folder.
struct LogFixture {
    TestServices ts;

    // TestServices also starts the log afresh.
    LogFixture() {
        ts.clock = QDateTime(QDate(2026, 12, 7), QTime(22, 38, 42));
        ts.userName = QStringLiteral("user1");
        ts.pid = 4012;
        ts.programPath = ts.programDir.path() + QStringLiteral("/viewer");
    }

    QString base() const { return ts.profileFolder; }
    QString logDir() const { return base() + QStringLiteral("/Log"); }
    QString logFile(const QString& name) const { return logDir() + u'/' + name; }

    void open(int level, qint32 keep = 0) {
        gDebugLog(97, QString(), qint16(level), QStringLiteral("user1"), keep, 4012, base());
    }

    // The lines of a log file; every line must end in CR LF.
    static QStringList lines(const QString& path) {
        const QString text = TestServices::readCp932(path);
        if (text.isEmpty())
            return {};
        if (!text.endsWith(QStringLiteral("\r\n")))
            return {QStringLiteral("<no CR LF at the end>")};
        QStringList result = text.split(QStringLiteral("\r\n"));
        result.removeLast();
        return result;
    }

    static QString header(int level, const QString& user = QStringLiteral("user1"), int keep = 0) {
        return QStringLiteral("[viewer]  Pid=[4012] DebugLevel=[%1] DebugNum=[%2] UserName=[%3] ")
            .arg(level)
            .arg(keep)
            .arg(user);
    }
};

void touch(const QString& path, const QByteArray& content = QByteArray()) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

} // namespace

class TestDebugLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneRunAtLevel4();
    void levelFilter_data();
    void levelFilter();
    void openValues_data();
    void openValues();
    void userName_data();
    void userName();
    void recordAfterMidnightGoesToNextDay();
    void pruning_data();
    void pruning();
    void sortFileList_data();
    void sortFileList();
    void writeFailures_data();
    void writeFailures();
};

void TestDebugLog::oneRunAtLevel4() {
    LogFixture f;
    QString user, folder;
    qint32 pid = 0;
    gGetUserInfo(user, pid, folder);
    QCOMPARE(user, QStringLiteral("user1"));
    QCOMPARE(pid, 4012);
    QCOMPARE(folder, f.ts.userDataFolder());

    gDebugLog(97, QString(), 4, user, 0, pid, folder);
    const QString path = folder + QStringLiteral("/Log/") + kDayFile;
    QCOMPARE(debugLogState().LogFilePath, path);
    QVERIFY(!debugLogState().bLogFileExisted); // the first record creates the file

    f.ts.clock = QDateTime(QDate(2026, 12, 7), QTime(22, 38, 50));
    gDebugLog(4, QStringLiteral("cmdEnd_Click()."));
    QVERIFY(debugLogState().bLogFileExisted); // later ones append to it
    gDebugLog(99, QString());

    const QString expected = QStringLiteral(
        "4012 2026/12/07 22:38:42 =-=-=-=-=-=【viewerアプリケーション開始】=-=-=-=-=-=\r\n"
        "4012 2026/12/07 22:38:42 [viewer]  Pid=[4012] DebugLevel=[4] DebugNum=[0] "
        "UserName=[user1] \r\n"
        "4012 2026/12/07 22:38:50 [viewer] cmdEnd_Click().\r\n"
        "4012 2026/12/07 22:38:50 =-=-=-=-=-=【viewerアプリケーション終了】=-=-=-=-=-=\r\n");
    const QByteArray written = TestServices::readBytes(path);
    QCOMPARE(written, platform::toCp932(expected));
    // 【 in code page 932, followed by the program name: not UTF-8 on disk.
    QVERIFY(written.contains(QByteArray("\x81\x79viewer")));

    const DebugLogStateRecord& s = debugLogState();
    QCOMPARE(s.AppName, QStringLiteral("viewer"));
    QCOMPARE(s.UserName, QStringLiteral("user1"));
    QCOMPARE(s.DebugLevel, 4);
    QCOMPARE(s.DebugNum, 0);
    QCOMPARE(s.Pid, 4012);
    QCOMPARE(s.LogFolder, folder);
}

void TestDebugLog::levelFilter_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<QList<int>>("tracesWritten");
    QTest::newRow("0 writes nothing") << 0 << QList<int>{};
    QTest::newRow("-1 writes nothing") << -1 << QList<int>{};
    QTest::newRow("1") << 1 << QList<int>{1};
    QTest::newRow("2") << 2 << QList<int>{1, 2};
    QTest::newRow("4") << 4 << QList<int>{1, 2, 3, 4};
    QTest::newRow("32767") << 32767 << QList<int>{1, 2, 3, 4};
}

void TestDebugLog::levelFilter() {
    QFETCH(int, level);
    QFETCH(QList<int>, tracesWritten);
    LogFixture f;

    f.open(level);
    for (int kind : {0, 1, 2, 3, 4, 5, 98, 100, -1})
        gDebugLog(qint16(kind), QStringLiteral("kind %1").arg(kind));
    gDebugLog(99, QString());

    if (level <= 0) {
        QVERIFY(!QFileInfo::exists(f.logDir())); // not even the folder
        return;
    }
    QStringList expected{kPrefix + kStartBanner, kPrefix + LogFixture::header(level)};
    for (int kind : tracesWritten)
        expected << kPrefix + QStringLiteral("[viewer] kind %1").arg(kind);
    expected << kPrefix + kEndBanner;
    QCOMPARE(LogFixture::lines(f.logFile(kDayFile)), expected);
}

void TestDebugLog::openValues_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("inProgramFolder");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("emptyTrace");

    QTest::newRow("empty user and folder")
        << QString() << QString() << true << QStringLiteral("20261207_DEFAULT_USER_viewer.dbg")
        << LogFixture::header(1, QStringLiteral("DEFAULT_USER")) << QStringLiteral("[viewer] ");
    QTest::newRow("program name given")
        << QStringLiteral("slides") << QStringLiteral("user1") << false
        << QStringLiteral("20261207_user1_slides.dbg")
        << QStringLiteral("[slides] slides Pid=[4012] DebugLevel=[1] DebugNum=[0] "
                          "UserName=[user1] ")
        << QStringLiteral("[slides] ");
}

void TestDebugLog::openValues() {
    QFETCH(QString, text);
    QFETCH(QString, user);
    QFETCH(bool, inProgramFolder);
    QFETCH(QString, fileName);
    QFETCH(QString, header);
    QFETCH(QString, emptyTrace);
    LogFixture f;

    gDebugLog(97, text, 1, user, 0, 4012, inProgramFolder ? QString() : f.base());
    gDebugLog(1, QString());

    const QString folder = inProgramFolder ? f.ts.programDir.path() : f.base();
    QCOMPARE(debugLogState().LogFolder, folder);
    const QStringList lines = LogFixture::lines(folder + QStringLiteral("/Log/") + fileName);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1], kPrefix + header);
    QCOMPARE(lines[2], kPrefix + emptyTrace);
}

void TestDebugLog::userName_data() {
    QTest::addColumn<QString>("logon");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lower-cased") << QStringLiteral("User1") << QStringLiteral("user1");
    QTest::newRow("cut at NUL") << QStringLiteral("ABC") + QChar(u'\0') + QStringLiteral("XYZ")
                                << QStringLiteral("abc");
    QTest::newRow("blank inside kept") << QStringLiteral("Jo Ann") << QStringLiteral("jo ann");
    QTest::newRow("failed lookup") << QString() << QString();
}

void TestDebugLog::userName() {
    QFETCH(QString, logon);
    QFETCH(QString, expected);
    LogFixture f;
    f.ts.userName = logon;
    QCOMPARE(gsGetUserName(), expected);
}

void TestDebugLog::recordAfterMidnightGoesToNextDay() {
    LogFixture f;
    f.ts.clock = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59));
    f.open(1);
    f.ts.clock = QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1));
    gDebugLog(1, QStringLiteral("after midnight"));
    gDebugLog(99, QString());

    const QString before = QStringLiteral("4012 2026/12/07 23:59:59 ");
    const QString after = QStringLiteral("4012 2026/12/08 00:00:01 ");
    QCOMPARE(LogFixture::lines(f.logFile(kDayFile)),
             QStringList({before + kStartBanner, before + LogFixture::header(1)}));
    QCOMPARE(LogFixture::lines(f.logFile(QStringLiteral("20261208_user1_viewer.dbg"))),
             QStringList({after + QStringLiteral("[viewer] after midnight"), after + kEndBanner}));
}

void TestDebugLog::pruning_data() {
    QTest::addColumn<int>("keep");
    QTest::addColumn<QStringList>("deleted");

    const QStringList all{
        QStringLiteral("undated1_viewer.dbg"), QStringLiteral(".hidden1_viewer.dbg"),
        QStringLiteral("20261101_viewer.dbg"), QStringLiteral("20261102_viewer.dbg"),
        QStringLiteral("20261103_viewer.dbg")};
    QTest::newRow("keep 0: every selected file") << 0 << all;
    QTest::newRow("keep 2: all but the two newest") << 2 << all.mid(0, 3);
    QTest::newRow("keep 5 of 5: none") << 5 << QStringList();
    QTest::newRow("keep 6 of 5: none") << 6 << QStringList();
    QTest::newRow("negative keep: as 0") << -1 << all;
}

void TestDebugLog::pruning() {
    QFETCH(int, keep);
    QFETCH(QStringList, deleted);
    LogFixture f;

    QVERIFY(QDir().mkpath(f.logDir()));
    const QStringList selected{
        QStringLiteral("20261102_viewer.dbg"), QStringLiteral("20261101_viewer.dbg"),
        QStringLiteral("undated1_viewer.dbg"), QStringLiteral("20261103_viewer.dbg"),
        QStringLiteral(".hidden1_viewer.dbg")};
    const QStringList neverSelected{kDayFile, QStringLiteral("20261206_user1_viewer.dbg"),
                                    QStringLiteral("20261101_other.dbg"),
                                    QStringLiteral("2026110_viewer.dbg")};
    for (const QString& name : selected + neverSelected)
        touch(f.logFile(name), "old\r\n");
    QVERIFY(QDir().mkdir(f.logFile(QStringLiteral("20261104_viewer.dbg")))); // a folder
    QVERIFY(QFile::setPermissions(f.logFile(QStringLiteral("20261101_viewer.dbg")),
                                  QFile::ReadOwner | QFile::ReadUser));

    f.open(1, keep);

    QVERIFY(debugLogState().bLogFileExisted);
    for (const QString& name : selected)
        QVERIFY2(QFileInfo::exists(f.logFile(name)) != deleted.contains(name), qPrintable(name));
    for (const QString& name : neverSelected)
        QVERIFY2(QFileInfo::exists(f.logFile(name)), qPrintable(name));
    QVERIFY(QFileInfo(f.logFile(QStringLiteral("20261104_viewer.dbg"))).isDir());
    // Today's file was appended to, not replaced.
    QCOMPARE(LogFixture::lines(f.logFile(kDayFile)),
             QStringList({QStringLiteral("old"), kPrefix + kStartBanner,
                          kPrefix + LogFixture::header(1, QStringLiteral("user1"), keep)}));
}

void TestDebugLog::sortFileList_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("lo");
    QTest::addColumn<int>("hi");
    QTest::addColumn<QStringList>("sorted");
    QTest::addColumn<bool>("result");

    QTest::newRow("two reversed") << QStringList{"", "20261102_v", "20261101_v"} << 1 << 2
                                  << QStringList{"", "20261101_v", "20261102_v"} << true;
    QTest::newRow("one entry") << QStringList{"", "b"} << 1 << 1 << QStringList{"", "b"} << false;
    QTest::newRow("empty list") << QStringList{""} << 1 << 0 << QStringList{""} << false;
    QTest::newRow("numbers as Val reads them")
        << QStringList{"",           "20261103_v", "abcdefgh_v", "2 026110_v",
                       "20261101_v", "-1000000_v", "1.5e3xyz_v", "0012.5.7_v"}
        << 1 << 7 << QStringList{"",           "-1000000_v", "abcdefgh_v", "0012.5.7_v",
                                 "1.5e3xyz_v", "2 026110_v", "20261101_v", "20261103_v"}
        << true;
    QTest::newRow("reversed dates")
        << QStringList{"",         "20261109", "20261108", "20261107", "20261106",
                       "20261105", "20261104", "20261103", "20261102", "20261101"}
        << 1 << 9 << QStringList{"",         "20261101", "20261102", "20261103", "20261104",
                                 "20261105", "20261106", "20261107", "20261108", "20261109"}
        << true;
    // Equal keys end in the order the middle pivots give: (1+4)/2 -> 2, (3+4)/2 -> 4.
    QTest::newRow("equal keys") << QStringList{"", "a", "b", "c", "d"} << 1 << 4
                                << QStringList{"", "b", "c", "d", "a"} << true;
    QTest::newRow("equal dates")
        << QStringList{"", "20261102_b", "20261101_a", "20261102_a", "20261101_b"} << 1 << 4
        << QStringList{"", "20261101_a", "20261101_b", "20261102_a", "20261102_b"} << true;
    QTest::newRow("part of the list")
        << QStringList{"", "20261109", "20261105", "20261103", "20261104", "20261101"} << 2 << 4
        << QStringList{"", "20261109", "20261103", "20261104", "20261105", "20261101"} << true;
}

void TestDebugLog::sortFileList() {
    QFETCH(QStringList, list);
    QFETCH(int, lo);
    QFETCH(int, hi);
    QFETCH(QStringList, sorted);
    QFETCH(bool, result);
    QCOMPARE(fbSortFileList(list, lo, hi), result);
    QCOMPARE(list, sorted);
}

void TestDebugLog::writeFailures_data() {
    QTest::addColumn<QString>("failure");
    QTest::newRow("base folder missing") << QStringLiteral("missing base");
    QTest::newRow("plain file named Log") << QStringLiteral("file in the way");
    QTest::newRow("day file is a folder") << QStringLiteral("day file folder");
    QTest::newRow("old file cannot be deleted") << QStringLiteral("undeletable");
    QTest::newRow("keep count beyond 16 bits") << QStringLiteral("keep count");
}

void TestDebugLog::writeFailures() {
    QFETCH(QString, failure);
    LogFixture f;
    QString folder = f.base();
    qint32 keep = 0;
    const QString oldFile = f.logFile(QStringLiteral("20261101_viewer.dbg"));
    bool immutable = false;
    auto restore = qScopeGuard([&] {
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), oldFile});
        QFile::setPermissions(f.logDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });

    if (failure == QStringLiteral("missing base")) {
        folder = f.base() + QStringLiteral("/missing");
    } else if (failure == QStringLiteral("file in the way")) {
        touch(f.logDir());
    } else if (failure == QStringLiteral("day file folder")) {
        QVERIFY(QDir().mkpath(f.logFile(kDayFile)));
    } else if (failure == QStringLiteral("undeletable")) {
        QVERIFY(QDir().mkpath(f.logDir()));
        touch(oldFile);
        touch(f.logFile(kDayFile));
        QVERIFY(QFile::setPermissions(f.logDir(), QFile::ReadOwner | QFile::ExeOwner));
        if (QFile(f.logFile(QStringLiteral("probe"))).open(QIODevice::WriteOnly)) {
            // Permissions do not stop the superuser; an immutable file does.
            QVERIFY(QFile::setPermissions(f.logDir(),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QVERIFY(QFile::remove(f.logFile(QStringLiteral("probe"))));
            immutable =
                QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), oldFile}) == 0;
            if (!immutable)
                QSKIP("no way to make a file undeletable here");
        }
    } else if (failure == QStringLiteral("keep count")) {
        keep = 40000;
    }

    QVERIFY_THROWS_EXCEPTION(
        platform::RuntimeError,
        gDebugLog(97, QString(), 4, QStringLiteral("user1"), keep, 4012, folder));
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, gDebugLog(1, QStringLiteral("trace")));
    // The level filter runs before any file work: a dropped record cannot fail.
    gDebugLog(100, QStringLiteral("never written"));
}

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
