// Profile files must mean the same here as to the Windows profile functions: reads are checked
// against observed cases, writes against the exact bytes the file must hold afterwards.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include "Cp932.h"
#include "ProfileFile.h"

using platform::fromCp932;
using platform::getPrivateProfileString;
using platform::toCp932;
using platform::writePrivateProfileString;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray sjis(const char* utf8) {
    return toCp932(QString::fromUtf8(utf8));
}

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readObservedCases_data();
    void readObservedCases();
    void readDefaultsAndCuts_data();
    void readDefaultsAndCuts();
    void write_data();
    void write();
    void writeSameValueLeavesFileUntouched();
    void writeKeepsPermissions();
    void writeFailure_data();
    void writeFailure();
    void roundTrip_data();
    void roundTrip();
    void codePageControlCodes_data();
    void codePageControlCodes();
    void bestFit_data();
    void bestFit();
    void ctrlZAroundNames();
};

void TestProfileFile::readObservedCases_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("count");

    QFile json(QStringLiteral(TEST_DATA_DIR "/profile-vectors.json"));
    QVERIFY2(json.open(QIODevice::ReadOnly), qPrintable(json.fileName()));
    const QJsonArray cases = QJsonDocument::fromJson(json.readAll())["cases"].toArray();
    QVERIFY(!cases.isEmpty());
    for (const QJsonValue& entry : cases) {
        const QJsonObject c = entry.toObject();
        const auto hex = [&](const char* name) {
            return QByteArray::fromHex(c[QLatin1String(name)].toString().toLatin1());
        };
        QTest::newRow(qPrintable(c["name"].toString()))
            << !c["file_hex"].isNull() << hex("file_hex") << hex("section_hex") << hex("key_hex")
            << hex("value_hex") << c["returned_count"].toInt();
    }
}

void TestProfileFile::readObservedCases() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    QFETCH(int, count);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Slide.INI"));
    if (exists)
        QVERIFY(writeAll(path, file));

    const QByteArray value = getPrivateProfileString(section, key, QByteArray(), path);
    QCOMPARE(value.toHex(' '), expected.toHex(' '));
    QCOMPARE(value.size(), count);
    // Reading never writes, and never creates a missing file.
    QCOMPARE(QFileInfo::exists(path), exists);
    if (exists)
        QCOMPARE(readAll(path), file);
}

void TestProfileFile::readDefaultsAndCuts_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("defaultValue");
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray dflt = "dflt";
    QTest::newRow("no file") << false << QByteArray("kana") << dflt << 256 << dflt;
    QTest::newRow("missing key") << true << QByteArray("absent") << dflt << 256 << dflt;
    QTest::newRow("empty value is not missing")
        << true << QByteArray("empty") << dflt << 256 << QByteArray();
    QTest::newRow("NUL ends the value")
        << true << QByteArray("nul") << dflt << 256 << QByteArray("ab");
    QTest::newRow("key without equals is not missing")
        << true << QByteArray("bare") << dflt << 256 << QByteArray();
    QTest::newRow("default cut at 255 bytes")
        << false << QByteArray("kana") << QByteArray(300, 'x') << 256 << QByteArray(255, 'x');
    QTest::newRow("default cut keeps double-byte whole")
        << false << QByteArray("kana") << "a" + sjis("あ").repeated(200) << 256
        << "a" + sjis("あ").repeated(127);
    QTest::newRow("small buffer drops straddling char")
        << true << QByteArray("kana") << QByteArray() << 4 << sjis("あ");
    QTest::newRow("small buffer exact fit")
        << true << QByteArray("kana") << QByteArray() << 5 << sjis("あい");
    QTest::newRow("buffer of one") << true << QByteArray("kana") << dflt << 1 << QByteArray();
}

void TestProfileFile::readDefaultsAndCuts() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, defaultValue);
    QFETCH(int, bufferSize);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    if (exists)
        QVERIFY(
            writeAll(path, QByteArrayLiteral("[Sec]\r\nempty=\r\nbare\r\nnul=ab \0cd\r\nkana=") +
                               sjis("あいう") + "\r\n"));
    QCOMPARE(getPrivateProfileString("Sec", key, defaultValue, path, bufferSize).toHex(' '),
             expected.toHex(' '));
}

