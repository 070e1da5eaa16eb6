// The header reader on arbitrary file contents, with every type argument and every file-name
// extension that type 5 tells apart. Besides crashes and sanitizer reports it checks what a
// caller relies on: a result that names no format is all zeros, a format is only ever the one
// asked for or the one the signature names, sizes are never negative, and the fields come from
// the bytes where each format keeps them.
#include "Error.h"
#include "GetImage.h"
#include "JpegMarkers.h"

#include "FuzzSupport.h"

#include <QFile>

#include <climits>

#include <unistd.h>

namespace {

// The same bytes under every name: hard links to one file.
const char* const kNames[] = {"picture.bin", "picture.bmp",  "picture.gif",
                              "picture.jpg", "picture.JPEG", "picture.png"};

QString describe(const ImageInfo& info, qint32 type, const QString& path) {
    return QStringLiteral("type %1 on %2 gave {%3, %4, %5, %6}")
        .arg(type)
        .arg(path)
        .arg(info.ImageType)
        .arg(info.Width)
        .arg(info.Height)
        .arg(info.BPP);
}

struct Bytes {
    const uint8_t* data;
    size_t size;
    // Short files read as if padded with zeros.
    quint32 at(size_t i) const { return i < size ? data[i] : 0; }
    quint32 le16(size_t i) const { return at(i) | at(i + 1) << 8; }
    quint32 le32(size_t i) const { return le16(i) | le16(i + 2) << 16; }
    quint32 be32(size_t i) const {
        return at(i) << 24 | at(i + 1) << 16 | at(i + 2) << 8 | at(i + 3);
    }
};

// The format the first four bytes announce (what type 0 picks).
qint32 signatureType(const Bytes& b) {
    if (b.at(0) == 'B' && b.at(1) == 'M')
        return 1;
    if (b.at(0) == 'G' && b.at(1) == 'I' && b.at(2) == 'F')
        return 2;
    if (b.at(0) == 0xFF && b.at(1) == 0xD8)
        return 3;
    if (b.at(0) == 0x89 && b.at(1) == 'P' && b.at(2) == 'N' && b.at(3) == 'G')
        return 4;
    return 0;
}

qint32 extensionType(const QString& name) {
    const QString lower = name.toLower();
    if (lower.endsWith(u".bmp"))
        return 1;
    if (lower.endsWith(u".gif"))
        return 2;
    if (lower.endsWith(u".jpg") || lower.endsWith(u".jpeg"))
        return 3;
    if (lower.endsWith(u".png"))
        return 4;
    return 0;
}

bool isFrameMarker(quint32 m) {
    return (m >= 0xC0 && m <= 0xC3) || (m >= 0xC9 && m <= 0xCB);
}

// A JPEG size must come from a whole start-of-frame segment somewhere in the file.
bool hasFrameWith(const Bytes& b, const ImageInfo& info) {
    for (size_t p = 2; p + 9 <= b.size; ++p) {
        if (b.at(p) == 0xFF && isFrameMarker(b.at(p + 1)) &&
            qint32(b.at(p + 5) * 256 + b.at(p + 6)) == info.Height &&
            qint32(b.at(p + 7) * 256 + b.at(p + 8)) == info.Width)
            return true;
    }
    return false;
}

void checkFields(const Bytes& b, const ImageInfo& info, const QString& what) {
    switch (info.ImageType) {
    case 1:
        FUZZ_CHECK(quint32(info.Width) == b.le32(18) && quint32(info.Height) == b.le32(22) &&
                       quint32(info.BPP) == b.le16(28),
                   what);
        break;
    case 2:
        FUZZ_CHECK(quint32(info.Width) == b.le16(6) && quint32(info.Height) == b.le16(8) &&
                       quint32(info.BPP) == (b.at(10) & 7) + 1,
                   what);
        break;
    case 3:
        FUZZ_CHECK(info.BPP == 24 && hasFrameWith(b, info), what);
        break;
    case 4: {
        FUZZ_CHECK(quint32(info.Width) == b.be32(16) && quint32(info.Height) == b.be32(20), what);
        const qint32 depth = qint32(b.at(24));
        const quint32 colour = b.at(25);
        const qint32 bpp = colour == 0 || colour == 3 ? depth : colour == 2 ? depth * 3 : 0;
        FUZZ_CHECK(info.BPP == bpp, what);
        break;
    }
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString first = [] {
        const QString path = fuzz::scratchPath(QString::fromLatin1(kNames[0]));
        fuzz::overwrite(path, nullptr, 0);
        for (const char* name : kNames) {
            const QString link = fuzz::scratchPath(QString::fromLatin1(name));
            if (link != path && ::link(QFile::encodeName(path).constData(),
                                       QFile::encodeName(link).constData()) != 0)
                abort();
        }
        return path;
    }();
    fuzz::overwrite(first, data, size);
    const Bytes bytes{data, size};
    const bool readable = size >= 2; // a file of one byte or none counts as unreadable

    // The EXIF orientation is one of the eight, whatever the bytes.
    const int orientation = exifOrientation(first);
    FUZZ_CHECK(orientation >= 1 && orientation <= 8,
               QStringLiteral("orientation %1").arg(orientation));

    // The name only matters to type 5: the others run on one name.
    for (const char* name : kNames) {
        const QString path = fuzz::scratchPath(QString::fromLatin1(name));
        const bool firstName = name == kNames[0];
        for (const qint32 type : {0, 1, 2, 3, 4, 5, -1, 6, INT_MIN, INT_MAX}) {
            if (type != 5 && !firstName)
                continue;
            ImageInfo info;
            try {
                info = GetImageInfo(path, type);
            } catch (const platform::RuntimeError&) {
                continue; // a cut-off JPEG frame or an oversized BMP or PNG: the caller's case
            }
            const QString what = describe(info, type, path);
            qint32 allowed = 0;
            if (type >= 1 && type <= 4)
                allowed = type;
            else if (type == 0)
                allowed = signatureType(bytes);
            else if (type == 5)
                allowed = extensionType(path);
            if (!readable)
                allowed = 0;

            FUZZ_CHECK(info.ImageType == 0 || info.ImageType == allowed, what);
            if (info.ImageType == 0)
                FUZZ_CHECK(info == ImageInfo(), what);
            FUZZ_CHECK(info.Width >= 0 && info.Height >= 0 && info.BPP >= 0, what);
            checkFields(bytes, info, what);
        }
    }
    return 0;
}
