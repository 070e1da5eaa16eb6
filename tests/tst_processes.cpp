// The real program as a process: ended by signals, killed while it stores its settings, and two
// copies started and closed at once over the same per-user files.
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <latch>
#include <thread>

#ifdef Q_OS_LINUX
#include <csignal>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

#include "Cp932.h"
#include "ProfileFile.h"
#include "TestServices.h"
#include "mdlComSlideIni.h"

namespace {

const QString kWinPosKey = QStringLiteral("pixelion-スライド画面");
const QByteArray kPrepared =
    "; 手で書いたメモ\r\n[Debug]\r\nDbgLevel=2\r\n[SETUP]\r\nInterval=1000\r\n"
    "[Other]\r\nx=表示\r\n";

QByteArray cp932(const QString& text) {
    return platform::toCp932(text);
}

QByteArray iniValue(const QString& file, const char* section, const QByteArray& key) {
    return platform::getPrivateProfileString(section, key, QByteArray(), file);
}

// Seed of the random choices: PIXELION_TEST_SEED repeats a run.
quint32 testSeed() {
    bool ok = false;
    const quint32 given = qEnvironmentVariable("PIXELION_TEST_SEED").toUInt(&ok);
    const quint32 seed = ok ? given : QRandomGenerator::global()->generate();
    qInfo("seed %u (set PIXELION_TEST_SEED=%u to repeat)", seed, seed);
    return seed;
}

#ifdef Q_OS_LINUX
// True once the process has its own handler for the signal: from then on a termination
// request closes the window instead of killing the process.
bool handlesSignal(qint64 pid, int sig) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
    }
    return false;
}

bool isStopped(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "T";
}

// Watches a folder for the changes a settings write makes.
class FolderWatch {
public:
    explicit FolderWatch(const QString& folder) {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                              IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_ATTRIB | IN_DELETE);
    }
    ~FolderWatch() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool isValid() const { return m_fd >= 0; }
    // Waits for the next `count` events; fewer when none comes for half a second.
    int waitFor(int count) {
        int seen = 0;
        while (seen < count) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 500) <= 0)
                break;
            alignas(inotify_event) char buffer[4096];
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + e->len);
                ++seen;
            }
        }
        return seen;
    }

private:
    int m_fd = -1;
};
#endif

} // namespace

class ProcessesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home; // USERPROFILE
    std::unique_ptr<QTemporaryDir> pics;
    std::unique_ptr<QTemporaryDir> outputs; // what the programs print
    QRandomGenerator random;
    int launched = 0;

    QString userFolder() const { return home->path() + "/ピクセリオン"; }
    QString slideIni() const { return userFolder() + "/Slide.INI"; }
    QString settingIni() const { return userFolder() + "/Setting.INI"; }
    QString picture(const QString& folder) const { return pics->path() + "/" + folder + "/a.jpg"; }
    QString folderOf(const QString& folder) const { return pics->path() + "/" + folder; }

    std::unique_ptr<QProcess> launch(const QString& picturePath) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("USERPROFILE", home->path());
        env.insert("LC_ALL", "C.UTF-8");
        process->setProcessEnvironment(env);
        const QString output = outputs->path() + "/" + QString::number(++launched);
        process->setStandardOutputFile(output + ".out");
        process->setStandardErrorFile(output + ".err");
        process->setProperty("stderr", output + ".err");
        process->start(QStringLiteral(PIXELION_EXE), {picturePath});
        return process;
    }

    // Waits until the program is up, its window loaded and termination requests handled.
    void waitUntilUp(QProcess& process) {
        QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
#ifdef Q_OS_LINUX
        QTRY_VERIFY_WITH_TIMEOUT(process.state() != QProcess::Running ||
                                     handlesSignal(process.processId(), SIGTERM),
                                 20000);
#endif
        QVERIFY2(process.state() == QProcess::Running,
                 qPrintable(QStringLiteral("ended at start (status %1, code %2); it said: %3")
                                .arg(process.exitStatus())
                                .arg(process.exitCode())
                                .arg(QString::fromUtf8(TestServices::readBytes(
                                    process.property("stderr").toString())))));
    }

    void finish(QProcess& process) {
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            QFAIL(qPrintable("still running; it said: " +
                             TestServices::readBytes(process.property("stderr").toString())));
        }
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 qPrintable(QStringLiteral("ended with status %1, code %2; it said: %3")
                                .arg(process.exitStatus())
                                .arg(process.exitCode())
                                .arg(QString::fromUtf8(TestServices::readBytes(
                                    process.property("stderr").toString())))));
    }

    // Every record of the log folder, by the process that wrote it; fails on a torn record.
    QMap<qint64, QStringList> logRecords() {
        static const QRegularExpression record(
            QStringLiteral("^(\\d+) \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)$"));
        QMap<qint64, QStringList> byPid;
        QDirIterator it(userFolder() + "/Log", {"*.dbg"}, QDir::Files);
        while (it.hasNext()) {
            const QString text = TestServices::readCp932(it.next());
            [&] { QVERIFY2(text.endsWith("\r\n"), qPrintable(it.filePath())); }();
            for (const QString& line : text.split("\r\n", Qt::SkipEmptyParts)) {
                const QRegularExpressionMatch m = record.match(line);
                [&] { QVERIFY2(m.hasMatch(), qPrintable("torn record: " + line)); }();
                if (!m.hasMatch())
                    return {};
                byPid[m.captured(1).toLongLong()] << m.captured(2);
            }
        }
        return byPid;
    }