void TestProfileFile::write_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << false << QByteArray() << QByteArray("Sec") << QByteArray("key")
                              << QByteArray("v") << QByteArray("[Sec]\r\nkey=v\r\n");
    QTest::newRow("new file from padded names")
        << false << QByteArray() << QByteArray(" Sec\t") << QByteArray("  key ") << QByteArray("v")
        << QByteArray("[Sec]\r\nkey=v\r\n");
    QTest::newRow("empty file") << true << QByteArray() << QByteArray("Sec") << QByteArray("key")
                                << QByteArray("v") << QByteArray("[Sec]\r\nkey=v\r\n");
    QTest::newRow("section appended")
        << true << QByteArray("[A]\r\na=1\r\n") << QByteArray("B") << QByteArray("k")
        << QByteArray("v") << QByteArray("[A]\r\na=1\r\n[B]\r\nk=v\r\n");
    QTest::newRow("section appended without final line end")
        << true << QByteArray("[A]\r\na=1") << QByteArray("B") << QByteArray("k") << QByteArray("v")
        << QByteArray("[A]\r\na=1\r\n[B]\r\nk=v\r\n");
    QTest::newRow("section appended to LF file")
        << true << QByteArray("[A]\na=1\n\n") << QByteArray("B") << QByteArray("k")
        << QByteArray("v") << QByteArray("[A]\na=1\n\n[B]\nk=v\n");
    QTest::newRow("commented header is no section")
        << true << QByteArray(";[B]\r\nk=1\r\n") << QByteArray("B") << QByteArray("k")
        << QByteArray("v") << QByteArray(";[B]\r\nk=1\r\n[B]\r\nk=v\r\n");
    QTest::newRow("key inserted before blank lines and next section")
        << true << QByteArray("[A]\r\na=1\r\n\r\n  \r\n[B]\r\nb=2\r\n") << QByteArray("a")
        << QByteArray("k") << QByteArray("v")
        << QByteArray("[A]\r\na=1\r\nk=v\r\n\r\n  \r\n[B]\r\nb=2\r\n");
    QTest::newRow("key inserted into first block only")
        << true << QByteArray("[A]\r\na=1\r\n[B]\r\n[a]\r\nk=old\r\n") << QByteArray("A")
        << QByteArray("k") << QByteArray("v")
        << QByteArray("[A]\r\na=1\r\nk=v\r\n[B]\r\n[a]\r\nk=old\r\n");
    QTest::newRow("key inserted under bare header at end")
        << true << QByteArray("x=0\n[A]") << QByteArray("A") << QByteArray("k") << QByteArray("v")
        << QByteArray("x=0\n[A]\nk=v\n");
    QTest::newRow("key inserted in CR-only file")
        << true << QByteArray("[A]\rk=1\r") << QByteArray("A") << QByteArray("n") << QByteArray("2")
        << QByteArray("[A]\rk=1\rn=2\r");
    QTest::newRow("key replaced in LF file")
        << true << QByteArray("[A]\nk=old\nz=1\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("new") << QByteArray("[A]\nk=new\nz=1\n");
    QTest::newRow("key replaced keeping spelling and other lines in mixed file")
        << true << QByteArray("; note\n[sec]\r\n\t MyKey = old \r\nx = 1\n[Other]\rmykey=2\r")
        << QByteArray("SEC") << QByteArray("mykey") << QByteArray("new")
        << QByteArray("; note\n[sec]\r\nMyKey=new\r\nx = 1\n[Other]\rmykey=2\r");
    QTest::newRow("first of duplicate keys replaced")
        << true << QByteArray("[A]\r\nk=1\r\nK=2\r\n") << QByteArray("A") << QByteArray("K")
        << QByteArray("9") << QByteArray("[A]\r\nk=9\r\nK=2\r\n");
    QTest::newRow("key line without equals replaced")
        << true << QByteArray("[A]\r\nk\r\nk=later\r\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("v") << QByteArray("[A]\r\nk=v\r\nk=later\r\n");
    QTest::newRow("last line without line end replaced")
        << true << QByteArray("[A]\r\nk=old") << QByteArray("A") << QByteArray("k")
        << QByteArray("new") << QByteArray("[A]\r\nk=new");
    QTest::newRow("empty value") << true << QByteArray("[A]\r\nk=old\r\n") << QByteArray("A")
                                 << QByteArray("k") << QByteArray() << QByteArray("[A]\r\nk=\r\n");
    QTest::newRow("value written as given")
        << true << QByteArray("[A]\r\nk=old\r\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("\"q\" ; [x]=") << QByteArray("[A]\r\nk=\"q\" ; [x]=\r\n");

    // Trail bytes 0x5C/0x5B/0x5D must not act as "\", "[" or "]", and ア (83 41) is not ヂ (83 61).
    const QByteArray japanese = sjis("[ソフト]\r\n表示=1\r\n[未知の節]\r\nパス=C:\\ソフト\\表\r\n"
                                     "[設定]\r\nヂ=di\r\n表示=旧\r\n\r\n[末尾]\r\n");
    QTest::newRow("japanese key replaced")
        << true << japanese << sjis("設定") << sjis("表示") << sjis("新しい値")
        << sjis("[ソフト]\r\n表示=1\r\n[未知の節]\r\nパス=C:\\ソフト\\表\r\n"
                "[設定]\r\nヂ=di\r\n表示=新しい値\r\n\r\n[末尾]\r\n");
    QTest::newRow("japanese key is not its byte-folded twin")
        << true << japanese << sjis("設定") << sjis("ア") << sjis("a")
        << sjis("[ソフト]\r\n表示=1\r\n[未知の節]\r\nパス=C:\\ソフト\\表\r\n"
                "[設定]\r\nヂ=di\r\n表示=旧\r\nア=a\r\n\r\n[末尾]\r\n");
    QTest::newRow("japanese section with trail 0x5C")
        << true << japanese << sjis("ソフト") << sjis("表示") << sjis("2")
        << sjis("[ソフト]\r\n表示=2\r\n[未知の節]\r\nパス=C:\\ソフト\\表\r\n"
                "[設定]\r\nヂ=di\r\n表示=旧\r\n\r\n[末尾]\r\n");
    QTest::newRow("japanese section appended")
        << true << japanese << sjis("ゾーン") << sjis("表") << sjis("ソ]")
        << japanese + sjis("[ゾーン]\r\n表=ソ]\r\n");
}

void TestProfileFile::write() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Setting.INI"));
    if (exists)
        QVERIFY(writeAll(path, before));

    QVERIFY(writePrivateProfileString(section, key, value, path));
    QCOMPARE(readAll(path), after);
    // The replacement leaves no temporary file behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Setting.INI")});
    // What was written is what a read gives back.
    QCOMPARE(getPrivateProfileString(section, key, "-", path), value);
}

