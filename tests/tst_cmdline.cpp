#include <QtTest>

#include "CommandLineOptions.h"
#include "Services.h"
#include "TestServices.h"

namespace {
// Reports a chosen program version instead of the built one.
class VersionServices : public TestServices {
public:
    int versionMajor() const override { return 2; }
    int versionMinor() const override { return 7; }
};

enum class Answer { None, Help, Version };
} // namespace
Q_DECLARE_METATYPE(Answer)

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answers_data();
    void answers();
    void textsCarryTheVersion();
    void otherArgumentsReachThePicturePath_data();
    void otherArgumentsReachThePicturePath();
};

void TestCommandLine::answers_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Answer>("answer");
    QTest::newRow("--help") << QStringList{"--help"} << Answer::Help;
    QTest::newRow("-h") << QStringList{"-h"} << Answer::Help;
    QTest::newRow("--version") << QStringList{"--version"} << Answer::Version;
    QTest::newRow("nothing") << QStringList{} << Answer::None;
    QTest::newRow("picture") << QStringList{"/pics/a.jpg"} << Answer::None;
    QTest::newRow("option and picture") << QStringList{"--help", "a.jpg"} << Answer::None;
    QTest::newRow("picture and option") << QStringList{"a.jpg", "--version"} << Answer::None;
    QTest::newRow("other case") << QStringList{"--HELP"} << Answer::None;
    QTest::newRow("unknown option") << QStringList{"--verbose"} << Answer::None;
    QTest::newRow("-v is no option") << QStringList{"-v"} << Answer::None;
    QTest::newRow("file named --help") << QStringList{"./--help"} << Answer::None;
    QTest::newRow("quoted") << QStringList{"\"--help\""} << Answer::None;
    QTest::newRow("empty argument") << QStringList{""} << Answer::None;
}

void TestCommandLine::answers() {
    QFETCH(QStringList, arguments);
    QFETCH(Answer, answer);
    const std::optional<QString> text = terminalAnswer(arguments);
    switch (answer) {
    case Answer::None:
        QVERIFY2(!text, qPrintable(text.value_or(QString())));
        break;
    case Answer::Help:
        QCOMPARE(text, std::optional<QString>(helpText()));
        break;
    case Answer::Version:
        QCOMPARE(text, std::optional<QString>(versionText()));
        break;
    }
}

void TestCommandLine::textsCarryTheVersion() {
    VersionServices services;
    QCOMPARE(versionText(), QStringLiteral("ピクセリオン (pixelion) Version 2.07\n"));

    const QString help = helpText();
    QVERIFY(help.startsWith(versionText()));
    // Both options are explained, in both languages, and the text ends its last line.
    for (const char* word :
         {"--help", "--version", "使い方", "Usage", "pixelion [", "終了", "exit"})
        QVERIFY2(help.contains(QString::fromUtf8(word)), word);
    QVERIFY(help.endsWith(u'\n'));
    QVERIFY(!help.contains(u'\t'));
}

void TestCommandLine::otherArgumentsReachThePicturePath_data() {
    QTest::addColumn<QByteArrayList>("argv");
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("relative picture")
        << QByteArrayList{"pixelion", "写真 1.jpg"} << QStringLiteral("/home/u/写真 1.jpg");
    QTest::newRow("absolute picture")
        << QByteArrayList{"/usr/bin/pixelion", "/pics/a.jpg"} << QStringLiteral("/pics/a.jpg");
    QTest::newRow("unknown option")
        << QByteArrayList{"pixelion", "--verbose"} << QStringLiteral("/home/u/--verbose");
    QTest::newRow("option with more")
        << QByteArrayList{"pixelion", "--help", "a.jpg"} << QStringLiteral("/home/u/--help a.jpg");
    QTest::newRow("nothing") << QByteArrayList{"pixelion"} << QString();
}

void TestCommandLine::otherArgumentsReachThePicturePath() {
    QFETCH(QByteArrayList, argv);
    QFETCH(QString, commandLine);
    std::vector<const char*> raw;
    for (const QByteArray& a : argv)
        raw.push_back(a.constData());
    const QStringList arguments = commandArguments(int(raw.size()), raw.data());
    QCOMPARE(arguments.size(), argv.size() - 1);
    QVERIFY(!terminalAnswer(arguments));
    QCOMPARE(platform::commandLineFromArguments(arguments, QStringLiteral("/home/u")), commandLine);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_cmdline.moc"
