// The settings file on arbitrary bytes: load it as the program does at start-up, store the two
// values the program writes back at shutdown and one more entry named by the file itself, then
// read everything back. Beyond crashes and sanitizer reports it checks that
//   - reading never changes the file, and a value never comes back longer than its buffer;
//   - a successful load gives a debug level of 0 to 4;
//   - every value written reads back as written (cut to 255 bytes), and a file that loaded
//     before the write-back still loads after it, with the new values;
//   - entries of other sections read back unchanged;
//   - writing the same values again leaves the file byte for byte as it was.
#include "Cp932.h"
#include "ProfileFile.h"
#include "Services.h"
#include "mdlComSlideIni.h"
#include "mdlSlideSys.h"

#include "FuzzSupport.h"

#include <QList>
#include <QPair>
#include <QStringList>

namespace {

// The program file the settings are keyed by: its base name is the "RootPath" key.
class FuzzServices : public platform::SystemServices {
public:
    QString programFilePath() const override {
        return fuzz::scratchPath(QStringLiteral("pixelion"));
    }
    QString userProfileFolder() const override { return fuzz::scratch().path(); }
};

const QString kKey = QStringLiteral("pixelion");
// The sections the program reads; the extra entry goes elsewhere so the checks stay exact.
const QStringList kProgramSections = {QStringLiteral("DEBUG"), QStringLiteral("SETUP"),
                                      QStringLiteral("ROOTPATH")};

struct Sample {
    QString written;
    QString readBack; // cut to 255 bytes without splitting a character
};

// Folders as a user's may be: Japanese names whose second bytes are "\", "[" or "]" (表, ゼ,
// ゾ), both separators, text that looks like a header or an entry, nothing at all, and values
// that the 255-byte buffer cuts, once in the middle of a double-byte character.
const QList<Sample>& samples() {
    static const QList<Sample> list = [] {
        QList<Sample> l;
        for (const QString& same :
             {QStringLiteral("/home/利用者/写真/2024年"), QStringLiteral("C:\\Users\\表示\\ソフト"),
              QStringLiteral("\\\\server\\共有\\ゼロ\\ゾーン[1]"), QStringLiteral("[RootPath]"),
              QStringLiteral("a=b;c=d"), QString(), QStringLiteral("ｶﾀｶﾅ ﾌｫﾙﾀﾞ")})
            l.append({same, same});
        l.append({QString(300, u'x'), QString(255, u'x')});
        l.append({QString(150, u'あ'), QString(127, u'あ')});
        return l;
    }();
    return list;
}

quint32 fnv1a(const uint8_t* data, size_t size) {
    quint32 h = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == QChar(0x1a) || c.isSpace();
}

QString folded(const QByteArray& name) {
    QString text = platform::fromCp932(name);
    while (!text.isEmpty() && isBlank(text.front()))
        text.remove(0, 1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text.toUpper();
}

// The file's blanks are space, tab, CR and 0x1A; a key whose first other byte is "[" would read
// back as a section header.
bool startsSection(const QByteArray& name) {
    for (const char c : name) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\x1a')
            return c == '[';
    }
    return false;
}

bool isValidName(const QByteArray& name) {
    return !folded(name).isEmpty() && platform::toCp932(platform::fromCp932(name)) == name &&
           !name.contains('\r') && !name.contains('\n') && !name.contains('\0');
}

using Entry = QPair<QByteArray, QByteArray>; // section, key

// Section and key names as the file spells them, found the simple way; the program's reader
// decides what they mean, this only picks names worth asking for.
QList<Entry> entriesOf(const QByteArray& bytes) {
    QList<Entry> entries;
    QByteArray section;
    bool inSection = false;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        const qsizetype close = line.lastIndexOf(']');
        if (line.startsWith('[') && close > 0) {
            section = line.mid(1, close - 1);
            inSection = true;
        } else if (inSection && line.contains('=')) {
            entries.append({section, line.left(line.indexOf('='))});
        }
        if (entries.size() == 8)
            break;
    }
    return entries;
}