private Q_SLOTS:
    void initTestCase() {
#ifndef Q_OS_LINUX
        QSKIP("signals, /proc and inotify are Linux's");
#endif
        random.seed(testSeed());
    }

    void init() {
        home = std::make_unique<QTemporaryDir>();
        pics = std::make_unique<QTemporaryDir>();
        outputs = std::make_unique<QTemporaryDir>();
        for (const char* folder : {"A", "BBBBBB"}) {
            QVERIFY(QDir().mkpath(folderOf(folder)));
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QVERIFY(image.save(picture(folder), "JPG"));
        }
        QVERIFY(QDir().mkpath(userFolder()));
        TestServices::writeBytes(slideIni(), kPrepared);
    }
    void cleanup() {
        home.reset();
        pics.reset();
        outputs.reset();
    }

    // Two copies starting at the same moment for a new user both create the per-user folder:
    // neither may fail because the other was first (it would refuse to start).
    void userFolderMadeByTwoAtOnce() {
        TestServices ts;
        const int rounds = 300;
        int failures = 0;
        for (int round = 0; round < rounds; ++round) {
            QVERIFY(QDir(ts.userDataFolder()).removeRecursively());
            std::latch ready(2);
            std::atomic<int> failed = 0;
            const auto start = [&] {
                ready.arrive_and_wait();
                try {
                    gsGetUserDataFolder();
                } catch (const std::exception&) {
                    ++failed;
                }
            };
            std::thread first(start), second(start);
            first.join();
            second.join();
            failures += failed;
            QVERIFY(QFileInfo(ts.userDataFolder()).isDir());
        }
        QCOMPARE(failures, 0);
    }

