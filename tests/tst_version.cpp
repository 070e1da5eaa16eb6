#include <QtTest>

#include "TestServices.h"
#include "mdlComFunction.h"

namespace {
// Reports a chosen program version instead of the built one.
class VersionServices : public TestServices {
public:
    int versionMajor() const override { return major; }
    int versionMinor() const override { return minor; }
    int major = 0;
    int minor = 0;
};
} // namespace

class TestVersion : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void versionText_data();
    void versionText();
};

void TestVersion::versionText_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.1") << 1 << 1 << QStringLiteral("Version 1.01");
    QTest::newRow("1.0") << 1 << 0 << QStringLiteral("Version 1.00");
    QTest::newRow("2.10") << 2 << 10 << QStringLiteral("Version 2.10");
    QTest::newRow("3.123") << 3 << 123 << QStringLiteral("Version 3.123");
}

void TestVersion::versionText() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, text);
    QCOMPARE(gsGetVersion(major, minor), text);

    // The program's own text takes its numbers from the platform.
    VersionServices services;
    services.major = major;
    services.minor = minor;
    QCOMPARE(gsGetVersion(), text);
}

QTEST_GUILESS_MAIN(TestVersion)
#include "tst_version.moc"
