#include <QtTest>

#include <limits>
#include <string_view>

#include "Error.h"
#include "mdlComCtrlFile.h"
#include "mdlComCtrlString.h"

using namespace std::string_view_literals;

namespace {
// Texts with embedded NULs, as a system call leaves them in a buffer.
QString raw(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

// Marks an out parameter that the routine must leave alone.
const QString kUnset = QStringLiteral("<unset>");

enum Outcome { Fails = 0, Splits = 1, Throws = 2 };
} // namespace

class TestStrings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lengths_data();
    void lengths();
    void fields_data();
    void fields();
    void separatorPositionIs16Bit();
    void suffix_data();
    void suffix();
    void toLong_data();
    void toLong();
    void formatSingle_data();
    void formatSingle();
    void splitPath_data();
    void splitPath();
};

void TestStrings::lengths_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("strLen");
    QTest::addColumn<int>("ansiStrLen");
    QTest::newRow("NUL ends the text") << raw(u"ab\0cd"sv) << 2 << 2;
    QTest::newRow("CR before NUL") << raw(u"a\rb\0"sv) << 1 << 1;
    QTest::newRow("LF before NUL") << raw(u"a\nb\0"sv) << 1 << 1;
    QTest::newRow("CR first does not count") << raw(u"\rab\0"sv) << 3 << 3;
    QTest::newRow("LF first does not count") << raw(u"\nab\0"sv) << 3 << 3;
    QTest::newRow("earliest of CR and LF") << raw(u"abc\n\rd\0"sv) << 3 << 3;
    QTest::newRow("CR without NUL") << raw(u"a\rb"sv) << 3 << 3;
    QTest::newRow("NUL first") << raw(u"\0abc"sv) << 0 << 0;
    QTest::newRow("NUL before space") << raw(u"a b\0  "sv) << 3 << 3;
    QTest::newRow("profile buffer") << raw(u"value\0"sv) + QString(250, u' ') << 5 << 5;
    QTest::newRow("inner space") << QStringLiteral("ab cd") << 5 << 2;
    QTest::newRow("leading space") << QStringLiteral(" x") << 1 << 0;
    QTest::newRow("spaces around") << QStringLiteral("  ab  ") << 2 << 0;
    QTest::newRow("plain") << QStringLiteral("abc") << 3 << 3;
    QTest::newRow("tabs are not trimmed") << QStringLiteral("\tab\t") << 4 << 4;
    QTest::newRow("empty") << QString() << 0 << 0;
}

void TestStrings::lengths() {
    QFETCH(QString, text);
    QFETCH(int, strLen);
    QFETCH(int, ansiStrLen);
    QCOMPARE(fnGetStrLen(text), strLen);
    QCOMPARE(fnGetAnsiStrLen(text), ansiStrLen);
}

void TestStrings::fields_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("sepPos");
    QTest::addColumn<QString>("field");
    const QString abc = QStringLiteral("a.b.c"), dot = QStringLiteral(".");
    const QString error = QStringLiteral("ERROR.");
    QTest::newRow("n below 0") << abc << dot << -1 << 0 << error;
    QTest::newRow("n 0") << abc << dot << 0 << 0 << error;
    QTest::newRow("first") << abc << dot << 1 << 2 << QStringLiteral("a");
    QTest::newRow("middle") << abc << dot << 2 << 4 << QStringLiteral("b");
    QTest::newRow("last") << abc << dot << 3 << 6 << QStringLiteral("c");
    QTest::newRow("beyond") << abc << dot << 4 << 6 << error;
    QTest::newRow("empty field") << QStringLiteral("a..b") << dot << 2 << 3 << QString();
    QTest::newRow("after a trailing separator")
        << QStringLiteral("a.") << dot << 2 << 3 << QString();
    QTest::newRow("empty text") << QString() << dot << 1 << 1 << QString();
    QTest::newRow("empty text beyond") << QString() << dot << 2 << 1 << error;
    // The next search starts one position after a hit, inside a longer separator.
    QTest::newRow("two-character separator")
        << QStringLiteral("a::b") << QStringLiteral("::") << 2 << 5 << QStringLiteral(":b");
    QTest::newRow("overlapping separator")
        << QStringLiteral("a:::b") << QStringLiteral("::") << 2 << 3 << QString();
}

