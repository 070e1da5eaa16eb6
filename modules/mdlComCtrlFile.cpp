#include "mdlComCtrlFile.h"

#include <QFile>

#include "DirSearch.h"
#include "Error.h"
#include "JpegMarkers.h"
#include "Services.h"
#include "mdlComCtrlString.h"

bool fbSplitPath(const QString& hsPath, QString& hsDrive, QString& hsFolder, QString& hsFile,
                 QChar sep) {
    // Positions count from 1, as in the routines that measure the path.
    const qint32 n = fnGetStrLen(hsPath);
    const auto charAt = [&](qint32 i) {
        return i >= 1 && i <= hsPath.size() ? hsPath[i - 1] : QChar();
    };

    qint32 p = 0; // the drive part ends here; the folder starts after it
    if (charAt(1) == sep && charAt(2) == sep) {
        // \\server\share: the drive runs up to the second separator after the two.
        int found = 0;
        for (qint32 i = 3; i <= n && p == 0; ++i) {
            if (charAt(i) == sep && ++found == 2)
                p = i;
        }
        if (p == 0)
            return false;
        hsDrive = hsPath.left(p - 1);
    } else if (sep == u'\\') {
        if (charAt(2) == u':') {
            hsDrive = hsPath.left(2);
            p = charAt(3) == sep ? 3 : 2;
        }
    } else if (charAt(1) == sep) {
        // A POSIX absolute path has no drive: the root separator plays the part of "C:\".
        hsDrive.clear();
        p = 1;
    }

    for (qint32 i = n;; --i) {
        if (i < p)
            return false;
        if (i == 0)
            throw platform::RuntimeError(
                QStringLiteral("no separator in the path \"%1\"").arg(hsPath));
        if (charAt(i) == sep) {
            if (i > p)
                hsFolder = hsPath.mid(p, i - p - 1);
            hsFile = hsPath.mid(i, n - i);
            return true;
        }
    }
}

bool isMacCompanion(const QString& folder, const QString& name) {
    if (!name.startsWith(QStringLiteral("._")))
        return false;
    QFile file(folder + platform::kSep + name);
    // Unreadable counts as a picture: its error then shows as any other picture's would.
    return file.open(QIODevice::ReadOnly) && !startsAsJpeg(file);
}

bool fbGetPicFiles(const QString& hsPattern, qint32& hnCount, QStringList& hsList) {
    try {
        const QStringList names =
            platform::findFiles(hsPattern, platform::kAttrReadOnly | platform::kAttrHidden);
        const QString folder = hsPattern.left(hsPattern.lastIndexOf(platform::kSep));
        for (const QString& name : names) {
            if (isMacCompanion(folder, name))
                continue;
            ++hnCount;
            hsList.append(name);
        }
    } catch (const std::exception&) {
        // A failed search only makes the list shorter.
    }
    return true;
}
