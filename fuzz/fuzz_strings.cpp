// The path and string routines on arbitrary text. Input layout:
//   byte 0      bit 0: the rest is UTF-16LE code units (any NUL, CR, lone surrogate) instead
//               of UTF-8
//   bytes 1-2   the field number n (16-bit, little-endian)
//   byte 3      the separator's length in characters (0 to 3), taken from the start of the text
//   the rest    separator, then the text
// Beyond crashes and sanitizer reports it checks each result against a plain reading of what
// the routine promises (QString::split, lastIndexOf and the like).
#include "Error.h"
#include "mdlComCtrlFile.h"
#include "mdlComCtrlString.h"

#include "FuzzSupport.h"

#include <QStringList>

namespace {

QString show(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            out += c;
    }
    return u'"' + out + u'"';
}

qint32 spaceTrimmed(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return qint32(last - first);
}

void checkLengths(const QString& text) {
    const qint32 size = qint32(text.size());
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    const qint32 n = fnGetStrLen(text);
    const qint32 a = fnGetAnsiStrLen(text);
    FUZZ_CHECK(n >= 0 && n <= size && a >= 0 && a <= size,
               QStringLiteral("lengths %1, %2 of %3").arg(n).arg(a).arg(show(text)));
    if (nul < 0) {
        FUZZ_CHECK(n == spaceTrimmed(text), QStringLiteral("fnGetStrLen %1").arg(n));
        const qsizetype space = text.indexOf(u' ');
        FUZZ_CHECK(a == (space >= 0 ? space : spaceTrimmed(text)),
                   QStringLiteral("fnGetAnsiStrLen %1 of %2").arg(a).arg(show(text)));
    } else {
        // Up to the NUL, or to a CR or LF before it that is not in the first position.
        FUZZ_CHECK(n == a && n <= nul && (n == nul || text[n] == u'\r' || text[n] == u'\n'),
                   QStringLiteral("lengths %1, %2 of %3").arg(n).arg(a).arg(show(text)));
    }
}

void checkFields(const QString& text, qint16 no, const QString& sep) {
    const QString what =
        QStringLiteral("n %1, separator %2, text %3").arg(no).arg(show(sep), show(text));
    const qint32 size = qint32(text.size());
    qint32 pos;
    QString field;
    try {
        pos = fnGetSepPos(text, no, sep);
        field = fsGetField(text, no, sep);
    } catch (const platform::RuntimeError&) {
        // Positions are 16-bit: only a hit beyond them may throw.
        FUZZ_CHECK(size >= 32767, what);
        return;
    }
    if (no < 1) {
        FUZZ_CHECK(pos == 0 && field == QStringLiteral("ERROR."), what);
        return;
    }
    FUZZ_CHECK(pos >= 1 && pos <= size + 1, QStringLiteral("position %1: ").arg(pos) + what);
    if (pos <= size)
        FUZZ_CHECK(text.mid(pos - 1, sep.size()) == sep,
                   QStringLiteral("position %1: ").arg(pos) + what);

    if (sep.size() == 1) {
        // Hits cannot overlap: the fields are exactly those of a plain split.
        const QStringList parts = text.split(sep);
        const QString expected = no <= parts.size() ? parts[no - 1] : QStringLiteral("ERROR.");
        FUZZ_CHECK(field == expected, QStringLiteral("field %1: ").arg(show(field)) + what);
    } else if (field != QStringLiteral("ERROR.")) {
        FUZZ_CHECK(text.contains(field), QStringLiteral("field %1: ").arg(show(field)) + what);
    }
}

void checkSuffix(const QString& name) {
    QString suffix;
    try {
        suffix = fsGetSuffix(name);
    } catch (const platform::RuntimeError&) {
        FUZZ_CHECK(name.count(u'.') >= 32766, show(name)); // the 16-bit field counter ran out
        return;
    }
    FUZZ_CHECK(suffix == name.mid(name.lastIndexOf(u'.') + 1),
               QStringLiteral("suffix %1 of %2").arg(show(suffix), show(name)));
}

void checkSplit(const QString& path, QChar sep) {
    static const QString kUnset = QStringLiteral("\x01unset");
    QString drive = kUnset, folder = kUnset, file = kUnset;
    const QString what = QStringLiteral("separator %1, path %2").arg(sep).arg(show(path));
    bool ok;
    try {
        ok = fbSplitPath(path, drive, folder, file, sep);
    } catch (const platform::RuntimeError&) {
        // Only a path with no separator at all within its measured length.
        FUZZ_CHECK(!path.left(fnGetStrLen(path)).contains(sep), what);
        return;
    }
    const QString measured = path.left(fnGetStrLen(path));
    if (drive != kUnset)
        FUZZ_CHECK(path.startsWith(drive), QStringLiteral("drive %1: ").arg(show(drive)) + what);
    if (!ok) {
        FUZZ_CHECK(folder == kUnset && file == kUnset, what);
        return;
    }
    FUZZ_CHECK(file != kUnset && !file.contains(sep) && measured.endsWith(sep + file),
               QStringLiteral("file %1: ").arg(show(file)) + what);
    if (folder != kUnset)
        FUZZ_CHECK(measured.endsWith(folder + sep + file) &&
                       (drive == kUnset ||
                        measured.size() >= drive.size() + folder.size() + 1 + file.size()),
                   QStringLiteral("folder %1: ").arg(show(folder)) + what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const bool utf16 = data[0] & 1;
    const qint16 no = qint16(quint16(data[1] | data[2] << 8));
    const int sepLength = data[3] % 4;
    const char* rest = reinterpret_cast<const char*>(data + 4);
    const qsizetype restSize = qsizetype(size - 4);
    const QString all = utf16 ? QString(reinterpret_cast<const QChar*>(
                                            QByteArray(rest, restSize & ~qsizetype(1)).constData()),
                                        restSize / 2)
                              : QString::fromUtf8(rest, restSize);
    const QString sep = all.left(sepLength);
    const QString text = all.mid(sepLength);

    checkLengths(text);
    checkFields(text, no, sep);
    checkSuffix(text);
    checkSplit(text, u'/');
    checkSplit(text, u'\\');
    return 0;
}