void TestStrings::fields() {
    QFETCH(QString, text);
    QFETCH(QString, sep);
    QFETCH(int, n);
    QFETCH(int, sepPos);
    QFETCH(QString, field);
    QCOMPARE(fnGetSepPos(text, qint16(n), sep), sepPos);
    QCOMPARE(fsGetField(text, qint16(n), sep), field);
}

// Search positions are 16-bit: a separator beyond 32767 is an overflow, not a position.
void TestStrings::separatorPositionIs16Bit() {
    const QString dot = QStringLiteral(".");
    QCOMPARE(fnGetSepPos(QString(32766, u'a') + dot, 1, dot), 32767);
    QCOMPARE(fnGetSepPos(QString(40000, u'a'), 1, dot), 40001); // not found: the length + 1
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
                             fnGetSepPos(QString(32767, u'a') + dot, 1, dot));
}

void TestStrings::suffix_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("one dot") << QStringLiteral("a.jpg") << QStringLiteral("jpg");
    QTest::newRow("last of several") << QStringLiteral("a.b.JPEG") << QStringLiteral("JPEG");
    QTest::newRow("no dot: whole name") << QStringLiteral("jpg") << QStringLiteral("jpg");
    QTest::newRow("ending in a dot") << QStringLiteral("a.") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("leading dot") << QStringLiteral(".hidden") << QStringLiteral("hidden");
    QTest::newRow("quoted path") << QStringLiteral("\"C:\\x.jpg\"") << QStringLiteral("jpg\"");
}

void TestStrings::suffix() {
    QFETCH(QString, name);
    QFETCH(QString, suffix);
    QCOMPARE(fsGetSuffix(name), suffix);
}

void TestStrings::toLong_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");
    const int max = std::numeric_limits<qint32>::max(), min = std::numeric_limits<qint32>::min();
    QTest::newRow("plain") << QStringLiteral("5000") << true << 5000;
    QTest::newRow("spaces around") << QStringLiteral("  42 ") << true << 42;
    QTest::newRow("tabs around") << QStringLiteral("\t-7\t") << true << -7;
    QTest::newRow("plus sign") << QStringLiteral("+3") << true << 3;
    QTest::newRow("leading zeros") << QStringLiteral("007") << true << 7;
    QTest::newRow("2.5 to even") << QStringLiteral("2.5") << true << 2;
    QTest::newRow("3.5 to even") << QStringLiteral("3.5") << true << 4;
    QTest::newRow("-2.5 to even") << QStringLiteral("-2.5") << true << -2;
    QTest::newRow("-3.5 to even") << QStringLiteral("-3.5") << true << -4;
    QTest::newRow("0.5 to even") << QStringLiteral(".5") << true << 0;
    QTest::newRow("1.5 to even") << QStringLiteral("1.5") << true << 2;
    QTest::newRow("2.6 up") << QStringLiteral("2.6") << true << 3;
    QTest::newRow("-0.4 to zero") << QStringLiteral("-0.4") << true << 0;
    // Exactly on the digits: a double would read both of these as halves.
    QTest::newRow("just above a half") << QStringLiteral("2.50000000000000000001") << true << 3;
    QTest::newRow("just below a half") << QStringLiteral("3.49999999999999999999") << true << 3;
    QTest::newRow("point without fraction") << QStringLiteral("5.") << true << 5;
    QTest::newRow("exponent") << QStringLiteral("2.5E1") << true << 25;
    QTest::newRow("negative exponent") << QStringLiteral("15e-1") << true << 2;
    QTest::newRow("zero with huge exponent") << QStringLiteral("0e999999999999") << true << 0;
    QTest::newRow("largest") << QStringLiteral("2147483647") << true << max;
    QTest::newRow("smallest") << QStringLiteral("-2147483648") << true << min;
    QTest::newRow("largest after rounding") << QStringLiteral("2147483647.4") << true << max;
    QTest::newRow("smallest by even half") << QStringLiteral("-2147483648.5") << true << min;
    QTest::newRow("rounds past the largest") << QStringLiteral("2147483647.5") << false << 0;
    QTest::newRow("rounds past the smallest") << QStringLiteral("-2147483648.6") << false << 0;
    QTest::newRow("one past the largest") << QStringLiteral("2147483648") << false << 0;
    QTest::newRow("far too large") << QStringLiteral("99999999999999999999") << false << 0;
    QTest::newRow("too large by exponent") << QStringLiteral("1e10") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("only spaces") << QStringLiteral("   ") << false << 0;
    QTest::newRow("letters") << QStringLiteral("abc") << false << 0;
    QTest::newRow("trailing letters") << QStringLiteral("12abc") << false << 0;
    QTest::newRow("inner space") << QStringLiteral("1 2") << false << 0;
    QTest::newRow("sign only") << QStringLiteral("-") << false << 0;
    QTest::newRow("point only") << QStringLiteral(".") << false << 0;
    QTest::newRow("exponent without digits") << QStringLiteral("1e") << false << 0;
    QTest::newRow("thousands separator") << QStringLiteral("1,000") << false << 0;
    QTest::newRow("hexadecimal") << QStringLiteral("0x10") << false << 0;
}

