#include "PictureFit.h"

#include <cmath>

#include "Error.h"
#include "GetImage.h"
#include "JpegMarkers.h"

namespace {
constexpr float kMargin = 300;

// side * num / den in double precision, multiplying first so no rounded ratio distorts it.
double scaled(float side, qint32 num, qint32 den) {
    if (den == 0)
        throw platform::RuntimeError("division by zero: the picture has no size");
    return double(side) * double(num) / double(den);
}

float nearest(float v) {
    return float(std::nearbyint(v));
} // halves to even
float down(double v) {
    return float(std::floor(v));
}
} // namespace

PictureBox fitPictureBox(qint32 W, qint32 H, float AW, float AH) {
    const float spanW = AW - kMargin;
    const float spanH = AH - kMargin;
    PictureBox box;
    if (AW > AH) {
        box.Height = nearest(spanH);
        box.Width = down(scaled(spanH, W, H));
        if (box.Width > spanW) {
            box.Width = nearest(spanW);
            box.Height = down(scaled(spanW, H, W));
        }
    } else {
        box.Width = nearest(spanW);
        box.Height = down(scaled(spanW, H, W));
        if (box.Height > spanH) {
            box.Height = nearest(spanH);
            box.Width = down(scaled(spanH, W, H));
        }
    }
    return box;
}

PictureBox fitShownPicture(const QString& path, const ImageInfo& info, float AW, float AH) {
    if (swapsSides(exifOrientation(path)))
        return fitPictureBox(info.Height, info.Width, AW, AH);
    return fitPictureBox(info.Width, info.Height, AW, AH);
}

QSize fitPictureToArea(qint32 W, qint32 H, QSize area) {
    const qint64 w = W, h = H, aw = area.width(), ah = area.height();
    if (w <= 0 || h <= 0 || aw <= 0 || ah <= 0)
        return {};
    // Integer arithmetic, rounded half up, so that no rounded ratio distorts the other side.
    if (w * ah >= h * aw)
        return QSize(int(aw), int(qMax<qint64>(1, (2 * h * aw + w) / (2 * w))));
    return QSize(int(qMax<qint64>(1, (2 * w * ah + h) / (2 * h))), int(ah));
}

QSize fitShownPictureToArea(const QString& path, const ImageInfo& info, QSize area) {
    if (swapsSides(exifOrientation(path)))
        return fitPictureToArea(info.Height, info.Width, area);
    return fitPictureToArea(info.Width, info.Height, area);
}
