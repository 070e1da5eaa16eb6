#include "Cp932.h"

#include <algorithm>

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

namespace {

// The codec behind "CP932" uses IBM's table, which swaps three control codes: byte 0x1A is
// U+001C there, 0x1C is U+007F and 0x7F is U+001A (also its mark for an invalid byte). Code page
// 932 on Windows maps all three to themselves, and the profile reader depends on it: it treats
// ^Z as blank on the bytes and on the decoded names alike. None of the three is ever part of a
// double-byte character (trail bytes start at 0x40, and 0x7F is none), so they are converted
// here, around the codec.
bool isSwappedControl(char16_t c) {
    return c == 0x1a || c == 0x1c || c == 0x7f;
}

// What Windows writes for a character code page 932 lacks: a look-alike where its best-fit
// table has one (e with acute accent becomes e, the yen sign a backslash), else "?".
struct BestFit {
    char32_t character;
    quint16 bytes; // one byte, or lead byte * 256 + trail byte
};
constexpr BestFit kBestFit[] = {
#include "Cp932BestFit.inc"
};

QByteArray bestFit(char32_t c) {
    const auto* found =
        std::lower_bound(std::begin(kBestFit), std::end(kBestFit), c,
                         [](const BestFit& f, char32_t v) { return f.character < v; });
    if (found == std::end(kBestFit) || found->character != c)
        return QByteArrayLiteral("?");
    if (found->bytes < 0x100)
        return QByteArray(1, char(found->bytes));
    const char pair[2] = {char(found->bytes >> 8), char(found->bytes & 0xff)};
    return QByteArray(pair, 2);
}

QByteArray encodeRun(QStringView text) {
    QStringEncoder encoder("CP932");
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    // Slow path only for text with unmappable characters: encode one code point at a time.
    bytes.clear();
    const QList<uint> codePoints = text.toUcs4();
    for (uint cp : codePoints) {
        QStringEncoder one("CP932");
        const char32_t c = cp;
        const QByteArray part = one.encode(QString::fromUcs4(&c, 1));
        bytes += one.hasError() ? bestFit(c) : part;
    }
    return bytes;
}

QString decodeRun(QByteArrayView bytes) {
    QStringDecoder decoder("CP932");
    QString text = decoder.decode(bytes);
    // With 0x7F kept out of the run, U+001A can only be the codec's mark for an invalid byte.
    text.replace(QChar(0x1a), QChar(QChar::ReplacementCharacter));
    return text;
}

} // namespace

QByteArray toCp932(const QString& text) {
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isSwappedControl(text[i].unicode())) {
            bytes += encodeRun(QStringView(text).sliced(start, i - start));
            bytes += char(text[i].unicode());
            start = i + 1;
        }
    }
    return bytes + encodeRun(QStringView(text).sliced(start));
}

QString fromCp932(const QByteArray& bytes) {
    QString text;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (isSwappedControl(uchar(bytes[i]))) {
            text += decodeRun(QByteArrayView(bytes).sliced(start, i - start));
            text += QChar(uchar(bytes[i]));
            start = i + 1;
        }
    }
    return text + decodeRun(QByteArrayView(bytes).sliced(start));
}

} // namespace platform
