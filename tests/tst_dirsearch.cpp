#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "DirSearch.h"
#include "mdlComCtrlFile.h"

using platform::kAttrHidden;
using platform::kAttrNormal;
using platform::kAttrReadOnly;
using platform::kAttrSystem;

namespace {
void touch(const QString& path) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("x");
}
} // namespace

class TestDirSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void findFiles_data();
    void findFiles();
    void orderOfUpperCasedNames();
    void wildcardMatch_data();
    void wildcardMatch();
    void picFilesAppendAndCount();

private:
    QTemporaryDir dir;
    QString folder;
};

// One folder with the kinds of entries a picture folder may hold.
void TestDirSearch::initTestCase() {
    QVERIFY(dir.isValid());
    folder = dir.path();
    for (const char* name : {"b.jpg", "a.jpg", "c.JPG", "d.jpeg", ".e.jpg", "ro.jpg", "x.jpgx"})
        touch(folder + u'/' + QLatin1String(name));
    QVERIFY(QFile::setPermissions(folder + QStringLiteral("/ro.jpg"), QFile::ReadOwner));
    QVERIFY(QDir(folder).mkdir(QStringLiteral("sub.jpg")));
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe.jpg")).constData(), 0600),
             0);
#endif
}

void TestDirSearch::findFiles_data() {
    QTest::addColumn<QString>("pattern"); // under the fixture folder
    QTest::addColumn<int>("attributes");
    QTest::addColumn<QStringList>("names");
    const QStringList jpg{"a.jpg", "b.jpg", "c.JPG", "ro.jpg"};
    QTest::newRow("extension, any case") << "/*.jpg" << int(kAttrNormal) << jpg;
    QTest::newRow("pattern in capitals") << "/*.JPG" << int(kAttrNormal) << jpg;
    QTest::newRow("hidden on request")
        << "/*.jpg" << int(kAttrReadOnly | kAttrHidden)
        << QStringList{".e.jpg", "a.jpg", "b.jpg", "c.JPG", "ro.jpg"};
    QTest::newRow("system is not hidden") << "/*.jpg" << int(kAttrSystem) << jpg;
    QTest::newRow("other extension") << "/*.jpeg" << int(kAttrNormal) << QStringList{"d.jpeg"};
    QTest::newRow("one character")
        << "/?.jpg" << int(kAttrNormal) << QStringList{"a.jpg", "b.jpg", "c.JPG"};
    QTest::newRow("exact name, other case") << "/B.JPG" << int(kAttrNormal) << QStringList{"b.jpg"};
    QTest::newRow("files only") << "/*" << int(kAttrNormal)
                                << QStringList{"a.jpg",  "b.jpg",  "c.JPG",
                                               "d.jpeg", "ro.jpg", "x.jpgx"};
    QTest::newRow("doubled separator") << "//*.jpg" << int(kAttrNormal) << jpg;
    QTest::newRow("missing folder") << "/missing/*.jpg" << int(kAttrHidden) << QStringList();
    QTest::newRow("no name pattern") << "/" << int(kAttrHidden) << QStringList();
}

void TestDirSearch::findFiles() {
    QFETCH(QString, pattern);
    QFETCH(int, attributes);
    QFETCH(QStringList, names);
    QCOMPARE(platform::findFiles(folder + pattern, attributes), names);
}

// The order an NTFS folder lists names in: "_" sorts after the letters, whatever their case.
void TestDirSearch::orderOfUpperCasedNames() {
    QTemporaryDir sorted;
    for (const char* name : {"_c.jpg", "b.jpg", "a1.jpg", "Z.jpg", "a.jpg", "A.jpg"})
        touch(sorted.path() + u'/' + QLatin1String(name));
    const QStringList expected{"A.jpg", "a.jpg", "a1.jpg", "b.jpg", "Z.jpg", "_c.jpg"};
    QCOMPARE(platform::findFiles(sorted.path() + QStringLiteral("/*.jpg"), kAttrNormal), expected);
}

void TestDirSearch::wildcardMatch_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("star") << "*.jpg"
                          << "photo.JPG" << true;
    QTest::newRow("longer extension") << "*.jpg"
                                      << "photo.jpgx" << false;
    QTest::newRow("star needs backtracking") << "a*b*c"
                                             << "aXbYbZc" << true;
    QTest::newRow("star at the end") << "a*"
                                     << "a" << true;
    QTest::newRow("question needs a character") << "a?"
                                                << "a" << false;
    QTest::newRow("question is one character") << "a?c"
                                               << "abc" << true;
    QTest::newRow("empty pattern") << ""
                                   << "a" << false;
}

void TestDirSearch::wildcardMatch() {
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(platform::wildcardMatch(pattern, name), matches);
}

// The picture list keeps what it held, adds hidden and read-only pictures, and counts them.
void TestDirSearch::picFilesAppendAndCount() {
    qint32 count = 1;
    QStringList list{QStringLiteral("earlier.jpg")};
    QVERIFY(fbGetPicFiles(folder + QStringLiteral("/*.jpg"), count, list));
    QCOMPARE(count, 6);
    QCOMPARE(list, (QStringList{"earlier.jpg", ".e.jpg", "a.jpg", "b.jpg", "c.JPG", "ro.jpg"}));

    qint32 none = 0;
    QStringList empty;
    QVERIFY(fbGetPicFiles(folder + QStringLiteral("/missing/*.jpg"), none, empty));
    QCOMPARE(none, 0);
    QVERIFY(empty.isEmpty());
}

QTEST_GUILESS_MAIN(TestDirSearch)
#include "tst_dirsearch.moc"
