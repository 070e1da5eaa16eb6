#pragma once
// What the header reader and the picture loader both read from a JPEG's segments: where the
// next marker is, and the orientation the camera stored.
//
// Threads: any; each call reads only the device it is given.
#include <QIODevice>
#include <QString>

// True when the device's data starts as a JPEG's, with the start-of-image marker (FF D8).
bool startsAsJpeg(QIODevice& file);

// True for every start-of-frame marker, of any coding process (0xC0 to 0xCF but for the table
// and extension markers 0xC4, 0xC8 and 0xCC).
constexpr bool isStartOfFrame(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The position of the next marker at or after `pos` (its 0xFF), found as libjpeg finds it:
// bytes that are not 0xFF are skipped, so are 0xFF fill bytes before a marker, and 0xFF 0x00
// is no marker. -1 when the data ends first or cannot be read.
qint64 findJpegMarker(QIODevice& file, qint64 pos);

// The EXIF orientation (1 to 8) of a JPEG: how the stored picture must be turned and mirrored to
// stand as it was taken. 1, upright, when there is none or it cannot be read. Never throws.
int exifOrientation(QIODevice& file);
int exifOrientation(const QString& path);

// True for the orientations that turn the picture a quarter (5 to 8): its width and height as
// shown are its height and width as stored.
constexpr bool swapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}
