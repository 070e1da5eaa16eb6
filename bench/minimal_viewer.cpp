// The yardstick for start-up: the least a Qt Widgets viewer does to show one JPEG in a
// 1280 x 800 window, the way a plain port would do it, with no read-ahead, no cache and no
// threads. first-picture.sh times it against pixelion from exec to pixels on the screen.
//
// Usage: minimal_viewer <picture.jpg>
#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QSize>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: minimal_viewer <picture.jpg>\n");
        return 2;
    }

    QLabel window;
    window.setWindowTitle(QStringLiteral("minimal_viewer"));
    window.setAlignment(Qt::AlignCenter);
    window.resize(1280, 800);

    // pixelion's picture area in a window of this size: both programs then decode and scale to
    // the same size, so the comparison measures the way of getting there, not the pixel count.
    const QSize pictureArea(1080, 720);

    QImageReader reader(args.at(1));
    const QSize full = reader.size(); // from the header, before decoding
    if (full.isValid())
        reader.setScaledSize(full.scaled(pictureArea, Qt::KeepAspectRatio));
    const QImage picture = reader.read();
    if (picture.isNull()) {
        std::fprintf(stderr, "minimal_viewer: %s: %s\n", qPrintable(args.at(1)),
                     qPrintable(reader.errorString()));
        return 1;
    }
    window.setPixmap(QPixmap::fromImage(picture));
    window.show();
    return QApplication::exec();
}
