#pragma once
// The size of the picture box for a picture of W x H pixels in an area of AW x AH twips.
#include <QSize>
#include <QString>
#include <QtGlobal>

struct PictureBox {
    float Width = 0;
    float Height = 0;
};

// Keeps the picture's exact proportions and fits it inside the area less a 300-twip margin:
// the area's shorter side less the margin sets one side, the other follows from the ratio,
// rounded down; when that side would not fit, the other side of the area binds instead.
// A zero divisor of the ratio throws platform::RuntimeError; a zero dividend gives a box of
// zero size, which shows nothing.
PictureBox fitPictureBox(qint32 W, qint32 H, float AW, float AH);

struct ImageInfo;

// The box for the picture of `path` as it is shown: its header's size `info`, turned as its
// EXIF orientation says (a portrait photo stored landscape gets a portrait box).
PictureBox fitShownPicture(const QString& path, const ImageInfo& info, float AW, float AH);

// The size of a picture of W x H pixels fitted with its exact proportions to the whole of an
// area of `area` pixels, no margin (the full-screen presentation): one side fills the area, the
// other follows from the ratio, rounded to the nearest pixel and at least 1. Empty when the
// picture or the area has no size.
QSize fitPictureToArea(qint32 W, qint32 H, QSize area);

// fitPictureToArea() for the picture of `path` as it is shown, turned as fitShownPicture() turns
// it.
QSize fitShownPictureToArea(const QString& path, const ImageInfo& info, QSize area);
