#include "mdlComFunction.h"

#include "Services.h"

QString gsGetVersion() {
    return gsGetVersion(platform::services().versionMajor(), platform::services().versionMinor());
}

QString gsGetVersion(int major, int minor) {
    return QStringLiteral("Version ") + QString::number(major) + u'.' +
           QStringLiteral("%1").arg(minor, 2, 10, QChar(u'0'));
}
