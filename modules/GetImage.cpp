#include "GetImage.h"

#include <QFile>
#include <QFileInfo>

#include "DirSearch.h"
#include "Error.h"
#include "JpegMarkers.h"

namespace {

[[noreturn]] void cannotRead(const QString& path, const QFile& file) {
    throw platform::RuntimeError(
        QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
}

// The first `size` bytes of the file; bytes beyond the end of a short file stay 0.
QByteArray readHead(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        cannotRead(path, file);
    QByteArray buffer(size, '\0');
    qint64 got = 0;
    while (got < size) {
        const qint64 read = file.read(buffer.data() + got, size - got);
        if (read < 0)
            cannotRead(path, file);
        if (read == 0)
            break;
        got += read;
    }
    return buffer;
}

quint32 byteAt(const QByteArray& buffer, int offset) {
    return quint8(buffer[offset]);
}

qint32 littleEndian16(const QByteArray& b, int offset) {
    return qint32(byteAt(b, offset) + byteAt(b, offset + 1) * 256);
}

// A 32-bit size with its top bit set does not fit the signed result: a top-down BMP's
// negative height or a corrupt PNG must not come back as a huge or negative picture.
qint32 checked32(quint32 value, const QString& path) {
    if (value > 0x7FFFFFFFu)
        throw platform::RuntimeError(
            QStringLiteral("picture size %1 in %2 overflows").arg(value).arg(path));
    return qint32(value);
}

qint32 littleEndian32(const QByteArray& b, int offset, const QString& path) {
    return checked32(byteAt(b, offset) | byteAt(b, offset + 1) << 8 | byteAt(b, offset + 2) << 16 |
                         byteAt(b, offset + 3) << 24,
                     path);
}

qint32 bigEndian32(const QByteArray& b, int offset, const QString& path) {
    return checked32(byteAt(b, offset) << 24 | byteAt(b, offset + 1) << 16 |
                         byteAt(b, offset + 2) << 8 | byteAt(b, offset + 3),
                     path);
}

// Start-of-frame markers that carry the picture size; 0xC4, 0xC8 and 0xCC are not frames.
bool isFrameMarker(quint8 m) {
    return (m >= 0xC0 && m <= 0xC3) || (m >= 0xC9 && m <= 0xCB);
}

} // namespace

bool IsImageFileReadable(const QString& hsPath) {
    if (!platform::isFoundAsPlainFile(hsPath)) // hidden and system files count as missing
        return false;
    return QFileInfo(hsPath).size() - 1 > 0;
}

ImageInfo ReadBmpHeader(const QString& hsPath) {
    if (!IsImageFileReadable(hsPath))
        return {};
    const QByteArray b = readHead(hsPath, 54);
    if (byteAt(b, 0) != 0x42 || byteAt(b, 1) != 0x4D)
        return {};
    ImageInfo info;
    info.ImageType = 1;
    info.Width = littleEndian32(b, 18, hsPath);
    info.Height = littleEndian32(b, 22, hsPath);
    info.BPP = littleEndian16(b, 28);
    return info;
}

ImageInfo ReadGifHeader(const QString& hsPath) {
    if (!IsImageFileReadable(hsPath))
        return {};
    const QByteArray b = readHead(hsPath, 13);
    if (byteAt(b, 0) != 0x47 || byteAt(b, 1) != 0x49 || byteAt(b, 2) != 0x46)
        return {};
    ImageInfo info;
    info.ImageType = 2;
    info.Width = littleEndian16(b, 6);
    info.Height = littleEndian16(b, 8);
    info.BPP = qint32(byteAt(b, 10) & 7) + 1;
    return info;
}

ImageInfo ReadJpegHeader(const QString& hsPath) {
    if (!IsImageFileReadable(hsPath))
        return {};
    QFile file(hsPath);
    if (!file.open(QIODevice::ReadOnly))
        cannotRead(hsPath, file);
    const qint64 n = file.size();

    // Only the marker, the segment length and the frame size are read: the walk seeks past
    // the segments it skips, so a large picture costs no more than a small one.
    quint8 b[9];
    const auto readAt = [&](qint64 pos, qint64 count) {
        if (pos + count > n)
            throw platform::RuntimeError(
                QStringLiteral("%1 ends inside its JPEG header").arg(hsPath));
        if (!file.seek(pos) || file.read(reinterpret_cast<char*>(b), count) != count)
            cannotRead(hsPath, file);
    };

    readAt(0, 2);
    if (b[0] != 0xFF || b[1] != 0xD8)
        return {};
    qint64 pos = 2;
    while (pos < n - 4) {
        readAt(pos, 4);
        // 0xFF fill bytes before a marker, and stray bytes between segments, are skipped as
        // libjpeg skips them: cameras and editors write both into pictures every viewer shows.
        if (b[0] != 0xFF || b[1] == 0xFF || b[1] == 0x00) {
            pos = findJpegMarker(file, pos);
            if (pos < 0)
                return {};
            continue;
        }
        // The frame header comes before the first scan; what follows the scan's header is
        // coded data.
        if (b[1] == 0xDA)
            return {};
        if (isFrameMarker(b[1])) {
            readAt(pos, 9);
            ImageInfo info;
            info.ImageType = 3;
            info.Height = b[5] * 256 + b[6];
            info.Width = b[7] * 256 + b[8];
            info.BPP = 24;
            return info;
        }
        pos += 2 + (b[2] * 256 + b[3]);
    }
    return {};
}

ImageInfo ReadPngHeader(const QString& hsPath) {
    if (!IsImageFileReadable(hsPath))
        return {};
    const QByteArray b = readHead(hsPath, 29);
    if (byteAt(b, 0) != 0x89 || byteAt(b, 1) != 0x50 || byteAt(b, 2) != 0x4E ||
        byteAt(b, 3) != 0x47)
        return {};
    ImageInfo info;
    info.ImageType = 4;
    info.Width = bigEndian32(b, 16, hsPath);
    info.Height = bigEndian32(b, 20, hsPath);
    const qint32 depth = qint32(byteAt(b, 24));
    switch (byteAt(b, 25)) {
    case 0: // greyscale
    case 3: // palette
        info.BPP = depth;
        break;
    case 2: // truecolour
        info.BPP = depth * 3;
        break;
    default: // with alpha, or unknown
        info.BPP = 0;
        break;
    }
    return info;
}

ImageInfo GetImageInfo(const QString& hsPath, qint32 hnType) {
    if (!IsImageFileReadable(hsPath))
        return {};
    switch (hnType) {
    case 0: {
        const QByteArray b = readHead(hsPath, 4);
        const auto is = [&](int offset, quint32 value) { return byteAt(b, offset) == value; };
        if (is(0, 0x42) && is(1, 0x4D))
            return ReadBmpHeader(hsPath);
        if (is(0, 0x47) && is(1, 0x49) && is(2, 0x46))
            return ReadGifHeader(hsPath);
        if (is(0, 0xFF) && is(1, 0xD8))
            return ReadJpegHeader(hsPath);
        if (is(0, 0x89) && is(1, 0x50) && is(2, 0x4E) && is(3, 0x47))
            return ReadPngHeader(hsPath);
        return {};
    }
    case 1:
        return ReadBmpHeader(hsPath);
    case 2:
        return ReadGifHeader(hsPath);
    case 3:
        return ReadJpegHeader(hsPath);
    case 4:
        return ReadPngHeader(hsPath);
    case 5: {
        const QString name = hsPath.toLower();
        const auto like = [&](const char* pattern) {
            return platform::wildcardMatch(QLatin1String(pattern), name);
        };
        if (like("*.bmp"))
            return ReadBmpHeader(hsPath);
        if (like("*.gif"))
            return ReadGifHeader(hsPath);
        if (like("*.jpg") || like("*.jpeg"))
            return ReadJpegHeader(hsPath);
        if (like("*.png"))
            return ReadPngHeader(hsPath);
        return {};
    }
    default:
        return {};
    }
}
