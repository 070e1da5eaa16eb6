#include "PictureLoader.h"

#include <memory>

#include <QFile>
#include <QImageReader>

#include <turbojpeg.h>

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

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr int kPixelFormat = TJPF_BGRX; // Format_RGB32's bytes on this machine
#else
constexpr int kPixelFormat = TJPF_XRGB;
#endif

struct TjHandle {
    tjhandle handle = tjInitDecompress();
    ~TjHandle() {
        if (handle)
            tjDestroy(handle);
    }
};

// True when the frame header in `bytes` is that of a progressive (multi-scan) picture.
bool isProgressive(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 2; // after SOI
    while (i + 4 <= n) {
        if (p[i] != 0xFF) {
            ++i; // stray bytes between segments, as libjpeg skips them
            continue;
        }
        const uchar marker = p[i + 1];
        if (marker == 0xFF) {
            ++i; // fill byte
            continue;
        }
        if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE)
            return true;
        if ((marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
             marker != 0xCC) ||
            marker == 0xDA)
            return false;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            i += 2; // markers without a length
            continue;
        }
        i += 2 + ((qsizetype(p[i + 2]) << 8) | p[i + 3]);
    }
    return false;
}

// Coefficient memory of a progressive decode: two bytes per sample of every component, the
// chroma components at their subsampled size.
qint64 coefficientBytes(qint64 width, qint64 height, int subsampling, int colourspace) {
    const qint64 luma = width * height;
    if (colourspace == TJCS_GRAY || subsampling == TJSAMP_GRAY)
        return 2 * luma;
    qint64 chromaDivisor = 1;
    switch (subsampling) {
    case TJSAMP_422:
    case TJSAMP_440:
        chromaDivisor = 2;
        break;
    case TJSAMP_420:
    case TJSAMP_411:
        chromaDivisor = 4;
        break;
    default:
        break;
    }
    return 2 * (luma + 2 * luma / chromaDivisor);
}

// Qt's own reader, for what libjpeg-turbo cannot decode to RGB itself.
DecodedPicture readWithQt(const QString& path, QSize box) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPixels)
        throw RuntimeError(QStringLiteral("%1 claims more than 2^28 pixels").arg(path));
    reader.setScaledSize(box);
    QImage image = reader.read();
    if (image.isNull())
        throw RuntimeError(QStringLiteral("cannot decode %1: %2").arg(path, reader.errorString()));
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    return {image, size, 0};
}

} // namespace

int jpegScaleDenominator(QSize picture, QSize box) {
    const auto scaled = [](int extent, int denominator) {
        return (extent + denominator - 1) / denominator; // libjpeg rounds up
    };
    int denominator = 8;
    while (denominator > 1 && (scaled(picture.width(), denominator) < box.width() ||
                               scaled(picture.height(), denominator) < box.height()))
        denominator /= 2;
    return denominator;
}

DecodedPicture decodeForBox(const QString& path, QSize requested) {
    const QSize box = requested.expandedTo(QSize(1, 1));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    // Mapped, not read: the decoder reads the file's pages where the system keeps them, without
    // a copy, and the pages come in whole runs at a time.
    const qint64 fileSize = file.size();
    uchar* mapped = fileSize > 0 ? file.map(0, fileSize) : nullptr;
    QByteArray copy;
    if (!mapped) { // a file that cannot be mapped (a pipe, some network file systems) is read
        copy = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw RuntimeError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    const QByteArray bytes =
        mapped ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(fileSize))
               : copy;

    TjHandle tj;
    if (!tj.handle)
        throw RuntimeError(QStringLiteral("cannot start the JPEG decoder"));
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto length = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj.handle, data, length, &width, &height, &subsampling, &colourspace) !=
        0)
        return readWithQt(path, box); // not a JPEG inside, whatever its name says
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK)
        return readWithQt(path, box);
    if (qint64(width) * height > kMaxPixels)
        throw RuntimeError(QStringLiteral("%1 claims more than 2^28 pixels").arg(path));
    if (isProgressive(bytes) &&
        coefficientBytes(width, height, subsampling, colourspace) > kMaxCoefficientBytes)
        throw RuntimeError(QStringLiteral("%1 would need too much decoder memory").arg(path));

    const int denominator = jpegScaleDenominator(QSize(width, height), box);
    const tjscalingfactor factor{1, denominator};
    const int outWidth = TJSCALED(width, factor), outHeight = TJSCALED(height, factor);
    QImage image(outWidth, outHeight, QImage::Format_RGB32);
    if (image.isNull())
        throw RuntimeError(QStringLiteral("out of memory for %1").arg(path));
    // At most 500 scans: a small progressive file can otherwise keep the decoder busy for
    // minutes. A warning (data cut short or damaged) still leaves the picture as far as it goes.
    if (tjDecompress2(tj.handle, data, length, image.bits(), outWidth, int(image.bytesPerLine()),
                      outHeight, kPixelFormat, TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(tj.handle) != TJERR_WARNING)
        throw RuntimeError(QStringLiteral("cannot decode %1: %2")
                               .arg(path, QString::fromLocal8Bit(tjGetErrorStr2(tj.handle))));
    return {image, QSize(width, height), denominator};
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
    return fitToBox(decodeForBox(path, box).image, box);
}

} // namespace display
