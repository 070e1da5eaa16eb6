#include "mdlComSlideIni.h"

#include <QDir>
#include <QFileInfo>

#include "Cp932.h"
#include "Error.h"
#include "ProfileFile.h"
#include "Services.h"
#include "mdlComCtrlString.h"

using platform::kSep;

QString userDataFolderPath() {
    return platform::services().userProfileFolder() + kSep + kUserDataFolderName;
}

QString gsGetUserDataFolder() {
    if (platform::services().userProfileFolder().isEmpty())
        throw platform::RuntimeError(QStringLiteral("no home folder for the settings"));
    const QString folder = userDataFolderPath();
    // A plain file of that name counts as present: nothing is created over it.
    if (!QFileInfo::exists(folder) && !QFileInfo(folder).isSymLink()) {
        const QFileInfo info(folder);
        // A copy starting at the same moment may have made it first: that is no failure.
        if (!QDir(info.absolutePath()).exists() ||
            (!QDir().mkdir(folder) && !QFileInfo::exists(folder)))
            throw platform::RuntimeError(QStringLiteral("cannot create the folder %1").arg(folder));
    }
    return folder;
}

QString gsGetSlideIniPath() {
    return gsGetUserDataFolder() + kSep + QStringLiteral("Slide.INI");
}

QString gsGetSettingIniPath() {
    return gsGetUserDataFolder() + kSep + QStringLiteral("Setting.INI");
}

// The text a 256-byte buffer filled with spaces holds after the profile call: the value, a NUL
// and the spaces behind it. Measuring it the same way keeps the two programs' readings equal.
static QString bufferAfterCall(const QByteArray& value) {
    constexpr int kBufferSize = 256;
    QByteArray buffer = value;
    buffer.append('\0');
    buffer.append(QByteArray(qMax(0, kBufferSize - int(buffer.size())), ' '));
    return platform::fromCp932(buffer);
}

bool gbGetIniString(const QString& hsFile, const QString& hsSection, const QString& hsKey,
                    QString& hsValue) {
    try {
        const QString file = hsFile.isEmpty() ? gsGetSlideIniPath() : hsFile;
        const QString buffer = bufferAfterCall(platform::getPrivateProfileString(
            platform::toCp932(hsSection), platform::toCp932(hsKey), QByteArray(), file));
        hsValue = buffer.left(fnGetAnsiStrLen(buffer));
        return true;
    } catch (const std::exception&) {
        hsValue.clear();
        return false;
    }
}

bool gbPutIniString(const QString& hsFile, const QString& hsSection, const QString& hsKey,
                    const QString& hsValue) {
    return platform::writePrivateProfileString(
        platform::toCp932(hsSection), platform::toCp932(hsKey), platform::toCp932(hsValue), hsFile);
}
