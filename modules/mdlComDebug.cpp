#include "mdlComDebug.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

#include "Cp932.h"
#include "DirSearch.h"
#include "Error.h"
#include "Services.h"
#include "mdlComApi.h"
#include "mdlComSlideIni.h"

using platform::kSep;

namespace {

DebugLogStateRecord state;

QString linePrefix() {
    return QString::number(state.Pid) + u' ' +
           platform::services().now().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) + u' ';
}

QString banner(const QString& what) {
    return QStringLiteral("=-=-=-=-=-=【") + state.AppName + what + QStringLiteral("】=-=-=-=-=-=");
}

// The numeric value of the start of a text as Basic's Val reads it: blanks anywhere are
// skipped, a sign, digits, a decimal point and an exponent; no number at all gives 0.
double basicVal(const QString& text) {
    QString number;
    bool digits = false, point = false, exponent = false, expDigits = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            number += c;
            (exponent ? expDigits : digits) = true;
        } else if ((c == u'+' || c == u'-') &&
                   (number.isEmpty() || (exponent && number.back().toUpper() == u'E'))) {
            number += c;
        } else if (c == u'.' && !point && !exponent) {
            number += c;
            point = true;
        } else if ((c.toUpper() == u'E' || c.toUpper() == u'D') && digits && !exponent) {
            number += u'E';
            exponent = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    if (exponent && !expDigits) // "12E" or "12E-": the exponent never started
        number.truncate(number.lastIndexOf(u'E'));
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0.0;
}

// Log files are sorted by the date their names start with.
double fileKey(const QString& name) {
    return basicVal(name.left(8));
}

// (lo + hi) / 2 rounded to the nearest integer, halves to the even neighbour.
qint64 middleIndex(qint64 lo, qint64 hi) {
    const qint64 sum = lo + hi;
    qint64 mid = sum >= 0 ? sum / 2 : -((-sum + 1) / 2); // floor
    if ((sum & 1) && (mid & 1))
        ++mid;
    return mid;
}

void checkIndex(const QStringList& list, qint64 index) {
    if (index < 0 || index >= list.size())
        throw platform::RuntimeError(QStringLiteral("file list index %1 out of range").arg(index));
}

// Deletes a file even when it is read-only. A file that another running copy removed first
// is gone as wanted and is no error.
void deleteFileForced(const QString& path) {
    QFile file(path);
    file.setPermissions(file.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    if (file.remove())
        return;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    throw platform::RuntimeError(
        QStringLiteral("cannot delete the log file %1: %2").arg(path, file.errorString()));
}

void ensureLogFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (info.isDir())
        return;
    // One level only: the base folder has to be there already.
    // A copy starting at the same moment may have made it first: that is no failure.
    if (!QFileInfo(info.absolutePath()).isDir() ||
        (!QDir().mkdir(folder) && !QFileInfo(folder).isDir()))
        throw platform::RuntimeError(QStringLiteral("cannot create the log folder %1").arg(folder));
}

} // namespace

const DebugLogStateRecord& debugLogState() {
    return state;
}

void resetDebugLog() {
    state = DebugLogStateRecord();
}

void gDebugLog(qint16 hnKind, const QString& hsText, qint16 hnLevel, const QString& hsUser,
               qint32 hnKeepCount, qint32 hnPid, const QString& hsFolder) {
    switch (hnKind) {
    case 97:
        state.AppName = fsGetAppName(hsText);
        state.DebugLevel = hnLevel;
        state.UserName = hsUser.isEmpty() ? QStringLiteral("DEFAULT_USER") : hsUser;
        state.DebugNum = hnKeepCount;
        state.LogFolder = hsFolder.isEmpty() ? platform::programFolder() : hsFolder;
        state.Pid = hnPid;
        if (state.DebugLevel > 0)
            fWriteDebugLine(hnKind, hsText);
        break;
    case 1:
    case 2:
    case 3:
    case 4:
        if (state.DebugLevel >= hnKind)
            fWriteDebugLine(hnKind, hsText);
        break;
    case 99:
        if (state.DebugLevel > 0)
            fWriteDebugLine(hnKind, hsText);
        break;
    default:
        break;
    }
}

