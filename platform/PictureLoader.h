#pragma once
// Decodes a JPEG file into a picture of the size it will be shown at.
#include <QImage>
#include <QSize>
#include <QString>

namespace platform {

// Decodes straight to `size` (pixels), letting the JPEG decoder scale while it decodes. No
// EXIF rotation is applied: the box was sized from the header's own width and height.
// Throws RuntimeError when the file cannot be decoded.
QImage loadPicture(const QString& path, const QSize& size);

} // namespace platform