#ifdef Q_OS_LINUX
    // A request to end from outside closes the window through its unload: the settings are
    // written back and the log ends with its banner.
    void endedBySignal_data() {
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("showRunning");
        const QList<QPair<int, QString>> signals_ = {
            {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP, the session ending"}};
        for (const auto& [sig, name] : signals_) {
            QTest::addRow("%s as soon as it listens", qPrintable(name)) << sig << false;
            QTest::addRow("%s while the show runs", qPrintable(name)) << sig << true;
        }
    }
    void endedBySignal() {
        QFETCH(int, sig);
        QFETCH(bool, showRunning);
        if (showRunning)
            TestServices::writeBytes(slideIni(),
                                     "[Debug]\r\nDbgLevel=3\r\n[SETUP]\r\nInterval=1\r\n");
        // As soon as it listens, the window may still be laying out its first picture; that
        // moment comes only now and then, so it is tried a few times.
        const int runs = showRunning ? 1 : 5;
        for (int run = 0; run < runs; ++run) {
            const QString folder = run % 2 ? "BBBBBB" : "A";
            auto process = launch(picture(folder));
            waitUntilUp(*process);
            if (QTest::currentTestFailed())
                return;
            const qint64 pid = process->processId();
            if (showRunning) {
                const auto slidesShown = [&] {
                    return logRecords().value(pid).filter("] SlideShow_File=[").size();
                };
                QTRY_VERIFY_WITH_TIMEOUT(slidesShown() >= 3, 20000);
            }
            QVERIFY(::kill(pid, sig) == 0);
            finish(*process);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(iniValue(slideIni(), "RootPath", "pixelion"), cp932(folderOf(folder)));
            QVERIFY(!iniValue(settingIni(), "Window_Pos", cp932(kWinPosKey)).isEmpty());
            const QStringList records = logRecords().value(pid);
            QVERIFY(!records.isEmpty());
            QCOMPARE(records.last(),
                     QStringLiteral("=-=-=-=-=-=【pixelionアプリケーション終了】=-=-=-=-=-="));
        }
    }

    // A request to end while an error box is open closes the box and the window through the
    // normal unload, whether the box came at start-up (the first picture broken) or from the
    // running show (a later picture broken); the process does not wait for someone to click.
    void signalClosesAnOpenBox_data() {
        QTest::addColumn<bool>("atStartUp");
        QTest::newRow("the first picture broken, at start-up") << true;
        QTest::newRow("a later picture broken, while the show runs") << false;
    }
    void signalClosesAnOpenBox() {
        QFETCH(bool, atStartUp);
        TestServices::writeBytes(slideIni(), "[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=3\r\n");
        const QString broken = folderOf("A") + (atStartUp ? "/0.jpg" : "/b.jpg");
        TestServices::writeBytes(broken, QByteArray("\xFF\xD8\xFF\xC0\x00\x11\x08", 7) +
                                             QByteArray(64, '\x55'));
        auto process = launch(atStartUp ? broken : picture("A"));
        waitUntilUp(*process);
        if (QTest::currentTestFailed())
            return;
        const qint64 pid = process->processId();
        QTRY_VERIFY_WITH_TIMEOUT(!logRecords().value(pid).filter("fbShowPic() Err").isEmpty(),
                                 20000);
        QVERIFY(::kill(pid, SIGTERM) == 0);
        finish(*process);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(!iniValue(settingIni(), "Window_Pos", cp932(kWinPosKey)).isEmpty());
        const QStringList records = logRecords().value(pid);
        QCOMPARE(records.last(),
                 QStringLiteral("=-=-=-=-=-=【pixelionアプリケーション終了】=-=-=-=-=-="));
    }

    // A second request while the first is still being handled ends the process at once.
    void secondSignalEndsAtOnce() {
        auto process = launch(picture("A"));
        waitUntilUp(*process);
        if (QTest::currentTestFailed())
            return;
        const qint64 pid = process->processId();
        // It listens before its log is open; this is about a log that was begun.
        QTRY_VERIFY_WITH_TIMEOUT(!logRecords().value(pid).isEmpty(), 20000);
        // Stopped, both requests are pending together when it goes on.
        QVERIFY(::kill(pid, SIGSTOP) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(isStopped(pid), 10000);
        QVERIFY(::kill(pid, SIGTERM) == 0);
        QVERIFY(::kill(pid, SIGINT) == 0);
        QVERIFY(::kill(pid, SIGCONT) == 0);
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QVERIFY2(process->exitCode() == 128 + SIGTERM || process->exitCode() == 128 + SIGINT,
                 qPrintable(QString::number(process->exitCode())));
        // Nothing of the unload ran.
        QCOMPARE(TestServices::readBytes(slideIni()), kPrepared);
        QVERIFY(!QFileInfo::exists(settingIni()));
        const QStringList records = logRecords().value(pid);
        QVERIFY(!records.isEmpty());
        QVERIFY(!records.last().contains(QStringLiteral("アプリケーション終了")));
    }

    // Killed at random moments while it writes its settings at shutdown, the program always
    // leaves each settings file either as it was or as it meant to write it, whole.
    void killedWhileStoringSettings() {
        static const QRegularExpression newEntry(QStringLiteral("^%1=(\\d+),(\\d+),(\\d+),(\\d+)$")
                                                     .arg(QRegularExpression::escape(kWinPosKey)));
        struct Run {
            QString folder; // of the picture named: the RootPath the shutdown stores
            QByteArray oldSlide, newSlide;
            QString oldEntry;
            QByteArray oldSetting;
        };
        // Each run changes both files: another folder than the one stored, and a window
        // smaller than the smallest one, whose enlarged size the shutdown stores.
        const auto prepare = [&](int i) {
            Run run;
            run.folder = iniValue(slideIni(), "RootPath", "pixelion") == cp932(folderOf("A"))
                             ? QStringLiteral("BBBBBB")
                             : QStringLiteral("A");
            run.oldSlide = TestServices::readBytes(slideIni());
            const QString scratch = outputs->path() + "/expected.INI";
            TestServices::writeBytes(scratch, run.oldSlide);
            platform::writePrivateProfileString("RootPath", "pixelion", cp932(folderOf(run.folder)),
                                                scratch);
            platform::writePrivateProfileString("SETUP", "Interval", "1000", scratch);
            run.newSlide = TestServices::readBytes(scratch);
            run.oldEntry =
                QStringLiteral("%1=%2,1200,2000,2000").arg(kWinPosKey).arg(1500 + 15 * i);
            run.oldSetting = cp932("; 手で書いたメモ\r\n[Window_Pos]\r\n" + run.oldEntry +
                                   "\r\n[Other]\r\nx=1\r\n");
            TestServices::writeBytes(settingIni(), run.oldSetting);
            return run;
        };

        // One run without the kill: how many changes a shutdown makes in the folder.
        int changes = 0;
        {
            const Run run = prepare(0);
            QVERIFY(run.newSlide != run.oldSlide);
            auto process = launch(picture(run.folder));
            waitUntilUp(*process);
            if (QTest::currentTestFailed())
                return;
            FolderWatch watch(userFolder());
            QVERIFY(watch.isValid());
            QVERIFY(::kill(process->processId(), SIGTERM) == 0);
            changes = watch.waitFor(1000);
            finish(*process);
            QCOMPARE(TestServices::readBytes(slideIni()), run.newSlide);
        }
        QVERIFY2(changes >= 2, qPrintable(QString::number(changes)));

        const int iterations = 40;
        int killed = 0, slideNew = 0, settingNew = 0;
        for (int i = 1; i <= iterations; ++i) {
            const Run run = prepare(i);
            auto process = launch(picture(run.folder));
            waitUntilUp(*process);
            if (QTest::currentTestFailed())
                return;
            {
                FolderWatch watch(userFolder());
                QVERIFY(watch.isValid());
                QVERIFY(::kill(process->processId(), SIGTERM) == 0);
                watch.waitFor(int(random.bounded(changes + 1)));
                ::kill(process->processId(), SIGKILL);
            }
            QVERIFY(process->waitForFinished(20000));
            killed += process->exitStatus() == QProcess::CrashExit;

            const QByteArray slide = TestServices::readBytes(slideIni());
            QVERIFY2(slide == run.oldSlide || slide == run.newSlide,
                     qPrintable(QStringLiteral("run %1: Slide.INI is neither: %2")
                                    .arg(i)
                                    .arg(QString::fromLatin1(slide.toPercentEncoding()))));
            slideNew += slide == run.newSlide;

            const QByteArray setting = TestServices::readBytes(settingIni());
            if (setting != run.oldSetting) {
                QStringList lines = platform::fromCp932(setting).split("\r\n");
                QCOMPARE(lines.size(), 6);
                const QRegularExpressionMatch m = newEntry.match(lines[2]);
                QVERIFY2(m.hasMatch() && m.captured(3).toInt() >= 6000,
                         qPrintable(QStringLiteral("run %1: %2").arg(i).arg(lines[2])));
                lines[2] = run.oldEntry;
                QCOMPARE(cp932(lines.join("\r\n")), run.oldSetting);
                ++settingNew;
            }
        }
        qInfo("%d runs killed at one of the %d changes of their shutdown (%d before they ended); "
              "Slide.INI left new %d times, Setting.INI %d times, old and whole otherwise",
              iterations, changes, killed, slideNew, settingNew);
        QVERIFY(killed > 0);
    }

    // Two copies started, run and closed at once share the per-user files: no file is torn,
    // no log record is lost, and every file still loads.
    void twoCopiesAtOnce() {
        // Records one run writes, for a new user (the default copy) and for a prepared one.
        QMap<bool, int> recordsPerRun;
        for (bool fresh : {true, false}) {
            if (fresh)
                QVERIFY(QDir(userFolder()).removeRecursively());
            else
                TestServices::writeBytes(slideIni(), kPrepared);
            auto process = launch(picture("A"));
            waitUntilUp(*process);
            if (QTest::currentTestFailed())
                return;
            const qint64 pid = process->processId();
            QVERIFY(::kill(pid, SIGTERM) == 0);
            finish(*process);
            recordsPerRun[fresh] = int(logRecords().value(pid).size());
            QVERIFY(recordsPerRun[fresh] >= 3); // two opening lines and the end banner
            QVERIFY(QDir(userFolder() + "/Log").removeRecursively());
        }

        const QByteArray byDefault = TestServices::readBytes(
            QFileInfo(QStringLiteral(PIXELION_EXE)).absolutePath() + "/Slide.INI");
        const QRegularExpression settingFile(
            QStringLiteral("^\\[Window_Pos\\]\r\n%1=\\d+,\\d+,\\d+,\\d+\r\n$")
                .arg(QRegularExpression::escape(kWinPosKey)));
        const int pairs = 20;
        for (int i = 0; i < pairs; ++i) {
            const bool fresh = i % 2 == 0;
            QVERIFY(QDir(fresh ? userFolder() : userFolder() + "/Log").removeRecursively());
            if (!fresh) {
                QVERIFY(QFile::remove(settingIni()));
                TestServices::writeBytes(slideIni(), kPrepared);
            }
            auto first = launch(picture("A"));
            auto second = launch(picture("BBBBBB"));
            waitUntilUp(*first);
            waitUntilUp(*second);
            if (QTest::currentTestFailed())
                return;
            const qint64 pids[2] = {first->processId(), second->processId()};
            QVERIFY(::kill(pids[0], SIGTERM) == 0);
            QVERIFY(::kill(pids[1], SIGTERM) == 0);
            finish(*first);
            finish(*second);

            // The last one to close wrote last; either way the file is whole.
            const QByteArray base = fresh ? byDefault : kPrepared;
            const QByteArray slide = TestServices::readBytes(slideIni());
            QVERIFY2(slide == base + cp932("[RootPath]\r\npixelion=" + folderOf("A") + "\r\n") ||
                         slide ==
                             base + cp932("[RootPath]\r\npixelion=" + folderOf("BBBBBB") + "\r\n"),
                     qPrintable(QStringLiteral("pair %1: %2")
                                    .arg(i)
                                    .arg(QString::fromLatin1(slide.toPercentEncoding()))));
            const QString setting = TestServices::readCp932(settingIni());
            QVERIFY2(settingFile.match(setting).hasMatch(), qPrintable(setting));

            const QMap<qint64, QStringList> records = logRecords();
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(records.size(), 2);
            for (const qint64 pid : pids) {
                const QStringList own = records.value(pid);
                QCOMPARE(own.size(), recordsPerRun[fresh]);
                QVERIFY(own.first().contains(QStringLiteral("アプリケーション開始")));
                QVERIFY(own.last().contains(QStringLiteral("アプリケーション終了")));
            }
        }
        qInfo("%d pairs (%d of them a new user's first start), %d and %d records per run, none "
              "lost, no file torn",
              pairs, (pairs + 1) / 2, recordsPerRun[true], recordsPerRun[false]);
    }
#endif
};

QTEST_GUILESS_MAIN(ProcessesTest)
#include "tst_processes.moc"
