#include "mdlComApi.h"

#include "Services.h"
#include "mdlComCtrlString.h"

QString gsGetSpecialFolder(qintptr hnHwnd, qint32 hnCode) {
    Q_UNUSED(hnHwnd); // the owner window matters only to a shell that asks the user
    return platform::services().specialFolder(hnCode);
}

QString gsGetUserName() {
    const QString name = platform::services().logonUserName();
    if (name.isEmpty()) // the call failed: the buffer stays as it was and reads as empty
        return QString();
    // The name as the system leaves it in its buffer, terminated by a NUL.
    const QString buffer = name + QChar(u'\0');
    return buffer.left(fnGetAnsiStrLen(buffer)).toLower();
}