void TestProfileFile::writeSameValueLeavesFileUntouched() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Setting.INI"));
    const QByteArray before = "[A]\n  k = same \r\nz=1";
    QVERIFY(writeAll(path, before));
    const QDateTime old = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }

    QVERIFY(writePrivateProfileString("a", "K", "same", path));
    QCOMPARE(readAll(path), before);
    // Even an identical rewrite would renew the modification time.
    QCOMPARE(QFileInfo(path).lastModified().toUTC(), old);
}

void TestProfileFile::writeKeepsPermissions() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Setting.INI"));
    QVERIFY(writeAll(path, "[A]\r\nk=1\r\n"));
    const QFileDevice::Permissions mode =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, mode));

    QVERIFY(writePrivateProfileString("A", "k", "2", path));
    QCOMPARE(readAll(path), QByteArray("[A]\r\nk=2\r\n"));
    const QFileDevice::Permissions userBits =
        QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    QCOMPARE(QFile::permissions(path) & ~userBits, mode);
}

void TestProfileFile::writeFailure_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("missing folder") << QStringLiteral("missing folder") << QByteArray("2");
    QTest::newRow("read-only file") << QStringLiteral("read-only") << QByteArray("2");
    QTest::newRow("folder in place of file") << QStringLiteral("folder") << QByteArray("2");
    // Written as given, these would plant a section and a key that were never asked for.
    QTest::newRow("LF in value") << QStringLiteral("existing") << QByteArray("2\n[B]\nn=3");
    QTest::newRow("CR in value") << QStringLiteral("existing") << QByteArray("2\r[B]\rn=3");
    QTest::newRow("NUL in value") << QStringLiteral("existing") << QByteArrayLiteral("2\0x");
}

void TestProfileFile::writeFailure() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, value);

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Setting.INI"));
    const QByteArray before = "[A]\r\nk=1\r\n";
    if (kind == u"missing folder") {
        path = dir.filePath(QStringLiteral("missing/Setting.INI"));
    } else if (kind == u"folder") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Setting.INI")));
    } else {
        QVERIFY(writeAll(path, before));
        if (kind == u"read-only")
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                    QFileDevice::ReadOther));
    }

    QVERIFY(!writePrivateProfileString("A", "k", value, path));
    QVERIFY(!writePrivateProfileString("B", "n", value, path));

    if (kind == u"missing folder") {
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    } else if (kind == u"folder") {
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(QDir(path).isEmpty());
    } else {
        QCOMPARE(readAll(path), before);
    }
    if (kind == u"read-only")
        QVERIFY(!(QFile::permissions(path) & QFileDevice::WriteOwner));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
             QFileInfo(path).isFile() ? 1 : 0);
}