void TestStrings::toLong() {
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(int, value);
    if (converts) {
        QCOMPARE(::toLong(text), value);
        return;
    }
    try {
        ::toLong(text);
        QFAIL("no error for a text that does not convert");
    } catch (const platform::RuntimeError& e) {
        QVERIFY2(QString::fromStdString(e.what()).contains(u'"' + text + u'"'), e.what());
    }
}

void TestStrings::formatSingle_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 5000.0f << QStringLiteral("5000");
    QTest::newRow("fraction") << 1203.5f << QStringLiteral("1203.5");
    QTest::newRow("negative") << -405.0f << QStringLiteral("-405");
    QTest::newRow("below one") << 0.5f << QStringLiteral("0.5");
    QTest::newRow("zero") << 0.0f << QStringLiteral("0");
    QTest::newRow("negative zero") << -0.0f << QStringLiteral("0");
    QTest::newRow("binary noise hidden") << 0.1f << QStringLiteral("0.1");
    QTest::newRow("seven digits") << 1.0f / 3.0f << QStringLiteral("0.3333333");
    QTest::newRow("rounded to seven digits") << 1234.5678f << QStringLiteral("1234.568");
    QTest::newRow("largest fixed") << 1234567.0f << QStringLiteral("1234567");
    QTest::newRow("small fixed") << 0.0001f << QStringLiteral("0.0001");
    QTest::newRow("large in E notation") << 16777216.0f << QStringLiteral("1.677722E+07");
    QTest::newRow("small in E notation") << 0.00001f << QStringLiteral("1E-05");
}

void TestStrings::formatSingle() {
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(::formatSingle(value), text);
}

