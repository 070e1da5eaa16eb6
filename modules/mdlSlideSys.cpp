#include "mdlSlideSys.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "Error.h"
#include "Services.h"
#include "mdlComCtrlString.h"
#include "mdlComDebug.h"
#include "mdlComSlideIni.h"

SlideSettingsRecord SlideSettings;

void resetSlideSettings() {
    SlideSettings = SlideSettingsRecord();
}

int slideTimerPeriodMs() {
    const qint64 period = qint64(SlideSettings.Interval) * 100;
    return int(qBound(qint64(100), period, qint64(100000)));
}

bool gbLoadSlideIni() {
    try {
        SlideSettings.IniPath = gsGetSlideIniPath();
        return fbReadSlideIni(SlideSettings.IniPath);
    } catch (const std::exception&) {
        return false;
    }
}

bool fbReadSlideIni(const QString& hsFile) {
    try {
        QString text;
        if (!gbGetIniString(hsFile, QStringLiteral("Debug"), QStringLiteral("DbgLevel"), text))
            return false;
        const qint32 level = toLong(text);
        SlideSettings.DbgLevel = (level > 4 || level < 0) ? 1 : level;

        if (!gbGetIniString(hsFile, QStringLiteral("SETUP"), QStringLiteral("Interval"), text))
            return false;
        SlideSettings.Interval = toLong(text);

        if (!gbGetIniString(hsFile, QStringLiteral("RootPath"), platform::programBaseName(), text))
            text.clear();
        SlideSettings.RootPath = text;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Replaces the per-user Slide.INI by the default copy beside the program. The copy is written
// beside the old file and renamed over it, so a failed copy leaves the old file whole.
static QByteArray readWhole(const QString& path) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw platform::RuntimeError(QStringLiteral("cannot read %1").arg(path));
    return in.readAll();
}

static void writeWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw platform::RuntimeError(QStringLiteral("cannot write %1").arg(path));
}

// The user's file, which failed to load, is kept before it is replaced: its RootPath, its
// Interval, its comments and other sections are the user's, whatever made the load fail.
// A file that already is the default copy holds nothing to keep (another copy of the program,
// starting at the same moment for a new user, may just have written it). Returns the backup's
// path, or nothing when there was nothing to keep.
static QString keepBackup(const QString& path, const QByteArray& replacement) {
    if (!QFileInfo(path).isFile())
        return QString();
    const QByteArray old = readWhole(path);
    if (old == replacement)
        return QString();
    const QString backup = path + QStringLiteral(".bak");
    writeWhole(backup, old);
    return backup;
}

static void copyReplacing(const QString& source, const QString& destination) {
    const QByteArray bytes = readWhole(source);
    // A read-only destination is not replaced, as a copy over a read-only file fails on Windows.
    if (QFile::exists(destination) && !(QFile::permissions(destination) & QFile::WriteOwner))
        throw platform::RuntimeError(QStringLiteral("%1 is read-only").arg(destination));
    SlideSettings.IniBackupPath = keepBackup(destination, bytes);
    writeWhole(destination, bytes);
}

bool gbCpLocalIni() {
    bool result = false;
    try {
        gDebugLog(4, QStringLiteral("gbCpLocalIni() Start"));
        const QString source =
            platform::programFolder() + platform::kSep + QStringLiteral("Slide.INI");
        const QString destination = SlideSettings.IniPath;
        gDebugLog(4, QStringLiteral("strFromFname = ") + source + QStringLiteral("strtoFname = ") +
                         destination);
        copyReplacing(source, destination);
        result = true;
        gDebugLog(4, QStringLiteral("gbCpLocalIni() End"));
    } catch (const std::exception&) {
        gDebugLog(4, QStringLiteral("gbCpLocalIni() Err"));
        result = false;
        gDebugLog(4, QStringLiteral("gbCpLocalIni() End"));
    }
    return result;
}
