#include "PictureLoader.h"

#include <QFile>
#include <QImageReader>

#include "Error.h"

namespace display {

namespace {

using platform::RuntimeError;

// A header may claim any size: a file of a kilobyte claiming 20000 x 20000 pixels would make a
// progressive decode zero-fill gigabytes even at 1/8 scale. The largest camera pictures are
// about 200 megapixels; more than 2^28 (16384 x 16384) is refused before anything is decoded.
constexpr qint64 kMaxPixels = qint64(1) << 28;
// A progressive picture is decoded from coefficients held for the whole picture, whatever the
// output scale; past this much memory for them the picture is refused.
constexpr qint64 kMaxCoefficientBytes = qint64(512) << 20;

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
    const auto byteAt = [&file](qint64 pos) -> int {
        char c;
        return file.seek(pos) && file.getChar(&c) ? quint8(c) : -1;
    };
    if (byteAt(0) != 0xFF || byteAt(1) != 0xD8)
        return {};
    qint64 pos = 2;
    for (;;) {
        int b = byteAt(pos);
        while (b >= 0 && b != 0xFF)
            b = byteAt(++pos);
        while (b == 0xFF)
            b = byteAt(++pos);
        if (b < 0)
            return {};
        const int marker = b;
        ++pos;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // no length
        const int hi = byteAt(pos), lo = byteAt(pos + 1);
        if (hi < 0 || lo < 0 || marker == 0xD9 || marker == 0xDA)
            return {};
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (!frame) {
            pos += hi * 256 + lo;
            continue;
        }
        if (!file.seek(pos + 2))
            return {};
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

} // namespace

PictureReader::PictureReader(const QString& path) : m_path(path), m_file(path) {
    if (!m_file.open(QIODevice::ReadOnly))
        throw RuntimeError(QStringLiteral("cannot open %1: %2").arg(path, m_file.errorString()));
    const Frame frame = readFrame(m_file);
    if (frame.progressive && frame.coefficientBytes > kMaxCoefficientBytes)
        throw RuntimeError(QStringLiteral("%1 would need too much decoder memory").arg(path));
    m_file.seek(0);
    // Qt's JPEG reader lets libjpeg-turbo decode at the smallest scale (n/8) that still covers
    // the size asked for, then scales smoothly to exactly that size; its other readers take
    // whatever else hides behind a .jpg name.
    m_reader.setDevice(&m_file);
    m_reader.setAutoTransform(false);
    m_size = m_reader.size();
    if (m_size.isValid() && qint64(m_size.width()) * m_size.height() > kMaxPixels)
        throw RuntimeError(QStringLiteral("%1 claims more than 2^28 pixels").arg(path));
}

DecodedPicture PictureReader::read(QSize requested) {
    m_reader.setScaledSize(requested.expandedTo(QSize(1, 1)));
    QImage image = m_reader.read();
    if (image.isNull())
        throw RuntimeError(
            QStringLiteral("cannot decode %1: %2").arg(m_path, m_reader.errorString()));
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    return {image, m_size};
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
