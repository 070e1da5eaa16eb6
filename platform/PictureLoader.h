#pragma once
// Decodes a JPEG file into a picture of the size it will be shown at.
#include <atomic>

#include <QImage>
#include <QSize>
#include <QString>

#include "Error.h"

namespace platform {

// A decode stopped through its cancel flag; nothing is wrong with the file.
class DecodeCancelled : public RuntimeError {
public:
    using RuntimeError::RuntimeError;
};

// What a decode did, for the benchmark and the tests.
struct DecodeReport {
    QSize picture;            // the file's own size in pixels
    QSize decoded;            // the size libjpeg decoded at (after its DCT scaling)
    int scaleDenominator = 0; // 1, 2, 4 or 8; 0 when another decoder did the work
};

// Decodes straight to `size` (pixels, Format_RGB32). libjpeg decodes at the smallest of 1/8,
// 1/4, 1/2 or full scale that still covers `size` (the scaling happens inside its inverse DCT,
// so most of the pixels are never computed), and the rows are averaged down to `size` as they
// come, so the full-scale picture never exists in memory. No EXIF rotation is applied: the box
// was sized from the header's own width and height. Throws RuntimeError when the file cannot be
// decoded, DecodeCancelled when `cancel` became true on the way.
QImage loadPicture(const QString& path, const QSize& size,
                   const std::atomic<bool>* cancel = nullptr, DecodeReport* report = nullptr);

// The first half of loadPicture: the picture at libjpeg's scale for `size`, not yet resized.
// resizePicture() of the result gives what loadPicture() gives for the same size.
QImage decodeForSize(const QString& path, const QSize& size,
                     const std::atomic<bool>* cancel = nullptr, DecodeReport* report = nullptr);
// The resize loadPicture() applies: area averaging down, smooth interpolation up.
QImage resizePicture(const QImage& decoded, const QSize& size);

// How many pictures this process has decoded so far (tests and the benchmark count them).
quint64 decodesSoFar();

// The DCT scale denominator (1, 2, 4 or 8) libjpeg decodes a `picture`-sized JPEG at when it is
// to be shown at `size`: the smallest scale whose result still covers `size`.
int jpegScaleDenominator(const QSize& picture, const QSize& size);

} // namespace platform
