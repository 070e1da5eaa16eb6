#include "Cp932.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

QByteArray toCp932(const QString& text) {
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
        bytes += one.hasError() ? QByteArray("?") : part;
    }
    return bytes;
}

QString fromCp932(const QByteArray& bytes) {
    QStringDecoder decoder("CP932");
    return decoder.decode(bytes);
}

} // namespace platform
