#include "PictureLoader.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QTransform>

#include "Error.h"
#include "JpegMarkers.h"
#include "Memory.h"

namespace display {

namespace {

using platform::RuntimeError;

// A header may claim any size: a file of a kilobyte claiming 20000 x 20000 pixels would make a
// progressive decode zero-fill gigabytes even at 1/8 scale. The largest camera pictures are
// about 200 megapixels; more than 2^28 (16384 x 16384) is refused before anything is decoded.
constexpr qint64 kMaxPixels = qint64(1) << 28;

// What the decoder will need, from a JPEG's frame header.
struct Frame {
    bool found = false;
    bool progressive = false;
    qint64 coefficientBytes = 0; // two bytes for each sample of each component
};

// Walks the segments up to the frame header, seeking past the rest: a large file costs no more
// than a small one. Fill bytes and stray bytes between segments are skipped, as the decoder
// skips them. Anything unreadable gives no frame; the decoder then says what is wrong.
Frame readFrame(QFile& file) {
    if (!startsAsJpeg(file))
        return {};
    qint64 pos = 2;
    for (;;) {
        pos = findJpegMarker(file, pos);
        if (pos < 0 || !file.seek(pos + 1))
            return {};
        const QByteArray m = file.read(3);
        if (m.size() < 1)
            return {};
        const int marker = quint8(m[0]);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            pos += 2; // no length
            continue;
        }
        if (m.size() < 3 || marker == 0xD9 || marker == 0xDA)
            return {};
        const int length = quint8(m[1]) * 256 + quint8(m[2]);
        if (!isStartOfFrame(marker)) {
            pos += 2 + length;
            continue;
        }
        const QByteArray h = file.read(6);
        if (h.size() < 6)
            return {};
        const qint64 height = quint8(h[1]) * 256 + quint8(h[2]);
        const qint64 width = quint8(h[3]) * 256 + quint8(h[4]);
        const int components = quint8(h[5]);
        const QByteArray c = file.read(3 * components);
        if (c.size() < 3 * components)
            return {};
        int hMax = 1, vMax = 1;
        for (int i = 0; i < components; ++i) {
            hMax = qMax(hMax, quint8(c[3 * i + 1]) >> 4);
            vMax = qMax(vMax, quint8(c[3 * i + 1]) & 15);
        }
        Frame f{true, marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE, 0};
        for (int i = 0; i < components; ++i) {
            const int hs = qMax(1, quint8(c[3 * i + 1]) >> 4),
                      vs = qMax(1, quint8(c[3 * i + 1]) & 15);
            const qint64 blocksAcross = (width * hs / hMax + 7) / 8;
            const qint64 blocksDown = (height * vs / vMax + 7) / 8;
            f.coefficientBytes += blocksAcross * blocksDown * 64 * 2;
        }
        return f;
    }
}

// The picture as it stood when taken, from the picture as stored and its EXIF orientation.
QImage oriented(const QImage& stored, int orientation) {
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return stored.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6:
        return stored.transformed(QTransform().rotate(90));
    case 7:
        return stored.transformed(QTransform().rotate(270)).mirrored(true, false);
    case 8:
        return stored.transformed(QTransform().rotate(270));
    default:
        return stored;
    }
}

} // namespace

bool progressiveFits(qint64 coefficientBytes, qint64 fileBytes, qint64 availableBytes) {
    // Every block of a complete picture costs at least one bit of the file in its first scan and
    // holds 128 bytes of coefficients: more than 1024 bytes of them for each byte of the file is
    // no real picture (a 1.4 KB file claiming 100 megapixels), and a real one must fit in memory.
    if (coefficientBytes > 1024 * fileBytes)
        return false;
    return availableBytes < 0 || coefficientBytes <= availableBytes;
}

PictureReader::PictureReader(const QString& path) : m_path(path), m_file(path) {
    if (!m_file.open(QIODevice::ReadOnly))
        throw RuntimeError(QStringLiteral("cannot open %1: %2").arg(path, m_file.errorString()));
    const Frame frame = readFrame(m_file);
    if (frame.progressive &&
        !progressiveFits(frame.coefficientBytes, m_file.size(), platform::availableMemoryBytes()))
        throw RuntimeError(QStringLiteral("%1 would need too much decoder memory").arg(path));
    m_orientation = frame.found ? exifOrientation(m_file) : 1;
    m_file.seek(0);
    // Qt's JPEG reader lets libjpeg-turbo decode at the smallest scale (n/8) that still covers
    // the size asked for, then scales smoothly to exactly that size; its other readers take
    // whatever else hides behind a .jpg name. The orientation is applied here, from the same
    // reading of the EXIF block as the box was fitted by.
    m_reader.setDevice(&m_file);
    m_reader.setAutoTransform(false);
    m_size = m_reader.size();
    if (m_size.isValid() && qint64(m_size.width()) * m_size.height() > kMaxPixels)
        throw RuntimeError(QStringLiteral("%1 claims more than 2^28 pixels").arg(path));
}

DecodedPicture PictureReader::read(QSize requested) {
    const QSize box = requested.expandedTo(QSize(1, 1));
    m_reader.setScaledSize(swapsSides(m_orientation) ? box.transposed() : box);
    QImage image = m_reader.read();
    if (image.isNull())
        throw RuntimeError(
            QStringLiteral("cannot decode %1: %2").arg(m_path, m_reader.errorString()));
    // A camera's Adobe RGB or a phone's Display P3 shown as it was meant, converted once at the
    // box's size; a picture without a profile (sRGB by convention) is left as it is.
    const QColorSpace profile = image.colorSpace();
    if (profile.isValid() && profile != QColorSpace(QColorSpace::SRgb))
        image.convertToColorSpace(QColorSpace::SRgb);
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    return {oriented(image, m_orientation), m_size};
}

DecodedPicture decodeForBox(const QString& path, QSize box) {
    return PictureReader(path).read(box);
}

QImage fitToBox(const QImage& decoded, QSize requested) {
    const QSize box = requested.expandedTo(QSize(1, 1));
    if (decoded.size() == box)
        return decoded;
    QImage fitted = decoded.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (fitted.isNull())
        throw RuntimeError(QStringLiteral("out of memory for a picture"));
    return fitted.format() == QImage::Format_RGB32 ? fitted
                                                   : fitted.convertToFormat(QImage::Format_RGB32);
}

QImage loadPicture(const QString& path, QSize box) {
    return decodeForBox(path, box).image;
}

} // namespace display