void fWriteDebugLine(qint16 hnKind, const QString& hsText) {
    state.LogFilePath = fsGetDebugFilePath();

    QString record;
    switch (hnKind) {
    case 97:
        record = linePrefix() + banner(QStringLiteral("アプリケーション開始")) +
                 QStringLiteral("\r\n") + linePrefix() + u'[' + state.AppName +
                 QStringLiteral("] ") + hsText + u' ' + QStringLiteral("Pid=[") +
                 QString::number(state.Pid) + QStringLiteral("] DebugLevel=[") +
                 QString::number(state.DebugLevel) + QStringLiteral("] DebugNum=[") +
                 QString::number(state.DebugNum) + QStringLiteral("] UserName=[") + state.UserName +
                 QStringLiteral("] ");
        break;
    case 99:
        record = linePrefix() + banner(QStringLiteral("アプリケーション終了"));
        break;
    default:
        record = linePrefix() + u'[' + state.AppName + QStringLiteral("] ") + hsText;
        break;
    }
    record += QStringLiteral("\r\n");
    const QByteArray bytes = platform::toCp932(record);

    // Always append, creating the file when missing, and hand the whole record to the system
    // in one write: two running copies then never truncate each other's file or mix within a
    // line, even when both found the day file missing.
    QFile file(state.LogFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw platform::RuntimeError(QStringLiteral("cannot open the log file %1: %2")
                                         .arg(state.LogFilePath, file.errorString()));
    if (file.write(bytes) != bytes.size())
        throw platform::RuntimeError(QStringLiteral("cannot write the log file %1: %2")
                                         .arg(state.LogFilePath, file.errorString()));
    file.close();
}

QString fsGetAppName(const QString& hsName) {
    return hsName.isEmpty() ? platform::programBaseName() : hsName;
}

void gGetUserInfo(QString& hsUser, qint32& hnPid, QString& hsFolder) {
    hsUser = gsGetUserName();
    hnPid = platform::services().processId();
    hsFolder = gsGetUserDataFolder();
}

QString fsGetDebugFilePath() {
    state.bLogFileExisted = false;
    if (state.DebugNum < std::numeric_limits<qint16>::min() ||
        state.DebugNum > std::numeric_limits<qint16>::max())
        throw platform::RuntimeError(
            QStringLiteral("log keep count %1 out of range").arg(state.DebugNum));
    const qint32 keep = state.DebugNum;

    const QString folder = state.LogFolder + kSep + QStringLiteral("Log");
    ensureLogFolder(folder);
    const QString folderPrefix = folder + kSep;

    const QString dayFile = folderPrefix +
                            platform::services().now().toString(QStringLiteral("yyyyMMdd")) + u'_' +
                            state.UserName + u'_' + state.AppName + QStringLiteral(".dbg");
    if (QFileInfo(dayFile).isFile())
        state.bLogFileExisted = true;

    qint32 count = 0;
    QStringList list;
    fbGetFileList(folderPrefix + QStringLiteral("????????_") + state.AppName +
                      QStringLiteral(".dbg"),
                  count, list);
    if (count >= keep) {
        fbSortFileList(list, 1, count);
        // A negative keep count deletes what was found and nothing beyond it.
        const qint32 last = qMin(count, count - keep);
        for (qint32 i = 1; i <= last; ++i)
            deleteFileForced(folderPrefix + list[i]);
    }
    return dayFile;
}

bool fbGetFileList(const QString& hsPattern, qint32& hnCount, QStringList& hsList) {
    QStringList names;
    try {
        names = platform::findFiles(hsPattern, platform::kAttrReadOnly | platform::kAttrHidden);
    } catch (...) {
        // A folder that cannot be searched lists nothing.
    }
    for (const QString& name : names) {
        ++hnCount;
        hsList.resize(qsizetype(hnCount) + 1);
        hsList[hnCount] = name;
    }
    return true;
}

bool fbSortFileList(QStringList& hsList, qint32 hnLo, qint32 hnHi) {
    if (hnLo >= hnHi)
        return false;
    qint64 lo = hnLo, hi = hnHi;
    checkIndex(hsList, lo);
    checkIndex(hsList, hi);
    // Recurse into the smaller part and loop on the larger one: the same order as sorting
    // both parts recursively, with a stack depth that stays small for long runs of equal keys.
    while (lo < hi) {
        const qint64 mid = middleIndex(lo, hi);
        const QString pivot = hsList[mid];
        const double pivotKey = fileKey(pivot);
        hsList[mid] = hsList[lo];
        qint64 last = lo;
        for (qint64 i = lo + 1; i <= hi; ++i) {
            if (fileKey(hsList[i]) < pivotKey) {
                ++last;
                hsList.swapItemsAt(last, i);
            }
        }
        hsList[lo] = hsList[last];
        hsList[last] = pivot;
        if (last - lo < hi - last) {
            fbSortFileList(hsList, qint32(lo), qint32(last - 1));
            lo = last + 1;
        } else {
            fbSortFileList(hsList, qint32(last + 1), qint32(hi));
            hi = last - 1;
        }
    }
    return true;
}
