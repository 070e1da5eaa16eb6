// Writes the bundled sample pictures: tools/makesamples <folder>
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

#include "PhotoLike.h"

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("samples");
    QDir().mkpath(folder);
    const struct {
        const char* name;
        int w, h;
    } pictures[] = {{"01_hills.jpg", 800, 600},
                    {"02_evening.jpg", 800, 600},
                    {"03_portrait.jpg", 480, 640},
                    {"04_wide.jpg", 960, 540},
                    {"05_square.jpg", 600, 600}};
    unsigned seed = 1;
    for (const auto& p : pictures) {
        QImageWriter writer(folder + QLatin1Char('/') + QLatin1String(p.name), "jpeg");
        writer.setQuality(75);
        if (!writer.write(makePhotoLikeImage(p.w, p.h, seed++, 3))) {
            std::fprintf(stderr, "%s: %s\n", p.name, qUtf8Printable(writer.errorString()));
            return 1;
        }
    }
    return 0;
}