void TestProfileFile::roundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("japanese path") << QStringLiteral("C:\\ソフト\\表示 写真\\ゾーン")
                                   << QStringLiteral("C:\\ソフト\\表示 写真\\ゾーン");
    QTest::newRow("half-width kana and full-width space")
        << QStringLiteral("ｶﾀｶﾅ\u3000値") << QStringLiteral("ｶﾀｶﾅ\u3000値");
    QTest::newRow("characters outside code page 932")
        << QStringLiteral("a\U0001F600b\u00e9") << QStringLiteral("a?be");
    QTest::newRow("folder name with a best-fit character")
        << QStringLiteral("D:\\café 写真") << QStringLiteral("D:\\cafe 写真");
}

void TestProfileFile::roundTrip() {
    QFETCH(QString, text);
    QFETCH(QString, readBack);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Slide.INI"));
    const QByteArray section = toCp932(QStringLiteral("スライド"));
    const QByteArray key = toCp932(QStringLiteral("フォルダ"));
    QVERIFY(writePrivateProfileString(section, key, toCp932(text), path));
    QCOMPARE(readAll(path), "[" + section + "]\r\n" + key + "=" + toCp932(readBack) + "\r\n");
    QCOMPARE(fromCp932(getPrivateProfileString(section, key, QByteArray(), path)), readBack);
}

void TestProfileFile::codePageControlCodes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("roundTrips");

    // Code page 932 keeps every ASCII control code as it is, ^Z included.
    QTest::newRow("^Z") << QByteArray("\x1a") << QStringLiteral("\u001a") << true;
    QTest::newRow("FS") << QByteArray("\x1c") << QStringLiteral("\u001c") << true;
    QTest::newRow("DEL") << QByteArray("\x7f") << QStringLiteral("\u007f") << true;
    QTest::newRow("between double-byte characters")
        << QByteArray("\x95\x5c\x1a\x83\x5d\x7f\x1c") << QStringLiteral("表\u001aゾ\u007f\u001c")
        << true;
    QTest::newRow("invalid byte") << QByteArray::fromHex("618062") << QStringLiteral("a\ufffdb")
                                  << false;
}

void TestProfileFile::codePageControlCodes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, roundTrips);

    QCOMPARE(fromCp932(bytes), text);
    if (roundTrips)
        QCOMPARE(toCp932(text).toHex(' '), bytes.toHex(' '));
}

void TestProfileFile::bestFit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    // Windows' best-fit conversion: a look-alike for a character code page 932 lacks.
    QTest::newRow("e acute") << QStringLiteral("\u00e9") << QByteArray("e");
    QTest::newRow("yen sign") << QStringLiteral("\u00a5") << QByteArray("\\");
    QTest::newRow("copyright") << QStringLiteral("\u00a9") << QByteArray("c");
    QTest::newRow("cent sign") << QStringLiteral("\u00a2") << QByteArray::fromHex("8191");
    QTest::newRow("pound sign") << QStringLiteral("\u00a3") << QByteArray::fromHex("8192");
    QTest::newRow("guillemet") << QStringLiteral("\u00ab") << QByteArray::fromHex("81e1");
    QTest::newRow("sharp s") << QStringLiteral("\u00df") << QByteArray("s");
    QTest::newRow("hiragana vu") << QStringLiteral("\u3094") << QByteArray::fromHex("8394");
    QTest::newRow("no look-alike") << QStringLiteral("\u20ac\U0001F600") << QByteArray("??");
    QTest::newRow("mixed with what code page 932 holds") << QStringLiteral("Zürich 表\u00b2")
                                                         << QByteArray("Zurich \x95\x5c"
                                                                       "2");
}

void TestProfileFile::bestFit() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(toCp932(text).toHex(' '), bytes.toHex(' '));
}

void TestProfileFile::ctrlZAroundNames() {
    // Old editors end a line with ^Z; it is blank around a name for the writer and the reader
    // alike, so both find the same entry.
    const QByteArray z("\x1a");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    QVERIFY(writeAll(path, "[Sec]\r\n" + z + "key" + z + "=old\r\n"));
    QVERIFY(writePrivateProfileString(z + "Sec", "key" + z, "new", path));
    QCOMPARE(readAll(path), QByteArray("[Sec]\r\nkey=new\r\n"));
    QCOMPARE(getPrivateProfileString("Sec" + z, z + "key", "dflt", path), QByteArray("new"));
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
