#include "PictureLoader.h"

#include <QImageReader>

#include "Error.h"

namespace platform {

QImage loadPicture(const QString& path, const QSize& size) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    // A box of no size shows nothing, but the file must still prove decodable.
    reader.setScaledSize(size.expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull())
        throw RuntimeError(QStringLiteral("cannot decode %1: %2").arg(path, reader.errorString()));
    return image;
}

} // namespace platform
