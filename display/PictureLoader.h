#pragma once
// Decodes a picture file for a box of a given size in pixels. libjpeg-turbo (its TurboJPEG API)
// decodes at the smallest of 1/8, 1/4, 1/2 or full scale that still covers the box, so most
// pixels are never computed; Qt's smooth scale then makes the exact box size. What libjpeg-turbo
// cannot turn into RGB (CMYK, other formats behind a .jpg name) goes to Qt's own readers.
//
// Threads: every function here may run on any thread; none touches shared state.
#include <QImage>
#include <QSize>
#include <QString>

namespace display {

// A picture as the decoder gave it, before it is fitted to its box.
struct DecodedPicture {
    QImage image;             // Format_RGB32, at the decoder's scale
    QSize picture;            // the file's own size in pixels
    int scaleDenominator = 0; // 1, 2, 4 or 8; 0 when Qt's reader did the work
};

// The denominator (1, 2, 4 or 8) of the smallest DCT scale whose result still covers `box` for
// a picture of `picture` pixels.
int jpegScaleDenominator(QSize picture, QSize box);

// The picture of `path` at the decoder's scale for `box`. A picture cut short or with damaged
// data shows as far as it goes, as in every viewer. Throws platform::RuntimeError when the file
// cannot be read or decoded, claims more than 2^28 pixels, or would need more decoder memory
// than a real picture of its kind does.
DecodedPicture decodeForBox(const QString& path, QSize box);

// `decoded` at exactly `box` pixels (a box of no size gets one pixel): area-averaged down,
// smoothly up.
QImage fitToBox(const QImage& decoded, QSize box);

// Both in one: the picture of `path` at exactly `box` pixels.
QImage loadPicture(const QString& path, QSize box);

} // namespace display
