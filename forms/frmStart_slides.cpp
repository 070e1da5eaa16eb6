// frmStart: the slide list, the slideshow control and the picture display.
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "GetImage.h"
#include "PictureFit.h"
#include "ReadAhead.h"
#include "Twips.h"
#include "frmStart.h"
#include "mdlComApi.h"
#include "mdlComCtrlFile.h"
#include "mdlComCtrlString.h"
#include "mdlComDebug.h"
#include "mdlSlideDef.h"
#include "mdlSlideSys.h"
#include "platform/Error.h"
#include "platform/Services.h"

using platform::kSep;

namespace {
// The accepted extensions, in this order.
const QString kExtensions[2] = {QStringLiteral("jpg"), QStringLiteral("jpeg")};

QString boolText(bool b) {
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

void warn(const QString& text, const QString& title) {
    platform::services().messageBox(
        {text, title, platform::MsgIcon::Warning, platform::MsgButtons::Ok});
}
} // namespace

// ---- slide list -------------------------------------------------------------------------------

bool frmStart::fbGetShowFile(const QString& hsFilePath) {
    try {
        gDebugLog(4, QStringLiteral("fbGetShowFile() Start. hsFilePath=") + hsFilePath);
        QString drive, folder, file;
        fbSplitPath(hsFilePath, drive, folder, file);
        gDebugLog(2, QStringLiteral("SelDir Drive=[") + drive + QStringLiteral("]Dir[") + folder +
                         QStringLiteral("]File=[") + file + QStringLiteral("]"));
        const QString suffix = fsGetSuffix(file);
        gDebugLog(2, QStringLiteral("SAFIX=") + suffix);

        bool ok = false;
        if (suffix.toLower() != kExtensions[0] && suffix.toLower() != kExtensions[1]) {
            warn(QStringLiteral("拡張子が[ ") + kExtensions[0] + QStringLiteral("]か[") +
                     kExtensions[1] + QStringLiteral("]のファイルを選んでください。"),
                 QStringLiteral("ファイル設定エラー"));
        } else {
            qint32 nFNum = 0;
            QStringList list;
            const QString pattern = drive + kSep + folder + kSep + QStringLiteral("*.") + suffix;
            if (fbGetPicFiles(pattern, nFNum, list) && !list.isEmpty()) {
                qint32 showNo = gnShowNo;
                for (qint32 ni = 0; ni < list.size(); ++ni) {
                    if (list[ni] == file)
                        showNo = ni;
                    gDebugLog(2, QStringLiteral("nFNum=") + QString::number(nFNum) +
                                     QStringLiteral("/sFile(ni)=") + list[ni]);
                }
                sFile = list;
                gnShowNo = showNo;
                gsShowFolder = drive + kSep + folder;
                SlideSettings.RootPath = gsShowFolder;
                ok = true;
            }
        }
        if (ok) {
            gDebugLog(4, QStringLiteral("fbGetShowFile() End."));
            return true;
        }
    } catch (const std::exception&) {
        // falls through to the failure path
    }
    gDebugLog(4, QStringLiteral("fbGetShowFile() Err."));
    gDebugLog(4, QStringLiteral("fbGetShowFile() End."));
    return false;
}

void frmStart::mnuFileRed_Click() {
    gDebugLog(4, QStringLiteral("mnuFileRed_Click() Start."));
    try {
        if (SlideSettings.RootPath.isEmpty())
            SlideSettings.RootPath = gsGetSpecialFolder(qintptr(0), platform::kFolderDocuments);
        platform::OpenFileRequest request;
        request.title = QStringLiteral("読み込むファイルを選択してください。");
        request.initialFolder = SlideSettings.RootPath;
        for (const QString& ext : kExtensions)
            request.nameFilters << ext.toUpper() + QStringLiteral(" 形式 (*.") + ext +
                                       QStringLiteral(")");
        const QString path = platform::services().openFileDialog(request);
        if (path.isEmpty())
            return;
        if (fbGetShowFile(path)) {
            fCtrlSlideShow(true);
        } else {
            gDebugLog(4, QStringLiteral("mnuFileRed_Click() Err."));
            fCtrlSlideShow(false);
        }
        gDebugLog(4, QStringLiteral("mnuFileRed_Click() End."));
    } catch (const std::exception&) {
        gDebugLog(4, QStringLiteral("mnuFileRed_Click() Err."));
        fCtrlSlideShow(false);
        gDebugLog(4, QStringLiteral("mnuFileRed_Click() End."));
    }
}

void frmStart::imgViewer_OLEDragDrop(const QMimeData* data) {
    gDebugLog(4, QStringLiteral("imgViewer_OLEDragDrop() Start."));
    try {
        QStringList files;
        if (data && data->hasUrls()) {
            for (const QUrl& url : data->urls()) {
                if (!url.isLocalFile()) {
                    files.clear();
                    break;
                }
                files << QDir::toNativeSeparators(url.toLocalFile());
            }
        }
        if (files.isEmpty()) {
            gDebugLog(4, QStringLiteral("imgViewer_OLEDragDrop() End."));
            return;
        }
        if (files.size() > 1) {
            warn(QStringLiteral("複数ファイルの指定はできません。"), QStringLiteral("設定エラー"));
        } else if (fbGetShowFile(files.first())) {
            fCtrlSlideShow(true);
            gDebugLog(4, QStringLiteral("imgViewer_OLEDragDrop() End."));
            return;
        }
    } catch (const std::exception&) {
        // ends as a failed build
    }
    gDebugLog(4, QStringLiteral("imgViewer_OLEDragDrop() Err."));
    fCtrlSlideShow(false);
    gDebugLog(4, QStringLiteral("imgViewer_OLEDragDrop() End."));
}

// ---- slideshow control ---------------------------------------------------------------------

void frmStart::fCtrlSlideShow(bool hbStart) {
    gDebugLog(4, QStringLiteral("fCtrlSlideShow() Start hbStart=") + boolText(hbStart));
    setRedraw(false);
    if (hbStart) {
        tmrSlideShow->setInterval(slideTimerPeriodMs());
        tmrSlideShow->start();
        cmdPlayer[0]->setEnabled(false);
        cmdPlayer[1]->setEnabled(true);
        mnuFile->setEnabled(false);
        mnuTool->setEnabled(false);
        fbShowPic(gnShowNo);
    } else {
        tmrSlideShow->stop();
        cmdPlayer[0]->setEnabled(true);
        cmdPlayer[1]->setEnabled(false);
        mnuFile->setEnabled(true);
        mnuTool->setEnabled(true);
    }
    cmdPlayer[2]->setEnabled(true);
    cmdPlayer[3]->setEnabled(true);
    for (size_t i = 0; i < cmdPlayer.size(); ++i) {
        const bool enabled = cmdPlayer[i]->isEnabled();
        picOn[i]->setVisible(enabled);
        picOff[i]->setVisible(!enabled);
    }
    setRedraw(true);
    gDebugLog(4, QStringLiteral("fCtrlSlideShow() End hbStart=") + boolText(hbStart));
}

void frmStart::cmdPlayer_Click(qint16 Index) {
    gDebugLog(4, QStringLiteral("cmdPlayer_Click() Start index=") + QString::number(Index));
    switch (Index) {
    case 0:
        fCtrlSlideShow(true);
        break;
    case 1:
        fCtrlSlideShow(false);
        break;
    case 3:
        gnShowNo += 1;
        fbShowPic(gnShowNo);
        fCtrlSlideShow(false);
        break;
    case 2:
        gnShowNo -= 1;
        fbShowPic(gnShowNo);
        fCtrlSlideShow(false);
        break;
    default:
        break;
    }
    gDebugLog(4, QStringLiteral("cmdPlayer_Click() End index=") + QString::number(Index));
}

void frmStart::tmrSlideShow_Timer() {
    gDebugLog(4,
              QStringLiteral("tmrSlideShow_Timer() Start gnShowNo=") + QString::number(gnShowNo));
    gnShowNo += 1;
    if (!fbShowPic(gnShowNo))
        fCtrlSlideShow(false);
    gDebugLog(4, QStringLiteral("tmrSlideShow_Timer() End gnShowNo=") + QString::number(gnShowNo));
}

// ---- picture display -----------------------------------------------------------------------

bool frmStart::fbShowPic(qint32& hnPicNo) {
    QString name;
    try {
        gDebugLog(4, QStringLiteral("fbShowPic() Start　hnPicNo=") + QString::number(hnPicNo));
        // Nothing to show yet: fail quietly, touching nothing.
        if (sFile.isEmpty()) {
            gDebugLog(4, QStringLiteral("fbShowPic() End"));
            return false;
        }
        const qint32 last = qint32(sFile.size()) - 1;
        if (hnPicNo > last)
            hnPicNo = 0;
        else if (hnPicNo < 0)
            hnPicNo = last;
        name = sFile[hnPicNo];
        const QString path = gsShowFolder + kSep + name;
        gDebugLog(3, QStringLiteral("SlideShow_File=[") + path + QStringLiteral("]"));

        imgViewer->hide();
        fSetPicSize(path, 3);
        const TwipsRect box = twipsOf(imgViewer);
        const QImage picture = pictureForBox(*this, path,
                                             boxPixelSize(box.Width, box.Height,
                                                          platform::twipsPerPixel(),
                                                          devicePixelRatioF()));
        imgViewer->setPicture(picture);
        imgViewer->show();
        imgViewer->repaint();
        lblCnt->setText(QString::number(hnPicNo + 1) + QStringLiteral(" / ") +
                        QString::number(last + 1));
        readAheadAround(*this, hnPicNo);
        QCoreApplication::processEvents();
        gDebugLog(4, QStringLiteral("fbShowPic() End"));
        return true;
    } catch (const std::exception&) {
        gDebugLog(4, QStringLiteral("fbShowPic() Err"));
        platform::services().messageBox(
            {QStringLiteral("表示ファイル「") + name +
                 QStringLiteral("」を取得できませんでした。") + QStringLiteral("\r\n") +
                 QStringLiteral("表示フォルダ「") + gsShowFolder +
                 QStringLiteral("」を確認してください。"),
             QStringLiteral("エラー"), platform::MsgIcon::Critical, platform::MsgButtons::Ok});
        gDebugLog(4, QStringLiteral("fbShowPic() End"));
        return false;
    }
}

void frmStart::fSetPicSize(const QString& hsPath, qint32 hnType) {
    const ImageInfo info = GetImageInfo(hsPath, hnType);
    gDebugLog(4, QStringLiteral("[GetImagSize]　Width=[") + QString::number(info.Width) +
                     QStringLiteral("]/Height=[") + QString::number(info.Height) +
                     QStringLiteral("]/BPP=[") + QString::number(info.BPP) + QStringLiteral("]"));
    const TwipsRect area = twipsOf(fraImgArea);
    const float AW = area.Width;
    const float AH = area.Height;
    gDebugLog(4, QStringLiteral("[GetFieldSize1]　Width=[") + formatSingle(AW) +
                     QStringLiteral("]/Height=[") + formatSingle(AH) + QStringLiteral("]"));
    const PictureBox fit = fitPictureBox(info.Width, info.Height, AW, AH);
    TwipsRect box = twipsOf(imgViewer);
    gDebugLog(4, QStringLiteral("[GetFieldSize2Bef]　Width=[") + formatSingle(box.Width) +
                     QStringLiteral("]/Height=[") + formatSingle(box.Height) + QStringLiteral("]"));
    box.Height = fit.Height;
    box.Width = fit.Width;
    box.Left = (AW - box.Width) / 2;
    box.Top = (AH - box.Height) / 2;
    setTwips(imgViewer, box);
    const TwipsRect after = twipsOf(imgViewer);
    gDebugLog(4, QStringLiteral("[GetFieldSize2Aft]　Width=[") + formatSingle(after.Width) +
                     QStringLiteral("]/Height=[") + formatSingle(after.Height) +
                     QStringLiteral("]/Left=[") + formatSingle(after.Left) +
                     QStringLiteral("]/Top=[") + formatSingle(after.Top) + QStringLiteral("]"));
}
