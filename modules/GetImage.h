#pragma once
// Measures BMP, GIF, JPEG and PNG files from their headers, without decoding them.
#include <QString>

struct ImageInfo {
    qint32 ImageType = 0; // 0 none, 1 BMP, 2 GIF, 3 JPEG, 4 PNG
    qint32 Width = 0;
    qint32 Height = 0;
    qint32 BPP = 0;
    bool operator==(const ImageInfo&) const = default;
};

// Type 0 by signature, 1 BMP, 2 GIF, 3 JPEG, 4 PNG, 5 by file name; others give all zeros.
// Throws platform::RuntimeError where the file cannot be read, a BMP or PNG size overflows,
// or a JPEG frame header is cut off by the end of the file.
ImageInfo GetImageInfo(const QString& hsPath, qint32 hnType);
ImageInfo ReadBmpHeader(const QString& hsPath);
ImageInfo ReadGifHeader(const QString& hsPath);
ImageInfo ReadJpegHeader(const QString& hsPath);
ImageInfo ReadPngHeader(const QString& hsPath);
bool IsImageFileReadable(const QString& hsPath);
