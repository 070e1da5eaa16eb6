#include "mdlSlideDef.h"

QStringList sFile;
QString gsShowFolder;
qint32 gnShowNo = 0;

void resetSlideList() {
    sFile.clear();
    gsShowFolder.clear();
    gnShowNo = 0;
}

bool isSlideExtension(const QString& suffix) {
    const QString lower = suffix.toLower();
    return lower == kSlideExtensions[0] || lower == kSlideExtensions[1];
}
