#include "ProfileFile.h"

#include "Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

namespace platform {

namespace {

// In code page 932 a trail byte is always 0x40 or above, so these bytes (and CR, LF, NUL, "=",
// the quotes) are characters of their own wherever they occur and can be handled on the bytes.
// "[" and "]" are not: they are trail bytes of ゾ, 表 and the like, so headers are read decoded.
bool isBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\x1a';
}

bool isBlankChar(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == QChar(0x1a);
}

bool isLeadByte(uchar c) {
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

QByteArray trimmedBytes(QByteArrayView bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlankByte(bytes[begin]))
        ++begin;
    while (end > begin && isBlankByte(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin).toByteArray();
}

QString trimmedText(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankChar(text[begin]))
        ++begin;
    while (end > begin && isBlankChar(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// Only ASCII letters fold: full-width letters and kana must match exactly.
bool sameName(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'a' && x <= u'z')
            x -= u'a' - u'A';
        if (y >= u'a' && y <= u'z')
            y -= u'a' - u'A';
        if (x != y)
            return false;
    }
    return true;
}

struct Line {
    qsizetype begin = 0;  // first byte of the line
    qsizetype end = 0;    // one past its last byte before the line end
    qsizetype eolEnd = 0; // one past its line end (== end on an unterminated last line)
    bool blank = true;
    bool header = false;
    QString sectionName; // header lines
    QString keyName;     // other non-blank lines: decoded and trimmed
    QByteArray rawKey;   // the key as the file spells it
    bool hasEquals = false;
    QByteArray rawValue; // after the "=", cut at a NUL, trimmed
};

QList<Line> parseLines(const QByteArray& bytes) {
    QList<Line> lines;
    qsizetype pos = 0;
    const qsizetype size = bytes.size();
    while (pos < size) {
        Line line;
        line.begin = pos;
        while (pos < size && bytes[pos] != '\r' && bytes[pos] != '\n')
            ++pos;
        line.end = pos;
        if (pos < size && bytes[pos] == '\r')
            ++pos;
        if (pos < size && bytes[pos] == '\n')
            ++pos;
        line.eolEnd = pos;

        const QByteArray content =
            trimmedBytes(QByteArrayView(bytes).sliced(line.begin, line.end - line.begin));
        line.blank = content.isEmpty();
        if (!line.blank) {
            const QString text = fromCp932(content);
            const qsizetype close = text.lastIndexOf(u']');
            if (text.startsWith(u'[') && close > 0) {
                line.header = true;
                line.sectionName = trimmedText(text.sliced(1, close - 1));
            } else {
                const qsizetype equals = content.indexOf('=');
                line.hasEquals = equals >= 0;
                line.rawKey = trimmedBytes(
                    QByteArrayView(content).first(line.hasEquals ? equals : content.size()));
                line.keyName = fromCp932(line.rawKey);
                if (line.hasEquals) {
                    QByteArrayView value = QByteArrayView(content).sliced(equals + 1);
                    const qsizetype nul = value.indexOf('\0');
                    if (nul >= 0)
                        value = value.first(nul);
                    line.rawValue = trimmedBytes(value);
                }
            }
        }
        lines.append(line);
    }
    return lines;
}

struct Lookup {
    qsizetype header = -1;   // index of the header of the first block of the section
    qsizetype blockEnd = -1; // index of the line after that block
    qsizetype keyLine = -1;  // first line of the block whose key matches
};

Lookup find(const QList<Line>& lines, const QString& section, const QString& key) {
    Lookup found;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].header && sameName(lines[i].sectionName, section)) {
            found.header = i;
            break;
        }
    }
    if (found.header < 0)
        return found;
    qsizetype i = found.header + 1;
    for (; i < lines.size() && !lines[i].header; ++i) {
        if (found.keyLine < 0 && !lines[i].blank && sameName(lines[i].keyName, key))
            found.keyLine = i;
    }
    found.blockEnd = i;
    return found;
}

