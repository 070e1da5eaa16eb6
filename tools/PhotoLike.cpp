#include "PhotoLike.h"

#include <cmath>
#include <random>

#include <QPainter>
#include <QRadialGradient>

QImage makePhotoLikeImage(int width, int height, unsigned seed, int grain) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    QImage image(width, height, QImage::Format_RGB32);

    // Sky above rolling hills; the horizon line is a sum of a few sines.
    const double phase[3] = {u(rng) * 6.28, u(rng) * 6.28, u(rng) * 6.28};
    const double hue = u(rng);
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double fy = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = double(x) / width;
            const double horizon = 0.55 + 0.08 * std::sin(fx * 7 + phase[0]) +
                                   0.04 * std::sin(fx * 23 + phase[1]) +
                                   0.015 * std::sin(fx * 71 + phase[2]);
            int r, g, b;
            if (fy < horizon) {
                r = int(90 + 100 * fy + 40 * hue);
                g = int(140 + 80 * fy);
                b = int(230 - 40 * fy);
            } else {
                const double d = (fy - horizon) * 4;
                r = int(60 + 60 * hue + 40 * d);
                g = int(120 - 30 * d + 30 * std::sin(fx * 40 + fy * 25));
                b = int(40 + 20 * d);
            }
            // Grain: what makes a JPEG of a photograph expensive to decode.
            const int noise =
                grain
                    ? int((((x * 73856093u) ^ (y * 19349663u) ^ seed) % unsigned(2 * grain + 1))) -
                          grain
                    : 0;
            line[x] = qRgb(qBound(0, r + noise, 255), qBound(0, g + noise, 255),
                           qBound(0, b + noise, 255));
        }
    }

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int shapes = 6 + int(u(rng) * 6);
    for (int i = 0; i < shapes; ++i) {
        const QPointF c(u(rng) * width, (0.3 + 0.6 * u(rng)) * height);
        const double radius = (0.03 + 0.08 * u(rng)) * std::min(width, height);
        QRadialGradient gradient(c, radius);
        gradient.setColorAt(0, QColor::fromHsvF(u(rng), 0.7, 0.95));
        gradient.setColorAt(1, QColor::fromHsvF(u(rng), 0.8, 0.35));
        painter.setBrush(gradient);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(c, radius, radius);
    }
    return image;
}
