#pragma once
// Decodes a picture file for a box of a given size in pixels, through Qt's image readers: for a
// JPEG, libjpeg-turbo decodes at the smallest scale (n/8) that still covers the box, so most
// pixels are never computed, and Qt's smooth scale makes the exact box size; the file is read
// as the decoder goes, never held whole. Other formats behind a .jpg name are read as what
// they are.
//
// Threads: every function here may run on any thread; none touches shared state.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

namespace display {

// A picture as the decoder gave it.
struct DecodedPicture {
    QImage image;  // Format_RGB32, at the box's size, upright as the EXIF orientation says,
                   // in sRGB colours
    QSize picture; // the file's own size in pixels, as its header gives it (stored, not turned)
};

// The picture of `path` for `box` (a box of no size gets one pixel), the box being the picture's
// as shown (turned by its EXIF orientation). A picture cut short or with damaged data shows as
// far as it goes, as in every viewer. Throws platform::RuntimeError when the file cannot be read
// or decoded, claims more than 2^28 pixels, or is progressive and would need more decoder memory
// than a real picture of its file size can, or than the machine has.
DecodedPicture decodeForBox(const QString& path, QSize box);

// The same in two steps: opening the file and reading its header, then decoding. The first
// finds Qt's reader for the file, which must not happen on another thread while the application
// object is being made: a decode started before it exists opens its file first. Any thread, one
// at a time.
class PictureReader {
public:
    explicit PictureReader(const QString& path); // throws as decodeForBox() does
    DecodedPicture read(QSize box);              // once

private:
    QString m_path;
    QFile m_file;
    QImageReader m_reader;
    QSize m_size;
    int m_orientation = 1;
};

// True when a progressive JPEG whose coefficients take `coefficientBytes` can be a real picture
// of a `fileBytes` file and fits in `availableBytes` of memory (negative: not known).
bool progressiveFits(qint64 coefficientBytes, qint64 fileBytes, qint64 availableBytes);

// `decoded` resampled to exactly `box` pixels (a box of no size gets one pixel), smoothly.
QImage fitToBox(const QImage& decoded, QSize box);

// Both in one: the picture of `path` at exactly `box` pixels.
QImage loadPicture(const QString& path, QSize box);

} // namespace display
