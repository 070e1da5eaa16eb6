#include "JpegMarkers.h"

#include <QByteArray>
#include <QFile>

bool startsAsJpeg(QIODevice& file) {
    char soi[2];
    return file.seek(0) && file.read(soi, 2) == 2 && uchar(soi[0]) == 0xFF && uchar(soi[1]) == 0xD8;
}

qint64 findJpegMarker(QIODevice& file, qint64 pos) {
    // Read in blocks: stray data between segments may be long.
    constexpr qint64 kBlock = 4096;
    bool afterFF = false;
    for (;;) {
        if (!file.seek(pos))
            return -1;
        const QByteArray block = file.read(kBlock);
        if (block.isEmpty())
            return -1;
        for (qsizetype i = 0; i < block.size(); ++i) {
            const uchar b = uchar(block[i]);
            if (afterFF && b != 0xFF && b != 0x00)
                return pos + i - 1;
            afterFF = b == 0xFF;
        }
        pos += block.size();
    }
}

namespace {

// Reads `count` bytes of `bytes` at `at` in the byte order of the EXIF block; -1 outside it.
qint64 number(const QByteArray& bytes, qint64 at, int count, bool bigEndian) {
    if (at < 0 || at + count > bytes.size())
        return -1;
    qint64 value = 0;
    for (int i = 0; i < count; ++i) {
        const uchar b = uchar(bytes[at + (bigEndian ? i : count - 1 - i)]);
        value = value * 256 + b;
    }
    return value;
}

// The orientation tag (0x0112) of the first image directory of an EXIF block ("Exif\0\0" and
// a TIFF header), or 1.
int orientationOf(const QByteArray& exif) {
    if (!exif.startsWith(QByteArray("Exif\0\0", 6)))
        return 1;
    const QByteArray tiff = exif.mid(6);
    bool big;
    if (tiff.startsWith("MM"))
        big = true;
    else if (tiff.startsWith("II"))
        big = false;
    else
        return 1;
    if (number(tiff, 2, 2, big) != 42)
        return 1;
    const qint64 directory = number(tiff, 4, 4, big);
    const qint64 entries = number(tiff, directory, 2, big);
    for (qint64 i = 0; i < entries; ++i) {
        const qint64 entry = directory + 2 + 12 * i;
        const qint64 tag = number(tiff, entry, 2, big);
        if (tag < 0)
            return 1;
        if (tag != 0x0112)
            continue;
        // A SHORT, held in the first two bytes of the value field.
        if (number(tiff, entry + 2, 2, big) != 3)
            return 1;
        const qint64 value = number(tiff, entry + 8, 2, big);
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

} // namespace

int exifOrientation(QIODevice& file) {
    // The segments before the frame header, where a camera puts its EXIF block (APP1).
    if (!startsAsJpeg(file))
        return 1;
    qint64 pos = 2;
    for (;;) {
        pos = findJpegMarker(file, pos);
        char head[4];
        if (pos < 0 || !file.seek(pos) || file.read(head, 4) != 4)
            return 1;
        const uchar marker = uchar(head[1]);
        if (isStartOfFrame(marker) || marker == 0xDA || marker == 0xD9)
            return 1; // the frame or the scan came first: no EXIF block
        const qint64 length = uchar(head[2]) * 256 + uchar(head[3]);
        if (length < 2)
            return 1;
        if (marker == 0xE1) {
            const QByteArray payload = file.read(length - 2);
            if (payload.startsWith(QByteArray("Exif\0\0", 6)))
                return orientationOf(payload);
        }
        pos += 2 + length;
    }
}

int exifOrientation(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    return exifOrientation(file);
}
