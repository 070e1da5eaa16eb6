// The window position store: reading an entry back (splitting, default, pulling onto the
// screen) and the rules for writing one.
#include <QFile>
#include <QtTest>

#include "Cp932.h"
#include "ProfileFile.h"
#include "TestServices.h"
#include "mdlComWinPos.h"

Q_DECLARE_METATYPE(WinPos)

namespace QTest {
template <> char* toString(const WinPos& p) {
    return qstrdup(QStringLiteral("%1,%2,%3,%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]).toUtf8());
}
} // namespace QTest

namespace {

const QString kMain = QStringLiteral("スライド画面");
const QString kOption = QStringLiteral("設定画面");
const QByteArray kMissing = "<missing>";

QString settingIni(const TestServices& ts) {
    return ts.userDataFolder() + "/Setting.INI";
}

// Writes Setting.INI as a person editing it by hand would (code page 932, CR LF).
void writeSettingIni(const TestServices& ts, const QString& text) {
    QDir().mkpath(ts.userDataFolder());
    QFile f(settingIni(ts));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(platform::toCp932(text));
}

QByteArray storedEntry(const TestServices& ts, const QString& key) {
    return platform::getPrivateProfileString("Window_Pos", platform::toCp932(key), kMissing,
                                             settingIni(ts));
}

} // namespace

class TestWinPos : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsStoredEntry_data();
    void readsStoredEntry();
    void readDoesNotTouchCallerElementsWithoutField();
    void writesOnlyWhenAllowed_data();
    void writesOnlyWhenAllowed();
    void keyIsProgramNameAndCaption();
    void otherEntriesAreLeftAlone();
    void writtenEntryReadsBack();
    void rectanglesFitTheScreen_data();
    void rectanglesFitTheScreen();
};

void TestWinPos::readsStoredEntry_data() {
    QTest::addColumn<QString>("entry"); // null: no entry at all
    QTest::addColumn<int>("screenWidthPixels");
    QTest::addColumn<WinPos>("expected");

    const QString spaces247(247, u' ');
    QTest::newRow("no entry gives the default")
        << QString() << 1920 << WinPos{1000, 1000, 2000, 2000};
    QTest::newRow("empty entry keeps the zeros") << QString("") << 1920 << WinPos{0, 0, 0, 0};
    QTest::newRow("two fields") << "100,200" << 1920 << WinPos{100, 200, 0, 0};
    QTest::newRow("first field not a number") << "abc,20,30,40" << 1920 << WinPos{0, 20, 30, 40};
    QTest::newRow("five fields") << "1,2,3,4,5" << 1920 << WinPos{1, 2, 3, 4};
    QTest::newRow("two leading commas") << ",,3,4" << 1920 << WinPos{0, 0, 3, 4};
    QTest::newRow("empty field in the middle") << "7,,9,10" << 1920 << WinPos{7, 0, 9, 10};
    QTest::newRow("spaces, sign and fractions") << " 12 ,+3,4.5,5.5" << 1920 << WinPos{12, 3, 4, 6};
    QTest::newRow("field beyond 32 bits") << "1,2147483648,3,4" << 1920 << WinPos{1, 0, 3, 4};
    QTest::newRow("Left at the screen width")
        << "28800,10,20,30" << 1920 << WinPos{14400, 10, 20, 30};
    QTest::newRow("Left one below the screen width")
        << "28799,10,20,30" << 1920 << WinPos{28799, 10, 20, 30};
    QTest::newRow("Left far beyond the screen")
        << "99999,10,20,30" << 1920 << WinPos{14400, 10, 20, 30};
    QTest::newRow("Top at the screen height")
        << "10,16200,20,30" << 1920 << WinPos{10, 8100, 20, 30};
    QTest::newRow("Top one below the screen height")
        << "10,16199,20,30" << 1920 << WinPos{10, 16199, 20, 30};
    QTest::newRow("both beyond the screen")
        << "30000,17000,5,6" << 1920 << WinPos{14400, 8100, 5, 6};
    // 1921 and 1923 pixels are 28815 and 28845 twips: the halves round to the even neighbour.
    QTest::newRow("odd screen width, half rounds up")
        << "30000,0,0,0" << 1921 << WinPos{14408, 0, 0, 0};
    QTest::newRow("odd screen width, half rounds down")
        << "30000,0,0,0" << 1923 << WinPos{14422, 0, 0, 0};
    QTest::newRow("negative Left and Top as read")
        << "-500,-20,300,400" << 1920 << WinPos{-500, -20, 300, 400};
    // The value is read back cut to 255 bytes.
    QTest::newRow("255 bytes read whole")
        << "1,2,3," + spaces247 + "45" << 1920 << WinPos{1, 2, 3, 45};
    QTest::newRow("256 bytes lose the last")
        << "1,2,3, " + spaces247 + "45" << 1920 << WinPos{1, 2, 3, 4};
}

void TestWinPos::readsStoredEntry() {
    QFETCH(QString, entry);
    QFETCH(int, screenWidthPixels);
    QFETCH(WinPos, expected);

    TestServices ts;
    ts.screenPixels = QSize(screenWidthPixels, 1080);
    if (!entry.isNull())
        writeSettingIni(ts, "[Window_Pos]\r\npixelion-スライド画面=" + entry + "\r\n");

    WinPos pos{0, 0, 0, 0};
    gGetWinPos(kMain, pos);
    QCOMPARE(pos, expected);
}

void TestWinPos::readDoesNotTouchCallerElementsWithoutField() {
    TestServices ts;
    writeSettingIni(ts, "[Window_Pos]\r\npixelion-設定画面=,x,,\r\n");
    WinPos pos{11, 22, 33, 44};
    gGetWinPos(kOption, pos);
    QCOMPARE(pos, (WinPos{11, 22, 33, 44}));
}

void TestWinPos::writesOnlyWhenAllowed_data() {
    QTest::addColumn<WinPos>("pos");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("expected"); // the entry afterwards; it starts as "5,6,7,8"

    QTest::newRow("normal window")
        << WinPos{100, 200, 300, 400} << 0 << QByteArray("100,200,300,400");
    QTest::newRow("at 0,0") << WinPos{0, 0, 300, 400} << 0 << QByteArray("0,0,300,400");
    QTest::newRow("dialog stores no size")
        << WinPos{1200, 900, 0, 0} << 0 << QByteArray("1200,900,0,0");
    QTest::newRow("minimised") << WinPos{100, 200, 300, 400} << 1 << QByteArray("5,6,7,8");
    QTest::newRow("maximised") << WinPos{0, 0, 28800, 16200} << 2 << QByteArray("5,6,7,8");
    QTest::newRow("negative Left") << WinPos{-1, 200, 300, 400} << 0 << QByteArray("5,6,7,8");
    QTest::newRow("negative Top") << WinPos{100, -60, 300, 400} << 0 << QByteArray("5,6,7,8");
    QTest::newRow("Left at the screen width")
        << WinPos{28800, 0, 300, 400} << 0 << QByteArray("5,6,7,8");
    QTest::newRow("Left one below the screen width")
        << WinPos{28799, 0, 300, 400} << 0 << QByteArray("28799,0,300,400");
    QTest::newRow("Top at the screen height")
        << WinPos{0, 16200, 300, 400} << 0 << QByteArray("5,6,7,8");
    QTest::newRow("Top one below the screen height")
        << WinPos{0, 16199, 300, 400} << 0 << QByteArray("0,16199,300,400");
}

void TestWinPos::writesOnlyWhenAllowed() {
    QFETCH(WinPos, pos);
    QFETCH(int, state);
    QFETCH(QByteArray, expected);

    TestServices ts;
    writeSettingIni(ts, "[Window_Pos]\r\npixelion-スライド画面=5,6,7,8\r\n");
    gPutWinPos(kMain, pos, state);
    QCOMPARE(storedEntry(ts, "pixelion-スライド画面"), expected);
}

void TestWinPos::keyIsProgramNameAndCaption() {
    TestServices ts;
    ts.programPath = ts.programDir.path() + "/Viewer.exe";
    // No Setting.INI and no per-user folder yet: the first write creates both.
    gPutWinPos(kOption, WinPos{1500, 1200, 0, 0});
    QCOMPARE(storedEntry(ts, "Viewer-設定画面"), QByteArray("1500,1200,0,0"));
    QCOMPARE(storedEntry(ts, "pixelion-設定画面"), kMissing);

    // Minimised with no entry yet: nothing is created.
    gPutWinPos(kMain, WinPos{100, 100, 100, 100}, kWindowMinimized);
    QCOMPARE(storedEntry(ts, "Viewer-スライド画面"), kMissing);
}

void TestWinPos::otherEntriesAreLeftAlone() {
    TestServices ts;
    const QString before = "; hand-made\r\n[Window_Pos]\r\npixelion-スライド画面=1,2,3,4\r\n"
                           "other-設定画面=9,9,9,9\r\n[Other]\r\nkey=value\r\n";
    writeSettingIni(ts, before);

    gPutWinPos(kOption, WinPos{300, 400, 0, 0});

    QFile f(settingIni(ts));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString after = platform::fromCp932(f.readAll());
    QCOMPARE(storedEntry(ts, "pixelion-設定画面"), QByteArray("300,400,0,0"));
    // Every line of the file before is still there, unchanged and in its order.
    QString rest = after;
    rest.remove("pixelion-設定画面=300,400,0,0\r\n");
    QCOMPARE(rest, before);
}

void TestWinPos::writtenEntryReadsBack() {
    TestServices ts;
    gPutWinPos(kMain, WinPos{2345, 1234, 9780, 5670});
    WinPos pos{0, 0, 0, 0};
    gGetWinPos(kMain, pos);
    QCOMPARE(pos, (WinPos{2345, 1234, 9780, 5670}));
    // The other caption still reads the default.
    WinPos other{0, 0, 0, 0};
    gGetWinPos(kOption, other);
    QCOMPARE(other, (WinPos{1000, 1000, 2000, 2000}));
}

// A stored rectangle that does not lie wholly on the screen is moved, and where it is
// larger reduced, so that it does; one that fits stays as it is.
void TestWinPos::rectanglesFitTheScreen_data() {
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QRect>("opened");
    const QRect screen(0, 0, 1600, 1000);
    QTest::newRow("fits") << QRect(100, 100, 800, 600) << QRect(100, 100, 800, 600);
    QTest::newRow("past the right and bottom edges")
        << QRect(1000, 700, 800, 600) << QRect(800, 400, 800, 600);
    QTest::newRow("off the screen, negative")
        << QRect(-2000, -2000, 800, 600) << QRect(0, 0, 800, 600);
    QTest::newRow("larger than the screen") << QRect(66, 66, 66666, 66666) << screen;
    QTest::newRow("10000 x 6000 px on 1600 x 1000") << QRect(67, 67, 10000, 6000) << screen;
    QTest::newRow("a screen with a panel at the top")
        << QRect(0, 0, 800, 600) << QRect(0, 30, 800, 600);
}
void TestWinPos::rectanglesFitTheScreen() {
    QFETCH(QRect, stored);
    QFETCH(QRect, opened);
    const QRect available = QString(QTest::currentDataTag()).contains("panel")
                                ? QRect(0, 30, 1600, 970)
                                : QRect(0, 0, 1600, 1000);
    QCOMPARE(fitOnScreen(stored, available), opened);
}

QTEST_GUILESS_MAIN(TestWinPos)
#include "tst_winpos.moc"
