// The picture loader on arbitrary file contents, for three box sizes. Besides crashes and
// sanitizer reports it checks what the display relies on: a decode either throws the program's
// error or gives a picture of exactly the box in the window's pixel format, a header claiming
// more than 2^28 pixels is refused, and resampling gives exactly the size asked for.
#include "Error.h"
#include "GetImage.h"
#include "PictureLoader.h"

#include "FuzzSupport.h"

#include <QGuiApplication>

namespace {

QString sizeText(QSize s) {
    return QStringLiteral("%1 x %2").arg(s.width()).arg(s.height());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt's image readers (the fallback for what is not a JPEG inside) need an application.
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::scratchPath(QStringLiteral("picture.jpg"));
    fuzz::overwrite(path, data, size);
    // A header claiming a huge picture costs seconds of decoding grey per input at any scale;
    // the refusal above 2^28 pixels is what matters there, and it needs no decode to show.
    try {
        const ImageInfo info = GetImageInfo(path, 3);
        const qint64 pixels = qint64(info.Width) * info.Height;
        if (pixels > (qint64(1) << 28)) {
            bool refused = false;
            try {
                display::decodeForBox(path, QSize(8, 8));
            } catch (const platform::RuntimeError&) {
                refused = true;
            }
            FUZZ_CHECK(
                refused,
                QStringLiteral("a %1 x %2 header was decoded").arg(info.Width).arg(info.Height));
            return 0;
        }
        if (pixels > (qint64(1) << 22))
            return 0;
    } catch (const platform::RuntimeError&) {
        // Not measurable: the loader must cope all the same.
    }
    for (const QSize box : {QSize(1, 1), QSize(37, 23), QSize(300, 200)}) {
        display::DecodedPicture decoded;
        try {
            decoded = display::decodeForBox(path, box);
        } catch (const platform::RuntimeError&) {
            continue; // refused: the display shows its error box
        }
        const QImage& image = decoded.image;
        FUZZ_CHECK(image.size() == box && image.format() == QImage::Format_RGB32,
                   sizeText(image.size()) + QStringLiteral(" in format ") +
                       QString::number(int(image.format())) + QStringLiteral(" for ") +
                       sizeText(box));
        // A resize resamples what is held: any size out of any picture.
        const QImage fitted = display::fitToBox(image, QSize(box.height(), box.width() + 1));
        FUZZ_CHECK(fitted.size() == QSize(box.height(), box.width() + 1) &&
                       fitted.format() == QImage::Format_RGB32,
                   sizeText(fitted.size()));
    }
    return 0;
}
