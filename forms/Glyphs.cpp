#include "Glyphs.h"

#include <array>

namespace {

constexpr int kSize = 16;
const QRgb kBackground = qRgb(192, 192, 192);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGrey = qRgb(128, 128, 128);
const QRgb kWhite = qRgb(255, 255, 255);

using Shape = std::array<std::array<bool, kSize>, kSize>; // [row][column]

// Triangle rows 3..11 are 2, 4, 6, 8, 10, 8, 6, 4, 2 pixels wide.
constexpr int kTriTop = 3;
constexpr std::array<int, 9> kTriWidths{2, 4, 6, 8, 10, 8, 6, 4, 2};

void fill(Shape& s, int left, int top, int right, int bottom) {
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            s[y][x] = true;
}

// Pointing right, its flat edge in column `left`.
void triangleRight(Shape& s, int left) {
    for (int i = 0; i < int(kTriWidths.size()); ++i)
        fill(s, left, kTriTop + i, left + kTriWidths[i] - 1, kTriTop + i);
}

// Pointing left, its flat edge in column `right`.
void triangleLeft(Shape& s, int right) {
    for (int i = 0; i < int(kTriWidths.size()); ++i)
        fill(s, right - kTriWidths[i] + 1, kTriTop + i, right, kTriTop + i);
}

Shape glyphShape(int index) {
    Shape s{};
    switch (index) {
    case 0: // Start
        triangleRight(s, 3);
        break;
    case 1: // Stop
        fill(s, 4, 3, 11, 11);
        break;
    case 2: // Previous: the tip (column 3, row 7) meets the bar
        fill(s, 1, 3, 2, 11);
        triangleLeft(s, 12);
        break;
    case 3: // Next: the tip (column 12, row 7) meets the bar
        triangleRight(s, 3);
        fill(s, 13, 3, 14, 11);
        break;
    default:
        break;
    }
    return s;
}

} // namespace

QImage makeGlyph(int index, bool on) {
    QImage image(kSize, kSize, QImage::Format_RGB32);
    image.fill(kBackground);
    const Shape shape = glyphShape(index);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (shape[y][x]) {
                image.setPixel(x, y, on ? kBlack : kGrey);
            } else if (!on && y > 0 && x > 0 && shape[y - 1][x - 1]) {
                // The disabled look is the engraved one: the shape once more in white, one pixel
                // right and one down, under the grey shape. White shows only on the background
                // just beyond the lower and right edges; for the Stop square that is exactly
                // column 12 rows 4-11 and row 12 columns 5-12.
                image.setPixel(x, y, kWhite);
            }
        }
    }
    return image;
}
