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
    QImage image;  // Format_RGB32, at the box's size
    QSize picture; // the file's own size in pixels, as its header gives it
};

// The picture of `path` for `box` (a box of no size gets one pixel). A picture cut short or with
// damaged data shows as far as it goes, as in every viewer. Throws platform::RuntimeError when the
// file cannot be read or decoded, claims more than 2^28 pixels, or would need more decoder memory
// than a real picture of its kind does.
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
};

// `decoded` resampled to exactly `box` pixels (a box of no size gets one pixel), smoothly.
QImage fitToBox(const QImage& decoded, QSize box);

// Both in one: the picture of `path` at exactly `box` pixels.
QImage loadPicture(const QString& path, QSize box);

} // namespace display
