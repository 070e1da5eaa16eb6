#include "mdlComWinPos.h"

#include <exception>

#include "Cp932.h"
#include "ProfileFile.h"
#include "Services.h"
#include "mdlComCtrlString.h"
#include "mdlComSlideIni.h"

namespace {

const QString kSection = QStringLiteral("Window_Pos");
const QString kDefaultPos = QStringLiteral("1000,1000,2000,2000");

// One entry per program file and form, so copies renamed side by side keep their own places.
QString winPosKey(const QString& hsCaption) {
    return platform::programBaseName() + u'-' + hsCaption;
}

// Half of a screen extent as a whole number of twips, a half going to the even neighbour.
qint32 halfRoundedEven(qint32 extent) {
    return roundHalfEven(extent / 2.0);
}

} // namespace

void gGetWinPos(const QString& hsCaption, WinPos& hnPos) {
    const QString file = gsGetSettingIniPath();
    // The profile call fills a 256-byte buffer: the value comes back cut to 255 bytes, and only
    // the bytes before its terminating NUL count.
    QByteArray value = platform::getPrivateProfileString(platform::toCp932(kSection),
                                                         platform::toCp932(winPosKey(hsCaption)),
                                                         platform::toCp932(kDefaultPos), file, 256);
    if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
        value.truncate(nul);
    gSplitWinPos(platform::fromCp932(value), hnPos);

    // A place remembered from a larger screen would leave the window out of reach.
    const QSize screen = platform::primaryScreenTwips();
    if (screen.width() <= hnPos[0])
        hnPos[0] = halfRoundedEven(screen.width());
    if (screen.height() <= hnPos[1])
        hnPos[1] = halfRoundedEven(screen.height());
}

void gPutWinPos(const QString& hsCaption, const WinPos& hnPos, qint32 hnWindowState) {
    const QString file = gsGetSettingIniPath();
    const QSize screen = platform::primaryScreenTwips();
    if (screen.width() > hnPos[0] && screen.height() > hnPos[1]) {
        // A minimised or maximised window keeps the last normal place it had.
        if (hnWindowState == kWindowMinimized || hnWindowState == kWindowMaximized)
            return;
        if (hnPos[0] >= 0 && hnPos[1] >= 0) {
            const QString value = QStringLiteral("%1,%2,%3,%4")
                                      .arg(hnPos[0])
                                      .arg(hnPos[1])
                                      .arg(hnPos[2])
                                      .arg(hnPos[3]);
            // A failed write is not reported: the window simply opens at its old place.
            gbPutIniString(file, kSection, winPosKey(hsCaption), value);
        }
    }
}

void gSplitWinPos(const QString& hsText, WinPos& hnPos) {
    fSplitCsvLong(hsText, qint32(hnPos.size()), hnPos);
}

void fSplitCsvLong(const QString& hsText, qint32 hnCount, std::span<qint32> hnValues) {
    QString field;
    qint32 index = 0;
    // One place past the last character closes the last field.
    for (qsizetype i = 0; i <= hsText.size(); ++i) {
        const bool atEnd = i == hsText.size();
        if (!atEnd && hsText.at(i) != u',') {
            field += hsText.at(i);
            continue;
        }
        if (!field.isEmpty()) {
            // A field that is not a number, or one past the end of the array, is skipped: a
            // hand-edited entry must not keep the window from opening.
            try {
                const qint32 number = toLong(field);
                if (index >= 0 && std::size_t(index) < hnValues.size())
                    hnValues[std::size_t(index)] = number;
            } catch (const std::exception&) {
            }
        }
        field.clear();
        ++index;
        if (index == hnCount)
            break;
    }
}

QRect fitOnScreen(const QRect& outer, const QRect& available) {
    if (available.isEmpty())
        return outer;
    const int width = qBound(1, outer.width(), available.width());
    const int height = qBound(1, outer.height(), available.height());
    const int left = qBound(available.left(), outer.left(), available.right() + 1 - width);
    const int top = qBound(available.top(), outer.top(), available.bottom() + 1 - height);
    return QRect(left, top, width, height);
}