QByteArray read(const QByteArray& section, const QByteArray& key, const QString& file,
                int bufferSize = 256) {
    return platform::getPrivateProfileString(section, key, QByteArray(), file, bufferSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzServices services;
    platform::setServices(&services);
    static const QString ini = fuzz::scratchPath(QStringLiteral("Slide.INI"));
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    fuzz::overwrite(ini, data, size);

    // Load as at start-up.
    resetSlideSettings();
    const bool loaded = fbReadSlideIni(ini);
    const SlideSettingsRecord before = SlideSettings;
    if (loaded)
        FUZZ_CHECK(before.DbgLevel >= 0 && before.DbgLevel <= 4,
                   QStringLiteral("DbgLevel %1").arg(before.DbgLevel));

    // Plain reads of whatever the file names, at several buffer sizes.
    const QList<Entry> entries = entriesOf(input);
    QList<QByteArray> values;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const int bufferSize = int(i % 4); // the small buffers, one per entry
        const QByteArray cut = read(entries[i].first, entries[i].second, ini, bufferSize);
        FUZZ_CHECK(cut.size() <= qMax(0, bufferSize - 1),
                   QStringLiteral("%1 bytes from a buffer of %2").arg(cut.size()).arg(bufferSize));
        values.append(read(entries[i].first, entries[i].second, ini));
    }
    const QByteArray debugLevel = read("Debug", "DbgLevel", ini);
    FUZZ_CHECK(fuzz::readAll(ini) == input, QStringLiteral("reading changed the file"));

    // The write-back of shutdown, and one entry the file itself names.
    const quint32 hash = fnv1a(data, size);
    const Sample& sample = samples()[hash % samples().size()];
    const qint32 interval = qint32(hash * 2654435761u);
    qsizetype own = -1;
    for (qsizetype i = 0; i < entries.size() && own < 0; ++i) {
        const qsizetype k = (hash / 7 + i) % entries.size();
        // A key that starts with "[" after the blanks reads as a section header: no writer can
        // store it.
        if (isValidName(entries[k].first) && isValidName(entries[k].second) &&
            !startsSection(entries[k].second) &&
            !kProgramSections.contains(folded(entries[k].first)))
            own = k;
    }
    const QString ownValue = QStringLiteral("再生値");
    const auto writeAll = [&] {
        FUZZ_CHECK(gbPutIniString(ini, QStringLiteral("RootPath"), kKey, sample.written),
                   QStringLiteral("RootPath not written"));
        FUZZ_CHECK(gbPutIniString(ini, QStringLiteral("SETUP"), QStringLiteral("Interval"),
                                  QString::number(interval)),
                   QStringLiteral("Interval not written"));
        if (own >= 0)
            FUZZ_CHECK(platform::writePrivateProfileString(entries[own].first, entries[own].second,
                                                           platform::toCp932(ownValue), ini),
                       QStringLiteral("own entry not written"));
    };
    writeAll();
    const QByteArray written = fuzz::readAll(ini);

    QString text;
    FUZZ_CHECK(gbGetIniString(ini, QStringLiteral("RootPath"), kKey, text) &&
                   text == sample.readBack,
               QStringLiteral("RootPath read back as \"%1\"").arg(text));
    FUZZ_CHECK(gbGetIniString(ini, QStringLiteral("SETUP"), QStringLiteral("Interval"), text) &&
                   text == QString::number(interval),
               QStringLiteral("Interval read back as \"%1\"").arg(text));
    if (own >= 0)
        FUZZ_CHECK(
            read(entries[own].first, entries[own].second, ini) == platform::toCp932(ownValue),
            QStringLiteral("own entry [%1] %2 read back as \"%3\"")
                .arg(platform::fromCp932(entries[own].first),
                     platform::fromCp932(entries[own].second),
                     platform::fromCp932(read(entries[own].first, entries[own].second, ini))));
    FUZZ_CHECK(read("Debug", "DbgLevel", ini) == debugLevel, QStringLiteral("DbgLevel changed"));

    const QStringList touched = {QStringLiteral("ROOTPATH"), QStringLiteral("SETUP"),
                                 own >= 0 ? folded(entries[own].first) : QString()};
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (touched.contains(folded(entries[i].first)))
            continue;
        FUZZ_CHECK(read(entries[i].first, entries[i].second, ini) == values[i],
                   QStringLiteral("[%1] %2 changed")
                       .arg(platform::fromCp932(entries[i].first),
                            platform::fromCp932(entries[i].second)));
    }

    // Load again, as the next start would.
    resetSlideSettings();
    const bool reloaded = fbReadSlideIni(ini);
    if (loaded)
        FUZZ_CHECK(reloaded, QStringLiteral("a file that loaded no longer loads"));
    if (reloaded) {
        FUZZ_CHECK(SlideSettings.Interval == interval && SlideSettings.RootPath == sample.readBack,
                   QStringLiteral("reloaded Interval %1, RootPath \"%2\"")
                       .arg(SlideSettings.Interval)
                       .arg(SlideSettings.RootPath));
        if (loaded)
            FUZZ_CHECK(SlideSettings.DbgLevel == before.DbgLevel,
                       QStringLiteral("DbgLevel %1 became %2")
                           .arg(before.DbgLevel)
                           .arg(SlideSettings.DbgLevel));
    }

    writeAll();
    FUZZ_CHECK(fuzz::readAll(ini) == written, QStringLiteral("the same write changed the file"));
    platform::setServices(nullptr);
    return 0;
}