// Cuts CP932 bytes to at most `limit` bytes, dropping a double-byte character that would
// straddle the cut.
QByteArray cutCp932(const QByteArray& bytes, qsizetype limit) {
    if (limit <= 0)
        return {};
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype width =
            isLeadByte(static_cast<uchar>(bytes[pos])) && pos + 1 < bytes.size() ? 2 : 1;
        if (pos + width > limit)
            break;
        pos += width;
    }
    return bytes.first(pos);
}

QByteArray unquoted(const QByteArray& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

QString queryName(const QByteArray& name) {
    return trimmedText(fromCp932(name));
}

QByteArray lineEndOf(const QByteArray& bytes, const QList<Line>& lines) {
    for (const Line& line : lines) {
        if (line.eolEnd > line.end)
            return bytes.sliced(line.end, line.eolEnd - line.end);
    }
    return QByteArrayLiteral("\r\n");
}

} // namespace

QByteArray getPrivateProfileString(const QByteArray& section, const QByteArray& key,
                                   const QByteArray& defaultValue, const QString& filePath,
                                   int bufferSize) {
    const qsizetype limit = bufferSize - 1;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return cutCp932(defaultValue, limit);
    // One read of the whole file: a writer replaces it by a rename, so this sees one version.
    const QByteArray bytes = file.readAll();
    file.close();

    const QList<Line> lines = parseLines(bytes);
    const Lookup found = find(lines, queryName(section), queryName(key));
    if (found.keyLine < 0)
        return cutCp932(defaultValue, limit);
    // The value goes through Unicode and back, as the Windows call's does.
    const QString value = fromCp932(unquoted(lines[found.keyLine].rawValue));
    return cutCp932(toCp932(value), limit);
}

bool writePrivateProfileString(const QByteArray& section, const QByteArray& key,
                               const QByteArray& value, const QString& filePath) {
    // A line break would split the entry and could plant other keys or sections (a folder name
    // on Linux may hold one); a NUL would cut the value on reading. Refuse rather than corrupt.
    for (const QByteArray* part : {&section, &key, &value}) {
        if (part->contains('\r') || part->contains('\n') || part->contains('\0'))
            return false;
    }
    const QFileInfo info(filePath);
    if (info.isDir())
        return false;
    QByteArray bytes;
    if (info.exists()) {
        // Decided from the permission bits: as root, access() calls every file writable,
        // while the Windows read-only attribute stops even an administrator.
        if (!(info.permissions() & QFileDevice::WriteOwner))
            return false;
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
    } else if (!info.absoluteDir().exists()) {
        return false;
    }

    const QByteArray sectionBytes = trimmedBytes(section);
    const QByteArray keyBytes = trimmedBytes(key);
    const QList<Line> lines = parseLines(bytes);
    const QByteArray eol = lineEndOf(bytes, lines);
    const Lookup found = find(lines, fromCp932(sectionBytes), fromCp932(keyBytes));

    QByteArray result;
    if (found.header < 0) {
        result = bytes;
        if (!result.isEmpty() && !result.endsWith('\r') && !result.endsWith('\n'))
            result += eol;
        result += '[' + sectionBytes + ']' + eol + keyBytes + '=' + value + eol;
    } else if (found.keyLine >= 0) {
        const Line& line = lines[found.keyLine];
        if (line.hasEquals && line.rawValue == value)
            return true; // already stored: leave the file as it is
        result = bytes.first(line.begin) + line.rawKey + '=' + value + bytes.sliced(line.end);
    } else {
        qsizetype after = found.header;
        for (qsizetype i = found.header + 1; i < found.blockEnd; ++i) {
            if (!lines[i].blank)
                after = i;
        }
        const Line& line = lines[after];
        const QByteArray newLine = keyBytes + '=' + value + eol;
        result = bytes.first(line.eolEnd);
        if (line.eolEnd == line.end)
            result += eol; // the file ended on this line without a line end
        result += newLine + bytes.sliced(line.eolEnd);
    }

    QSaveFile out(filePath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(result) != result.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace platform
