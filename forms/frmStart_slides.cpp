// frmStart: the slide list, the slideshow control and the picture display.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QThread>
#include <QUrl>
#include <QWindow>

#include "Error.h"
#include "GetImage.h"
#include "MainLayout.h"
#include "PictureFit.h"
#include "Services.h"
#include "StartupTrace.h"
#include "Twips.h"
#include "frmStart.h"
#include "mdlComApi.h"
#include "mdlComCtrlFile.h"
#include "mdlComCtrlString.h"
#include "mdlComDebug.h"
#include "mdlComSlideIni.h"
#include "mdlComWinPos.h"
#include "mdlSlideDef.h"
#include "mdlSlideSys.h"

using platform::kSep;

namespace {

QString boolText(bool b) {
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

// Where the file dialog opens: `folder`, else its nearest parent that exists, else the
// documents folder, else the home folder. A dialog asked for a folder that is not there opens
// somewhere else with the missing name typed into its file-name box.
QString existingFolderFor(const QString& folder) {
    for (QString f = folder; !f.isEmpty();) {
        if (QFileInfo(f).isDir())
            return f;
        const QString parent = QFileInfo(f).path();
        if (parent == f || parent == QLatin1String("."))
            break;
        f = parent;
    }
    const QString documents = platform::services().specialFolder(platform::kFolderDocuments);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
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
        if (!isSlideExtension(suffix)) {
            warn(QStringLiteral("拡張子が[ ") + kSlideExtensions[0] + QStringLiteral("]か[") +
                     kSlideExtensions[1] + QStringLiteral("]のファイルを選んでください。"),
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
        request.initialFolder = existingFolderFor(SlideSettings.RootPath);
        for (const QString& ext : kSlideExtensions)
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

void frmStart::imgViewer_OLEDragDrop(const QMimeData* mime) {
    gDebugLog(4, QStringLiteral("imgViewer_OLEDragDrop() Start."));
    try {
        QStringList files;
        if (mime && mime->hasUrls()) {
            for (const QUrl& url : mime->urls()) {
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
        imgViewer->setPicture(pictureForBox(path));
        imgViewer->show();
        imgViewer->repaint();
        lblCnt->setText(QString::number(hnPicNo + 1) + QStringLiteral(" / ") +
                        QString::number(last + 1));
        if (m_presentation) {
            m_presentation->setCounterText(lblCnt->text());
            m_presentation->repaint(); // on screen now, as the box is, before any tick due
        }
        readAheadWhenSettled();
        QCoreApplication::processEvents();
        gDebugLog(4, QStringLiteral("fbShowPic() End"));
        return true;
    } catch (const std::exception&) {
        gDebugLog(4, QStringLiteral("fbShowPic() Err"));
        // The show pauses while the box is open: a modal box lets timer ticks through, and each
        // would show the next slide behind it and open a box of its own. The tick that failed
        // stops the show once the box is closed; any other caller finds it running on.
        const bool running = tmrSlideShow->isActive();
        tmrSlideShow->stop();
        platform::services().messageBox(
            {QStringLiteral("表示ファイル「") + name +
                 QStringLiteral("」を取得できませんでした。") + QStringLiteral("\r\n") +
                 QStringLiteral("表示フォルダ「") + gsShowFolder +
                 QStringLiteral("」を確認してください。"),
             QStringLiteral("エラー"), platform::MsgIcon::Critical, platform::MsgButtons::Ok});
        if (running && !m_unloaded)
            tmrSlideShow->start();
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
    const PictureBox fit = fitShownPicture(hsPath, info, AW, AH);
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

// ---- pictures for the display ------------------------------------------------------------

display::SlideView frmStart::slideView() const {
    return {gsShowFolder, sFile, gnShowNo, tmrSlideShow->isActive()};
}

display::AreaView frmStart::areaView() const {
    if (m_presentation) {
        // The whole screen at its device pixels.
        const QSize area = m_presentation->pictureArea();
        const double tpp = platform::twipsPerPixel();
        return {float(area.width() * tpp), float(area.height() * tpp), tpp, 1.0, true};
    }
    const TwipsRect area = twipsOf(fraImgArea);
    return {area.Width, area.Height, platform::twipsPerPixel(), devicePixelRatioF()};
}

QSize frmStart::boxPixels() const {
    const TwipsRect box = twipsOf(imgViewer);
    return display::boxPixelSize(box.Width, box.Height, platform::twipsPerPixel(),
                                 devicePixelRatioF());
}

QImage frmStart::pictureForBox(const QString& path) {
    // A slide decoded here starts its successor on a worker first: the two decodes then share
    // the processor's cores, and the next tick finds its picture ready.
    const auto beside = [this] {
        if (isVisible() && !m_resizing && QThread::idealThreadCount() >= 2)
            m_readAhead.beside(slideView(), areaView());
    };
    const auto resizing =
        m_resizing ? display::PictureCache::Resizing::Yes : display::PictureCache::Resizing::No;
    if (!isVisible() && m_pictures->isReadingAhead()) {
        // Start-up, the first picture still decoding: meanwhile the window makes its native
        // window and draws itself once off screen, so that fonts, glyphs and styles are ready
        // and its first paint after the picture arrives is quick.
        winId();
        QImage scratch(size(), QImage::Format_RGB32);
        render(&scratch);
    }
    if (m_presentation) {
        // The presentation's picture, decoded for the screen. The box behind it, which does not
        // paint meanwhile, holds the same picture and gets its own size back on leaving.
        QImage large =
            m_pictures->picture(path, display::boxForPicture(path, areaView()), resizing, beside);
        m_presentation->setPicture(large);
        return large;
    }
    static bool traced = false;
    if (traced || !display::lcStartup().isInfoEnabled())
        return m_pictures->picture(path, boxPixels(), resizing, beside);
    traced = true;
    const double asked = display::msSinceProcessStart();
    QImage picture = m_pictures->picture(path, boxPixels(), resizing, beside);
    qCInfo(display::lcStartup, "first picture asked for %.1f ms, there %.1f ms after start", asked,
           display::msSinceProcessStart());
    return picture;
}

void frmStart::readAheadWhenSettled() {
    if (m_resizing) {
        tmrReadAhead->start(250);
        return;
    }
    // In full screen the main window is covered, and a window system may say so: what counts
    // is the window on screen.
    const QWindow* window = m_presentation ? m_presentation->windowHandle() : windowHandle();
    if (!isVisible() || !window || !window->isExposed()) {
        // After the first paint; a window that does not paint (minimised) after a moment.
        m_readAheadAfterPaint = true;
        tmrReadAhead->start(500);
        return;
    }
    tmrReadAhead->stop();
    m_readAhead.around(slideView(), areaView());
}

void frmStart::settled() {
    if (m_unloaded || !isVisible() || imgViewer->isHidden() || gnShowNo < 0 ||
        gnShowNo >= sFile.size())
        return;
    m_readAhead.around(slideView(), areaView());
    // A picture resampled up from a smaller one during the resize is decoded once, now.
    m_pictures->refine(gsShowFolder + kSep + sFile[gnShowNo], boxPixels());
}

void frmStart::readAheadFirstPicture(display::PictureCache& pictures,
                                     const QString& commandLine) noexcept {
    try {
        if (commandLine.isEmpty())
            return;
        // The path as the slide list will rebuild it, so that the display finds the picture.
        QString drive, folder, file;
        fbSplitPath(commandLine, drive, folder, file);
        if (!isSlideExtension(fsGetSuffix(file)))
            return;
        const QString path = drive + kSep + folder + kSep + file;
        if (!QFileInfo(path).isFile())
            return;
        // The window's outer size from its stored rectangle, as start-up will apply it. The
        // frame and the menu bar are not known before the window exists; leaving them out
        // guesses a box a little larger than the real one, so the picture decoded for it covers
        // the real one, which is then a resample of it. Before the application object exists
        // there is no screen to ask: the usual 96 dpi, no scaling.
        WinPos pos{0, 0, 0, 0};
        if (QFileInfo(userDataFolderPath()).isDir()) // start-up creates it, not this
            gGetWinPos(kMainWindowCaption, pos);
        const MainLayout l = mainLayout(qMax(float(pos[2]), layout::kMinOuterWidth),
                                        qMax(float(pos[3]), layout::kMinOuterHeight));
        const display::AreaView area{l.fraImgArea.Width, l.fraImgArea.Height,
                                     platform::twipsPerPixel(), 1.0};
        pictures.readAhead(path, display::boxForPicture(path, area), true);
    } catch (...) {
        // No head start: the picture is decoded when the show starts.
    }
}

// ---- full screen --------------------------------------------------------------------------

void frmStart::enterFullScreen() {
    if (m_presentation || m_unloaded || gnShowNo < 0 || gnShowNo >= sFile.size())
        return;
    m_presentation = new Presentation(this);
    connect(m_presentation, &Presentation::leaveRequested, this,
            [this] { guarded("leaveFullScreen", [&] { leaveFullScreen(); }); });
    connect(m_presentation, &Presentation::keyCommand, this, [this](PresentationKey key) {
        guarded("presentationKey", [&] { presentationKeyPressed(key); });
    });
    m_presentation->setCounterText(lblCnt->text());
    // The window behind is covered: painting its picture box too would only cost time.
    imgViewer->setUpdatesEnabled(false);
    m_presentation->open(screen());
    if (imgViewer->isHidden())
        return; // no slide shown yet: black until the first one
    // The slide on screen, at the presentation's size; the show goes on as it was.
    const QString path = slideView().path(gnShowNo);
    try {
        m_presentation->setPicture(
            m_pictures->picture(path, display::boxForPicture(path, areaView())));
    } catch (const std::exception&) {
        // Black until the next slide: showing a slide is where its error is reported.
    }
    readAheadWhenSettled();
}

void frmStart::leaveFullScreen() {
    Presentation* const presentation = m_presentation;
    if (!presentation)
        return;
    m_presentation = nullptr;
    presentation->hide();
    presentation->deleteLater();
    // The picture area as it is now: the box may have moved while it did not paint.
    imgViewer->setUpdatesEnabled(true);
    fraImgArea->update();
    if (!m_unloaded && !imgViewer->isHidden() && gnShowNo >= 0 && gnShowNo < sFile.size()) {
        try {
            // A resample of the presentation's picture, held: no decode.
            imgViewer->setPicture(m_pictures->picture(slideView().path(gnShowNo), boxPixels()));
        } catch (const std::exception&) {
            // The file is gone: its own box shows the screen's picture, stretched.
        }
        readAheadWhenSettled();
    }
    activateWindow();
}

void frmStart::presentationKeyPressed(PresentationKey key) {
    // Each key is its button: it acts only when the button is enabled, through its handler.
    const auto press = [this](qint16 index) {
        if (!cmdPlayer[size_t(index)]->isEnabled())
            return false;
        cmdPlayer_Click(index);
        return true;
    };
    switch (key) {
    case PresentationKey::Next:
    case PresentationKey::Previous:
        if (press(key == PresentationKey::Next ? 3 : 2) && m_presentation)
            m_presentation->flashCounter();
        break;
    case PresentationKey::StartOrStop:
        if (!press(0))
            press(1);
        break;
    case PresentationKey::Leave: // comes as leaveRequested()
    case PresentationKey::None:
        break;
    }
}
