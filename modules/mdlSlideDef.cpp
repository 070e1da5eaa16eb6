#include "mdlSlideDef.h"

QStringList sFile;
QString gsShowFolder;
qint32 gnShowNo = 0;

void resetSlideList() {
    sFile.clear();
    gsShowFolder.clear();
    gnShowNo = 0;
}
