#pragma once
// The slideshow screen: start-up and shutdown, layout, menus, the slide list, the show and the
// picture display all live on this window, as the program's routines do.
#include <array>
#include <memory>

#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "PictureCache.h"
#include "Presentation.h"
#include "ReadAhead.h"

class QAction;
class QMenu;
class QMimeData;

// The image control: draws its picture stretched to its own size, no border.
class ImageBox : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage m_picture;
    bool m_paintedOnce = false;
};

// The picture area: a bordered frame that takes dropped files.
class DropFrame : public QFrame {
    Q_OBJECT
public:
    using QFrame::QFrame;
    void setAcceptsDrops(bool on) { setAcceptDrops(on); }
Q_SIGNALS:
    void dropped(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};

// The main window's caption; window positions are stored under it.
inline const QString kMainWindowCaption = QStringLiteral("スライド画面");

class frmStart : public QMainWindow {
    Q_OBJECT
public:
    // `pictures` may come with a decode already under way (start-up); by default the window
    // makes its own, reading two slides ahead.
    explicit frmStart(std::unique_ptr<display::PictureCache> pictures = nullptr);
    ~frmStart() override;

    // Called first thing in main(), before the application object exists: starts decoding the
    // picture named on `commandLine` for the box the stored window rectangle will give it, so
    // that the decode runs while the program starts. Never throws.
    static void readAheadFirstPicture(display::PictureCache& pictures,
                                      const QString& commandLine) noexcept;

    // The pictures of the slides, read ahead and on screen.
    display::PictureCache& pictures() { return *m_pictures; }

    // The load handler. False when start-up ended on a failure path: the form has then been
    // unloaded (its shutdown ran) and must not be shown.
    bool Form_Load();
    // The unload handler: runs once, whichever way the window closes.
    void Form_Unload();
    bool isUnloaded() const { return m_unloaded; }

    // Controls, named as the design names them.
    QLabel* lblMsg = nullptr;
    QLabel* lblCnt = nullptr;
    DropFrame* fraImgArea = nullptr;
    ImageBox* imgViewer = nullptr;
    QFrame* fraFunc = nullptr;
    std::array<QPushButton*, 4> cmdPlayer{};
    std::array<QLabel*, 4> picOn{};
    std::array<QLabel*, 4> picOff{};
    QPushButton* cmdEnd = nullptr;
    QTimer* tmrSlideShow = nullptr;
    // Reading ahead waits until the window is on screen and its size has been still a moment
    // (a drag of the frame delivers a new size every 20-100 ms); this times the wait.
    QTimer* tmrReadAhead = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuFileRed = nullptr;
    QAction* mnuEnd = nullptr;
    QMenu* mnuTool = nullptr;
    QAction* mnuOption = nullptr;
    QMenu* mnuVersion = nullptr;
    QAction* mnuVerVal = nullptr;
    // F11: the full-screen presentation (in no menu; the design's menus stay as they are).
    QAction* actFullScreen = nullptr;

    // The client area (below the menu bar), in twips.
    float clientWidthTwips() const;
    float clientHeightTwips() const;

    // Routines of the window.
    void fInitForm();
    void fSetTimer();
    bool fbSaveSlideIni();
    void Form_Resize();
    void cmdEnd_Click();
    void mnuEnd_Click();
    void mnuOption_Click();
    void mnuFileRed_Click();
    void imgViewer_OLEDragDrop(const QMimeData* mime);
    bool fbGetShowFile(const QString& hsFilePath);
    void fCtrlSlideShow(bool hbStart);
    void cmdPlayer_Click(qint16 Index);
    void tmrSlideShow_Timer();
    bool fbShowPic(qint32& hnPicNo);
    void fSetPicSize(const QString& hsPath, qint32 hnType);

    // The full-screen presentation of the slide list, on the screen the window is on; with no
    // slide list, nothing. Entering and leaving change neither the slide, nor the show, nor
    // the log.
    void enterFullScreen();
    void leaveFullScreen();
    // The open presentation, else null.
    Presentation* presentation() const { return m_presentation; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void createControls();
    void createMenus();
    void setRedraw(bool on);
    void applyMinimumSize();
    void applyOuterRect();
    void applyFrameOnceKnown();
    QImage pictureForBox(const QString& path);
    QSize boxPixels() const;
    display::SlideView slideView() const;
    display::AreaView areaView() const;
    void readAheadWhenSettled();
    void settled();
    void presentationKeyPressed(PresentationKey key);

    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_placed = false;
    QRect m_outer;              // outer rectangle from start-up, pixels
    QMargins m_appliedFrame;    // frame margins that m_outer was applied with
    QElapsedTimer m_frameWatch; // since the first show: how long to look for the frame
    bool m_frameApplied = false;

    std::unique_ptr<display::PictureCache> m_pictures;
    display::ReadAhead m_readAhead;
    bool m_resizing = false;            // inside Form_Resize's re-fit of a window on screen
    bool m_readAheadAfterPaint = false; // put off until the first picture is on screen
    QPointer<Presentation> m_presentation;
};