void TestStrings::splitPath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("sep");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    const QChar win = u'\\', posix = u'/';
    const QString none;
    QTest::newRow("win folder") << QStringLiteral("C:\\pics\\b.jpg") << win << int(Splits)
                                << QStringLiteral("C:") << QStringLiteral("pics")
                                << QStringLiteral("b.jpg");
    QTest::newRow("win nested") << QStringLiteral("C:\\pics\\2024\\b.jpg") << win << int(Splits)
                                << QStringLiteral("C:") << QStringLiteral("pics\\2024")
                                << QStringLiteral("b.jpg");
    QTest::newRow("win drive root") << QStringLiteral("C:\\a.jpg") << win << int(Splits)
                                    << QStringLiteral("C:") << kUnset << QStringLiteral("a.jpg");
    QTest::newRow("win folder only") << QStringLiteral("C:\\pics\\") << win << int(Splits)
                                     << QStringLiteral("C:") << QStringLiteral("pics") << none;
    QTest::newRow("win network") << QStringLiteral("\\\\server\\share\\pics\\a.jpg") << win
                                 << int(Splits) << QStringLiteral("\\\\server\\share")
                                 << QStringLiteral("pics") << QStringLiteral("a.jpg");
    QTest::newRow("win network share root")
        << QStringLiteral("\\\\server\\share\\a.jpg") << win << int(Splits)
        << QStringLiteral("\\\\server\\share") << kUnset << QStringLiteral("a.jpg");
    QTest::newRow("win network without share")
        << QStringLiteral("\\\\server") << win << int(Fails) << kUnset << kUnset << kUnset;
    QTest::newRow("win network share only")
        << QStringLiteral("\\\\server\\share") << win << int(Fails) << kUnset << kUnset << kUnset;
    QTest::newRow("win drive relative") << QStringLiteral("X:name") << win << int(Fails)
                                        << QStringLiteral("X:") << kUnset << kUnset;
    QTest::newRow("win relative") << QStringLiteral("pics\\a.jpg") << win << int(Splits) << kUnset
                                  << QStringLiteral("pics") << QStringLiteral("a.jpg");
    QTest::newRow("win NUL ends the path")
        << raw(u"C:\\pics\\a.jpg\0\\x"sv) << win << int(Splits) << QStringLiteral("C:")
        << QStringLiteral("pics") << QStringLiteral("a.jpg");
    QTest::newRow("win no separator")
        << QStringLiteral("a.jpg") << win << int(Throws) << kUnset << kUnset << kUnset;
    QTest::newRow("win empty") << QString() << win << int(Throws) << kUnset << kUnset << kUnset;
    QTest::newRow("win given a posix path")
        << QStringLiteral("/pics/a.jpg") << win << int(Throws) << kUnset << kUnset << kUnset;

    QTest::newRow("posix folder") << QStringLiteral("/pics/b.jpg") << posix << int(Splits) << none
                                  << QStringLiteral("pics") << QStringLiteral("b.jpg");
    QTest::newRow("posix nested") << QStringLiteral("/home/u/pics/b.jpg") << posix << int(Splits)
                                  << none << QStringLiteral("home/u/pics")
                                  << QStringLiteral("b.jpg");
    QTest::newRow("posix root") << QStringLiteral("/a.jpg") << posix << int(Splits) << none
                                << kUnset << QStringLiteral("a.jpg");
    QTest::newRow("posix relative") << QStringLiteral("pics/a.jpg") << posix << int(Splits)
                                    << kUnset << QStringLiteral("pics") << QStringLiteral("a.jpg");
    QTest::newRow("posix network")
        << QStringLiteral("//server/share/pics/a.jpg") << posix << int(Splits)
        << QStringLiteral("//server/share") << QStringLiteral("pics") << QStringLiteral("a.jpg");
    QTest::newRow("posix no drive letters")
        << QStringLiteral("C:x.jpg") << posix << int(Throws) << kUnset << kUnset << kUnset;
    QTest::newRow("posix no separator")
        << QStringLiteral("a.jpg") << posix << int(Throws) << kUnset << kUnset << kUnset;
}

void TestStrings::splitPath() {
    QFETCH(QString, path);
    QFETCH(QChar, sep);
    QFETCH(int, outcome);
    QFETCH(QString, drive);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QString d = kUnset, f = kUnset, n = kUnset;
    if (outcome == Throws) {
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, fbSplitPath(path, d, f, n, sep));
    } else {
        QCOMPARE(fbSplitPath(path, d, f, n, sep), outcome == Splits);
    }
    QCOMPARE(d, drive);
    QCOMPARE(f, folder);
    QCOMPARE(n, file);
}

QTEST_GUILESS_MAIN(TestStrings)
#include "tst_strings.moc"
