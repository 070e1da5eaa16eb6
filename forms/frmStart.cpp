// frmStart: the window, its controls and layout, start-up and shutdown, menus and exit.
// The slide list, the show and the picture display are in frmStart_slides.cpp.
#include "frmStart.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ButtonKeys.h"
#include "Error.h"
#include "EventGuard.h"
#include "Glyphs.h"
#include "LoadedForms.h"
#include "MainLayout.h"
#include "Services.h"
#include "StartupTrace.h"
#include "Twips.h"
#include "frmOption.h"
#include "mdlComApi.h"
#include "mdlComCtrlFile.h"
#include "mdlComCtrlString.h"
#include "mdlComDebug.h"
#include "mdlComFunction.h"
#include "mdlComSlideIni.h"
#include "mdlComWinPos.h"
#include "mdlSlideDef.h"
#include "mdlSlideSys.h"

using namespace layout;

// ---- ImageBox and DropFrame ------------------------------------------------------------------

void ImageBox::setPicture(const QImage& picture) {
    m_picture = picture;
    update();
}

void ImageBox::paintEvent(QPaintEvent*) {
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_picture); // stretched to the box
    if (!m_paintedOnce) {
        m_paintedOnce = true;
        qCInfo(display::lcStartup, "first picture painted %.1f ms after start",
               display::msSinceProcessStart());
    }
}

void DropFrame::dragEnterEvent(QDragEnterEvent* e) {
    e->acceptProposedAction();
}
void DropFrame::dragMoveEvent(QDragMoveEvent* e) {
    e->acceptProposedAction();
}
void DropFrame::dropEvent(QDropEvent* e) {
    e->acceptProposedAction();
    Q_EMIT dropped(e->mimeData());
}

// ---- construction --------------------------------------------------------------------------

frmStart::frmStart(std::unique_ptr<display::PictureCache> pictures)
    : m_pictures(pictures ? std::move(pictures) : std::make_unique<display::PictureCache>()),
      m_readAhead(*m_pictures) {
    setObjectName(QStringLiteral("frmStart"));
    setWindowTitle(kMainWindowCaption);
    setWindowIcon(QIcon(QStringLiteral(":/icon.png")));
    // The window's own font: the Japanese system font at 9 points, so the texts fit the
    // controls' designed sizes.
    QFont windowFont;
    windowFont.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAGothic"),
                            QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    windowFont.setPointSizeF(9);
    setFont(windowFont);
    createMenus();
    createControls();
    clickButtonsOnEnter(this);
    registerLoadedForm(this);

    tmrReadAhead = new QTimer(this);
    tmrReadAhead->setObjectName(QStringLiteral("tmrReadAhead"));
    tmrReadAhead->setSingleShot(true);
    connect(tmrReadAhead, &QTimer::timeout, this,
            [this] { guarded("settled", [&] { settled(); }); });
    // A picture made coarse during a resize, decoded again for its box: the same slide at the
    // same size, only sharper, so nothing but the pixels changes.
    connect(m_pictures.get(), &display::PictureCache::pictureRefined, this,
            [this](const QString& path, QSize box, const QImage& picture) {
                if (!imgViewer->isHidden() && gnShowNo >= 0 && gnShowNo < sFile.size() &&
                    path == gsShowFolder + platform::kSep + sFile[gnShowNo] &&
                    box == imgViewer->picture().size())
                    imgViewer->setPicture(picture);
            });
}

frmStart::~frmStart() {
    unregisterLoadedForm(this);
}

static QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text,
                         const TwipsRect& r) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    setTwips(label, r);
    return label;
}

void frmStart::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->installEventFilter(this);

    lblMsg = makeLabel(client, QStringLiteral("lblMsg"),
                       QStringLiteral("スライドしたいファイルをドラッグ＆ドロップして下さい。"),
                       kLblMsg);
    lblMsg->setWordWrap(true); // the prompt wraps inside its box, as a Windows label does
    lblMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblCnt = makeLabel(client, QStringLiteral("lblCnt"), QString(), kLblCnt);
    lblCnt->setAlignment(Qt::AlignCenter);

    fraImgArea = new DropFrame(client);
    fraImgArea->setObjectName(QStringLiteral("fraImgArea"));
    fraImgArea->installEventFilter(this); // a double click opens the full screen
    setTwips(fraImgArea, kFraImgArea);
    imgViewer = new ImageBox(fraImgArea);
    imgViewer->setObjectName(QStringLiteral("imgViewer"));
    imgViewer->installEventFilter(this);
    setTwips(imgViewer, kImgViewer);

    fraFunc = new QFrame(client);
    fraFunc->setObjectName(QStringLiteral("fraFunc"));
    fraFunc->setFrameStyle(QFrame::Box | QFrame::Plain);
    setTwips(fraFunc, kFraFunc);

    // The player buttons' own font; fallbacks where the Windows font is not installed.
    QFont playerFont;
    playerFont.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                            QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
    playerFont.setPointSizeF(9.75);
    playerFont.setWeight(QFont::Normal);

    const QString captions[4] = {QStringLiteral("  開始"), QStringLiteral("  停止"),
                                 QStringLiteral("   前へ"), QStringLiteral("  次へ")};
    const float buttonTops[4] = {240, 720, 1200, 1680};
    const float glyphTops[4] = {300, 800, 1280, 1740};
    for (int i = 0; i < 4; ++i) {
        cmdPlayer[i] = new QPushButton(captions[i], fraFunc);
        cmdPlayer[i]->setObjectName(QStringLiteral("cmdPlayer%1").arg(i));
        cmdPlayer[i]->setFont(playerFont);
        setTwips(cmdPlayer[i], {120, buttonTops[i], 1200, 375});
        connect(cmdPlayer[i], &QPushButton::clicked, this,
                [this, i] { guarded("cmdPlayer_Click", [&] { cmdPlayer_Click(qint16(i)); }); });
    }
    // The glyphs lie over the left end of their buttons; clicks go through to the button.
    for (int i = 0; i < 4; ++i) {
        for (bool on : {true, false}) {
            auto* glyph = new QLabel(fraFunc);
            glyph->setObjectName(QStringLiteral("%1%2").arg(on ? "picOn" : "picOff").arg(i));
            glyph->setPixmap(QPixmap::fromImage(makeGlyph(i, on)));
            glyph->setAttribute(Qt::WA_TransparentForMouseEvents);
            setTwips(glyph, {240, glyphTops[i], 240, 240});
            glyph->raise();
            (on ? picOn : picOff)[i] = glyph;
        }
    }

    cmdEnd = new QPushButton(QStringLiteral("終了"), client);
    cmdEnd->setObjectName(QStringLiteral("cmdEnd"));
    setTwips(cmdEnd, kCmdEnd);
    connect(cmdEnd, &QPushButton::clicked, this,
            [this] { guarded("cmdEnd_Click", [&] { cmdEnd_Click(); }); });

    for (int i = 0; i < 3; ++i)
        setTabOrder(cmdPlayer[i], cmdPlayer[i + 1]);
    setTabOrder(cmdPlayer[3], cmdEnd);

    tmrSlideShow = new QTimer(this); // created stopped
    tmrSlideShow->setObjectName(QStringLiteral("tmrSlideShow"));
    tmrSlideShow->setTimerType(Qt::PreciseTimer);
    connect(tmrSlideShow, &QTimer::timeout, this,
            [this] { guarded("tmrSlideShow_Timer", [&] { tmrSlideShow_Timer(); }); });
    connect(fraImgArea, &DropFrame::dropped, this, [this](const QMimeData* mime) {
        guarded("imgViewer_OLEDragDrop", [&] { imgViewer_OLEDragDrop(mime); });
    });

    // The design's client area, below the menu bar.
    resize(twipsToPixels(kDesignClientWidth),
           twipsToPixels(kDesignClientHeight) + menuBar()->sizeHint().height());
    applyMinimumSize();
}

void frmStart::createMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileRed = mnuFile->addAction(QStringLiteral("ファイル読込(&R)"));
    mnuFileRed->setObjectName(QStringLiteral("mnuFileRed"));
    mnuEnd = mnuFile->addAction(QStringLiteral("終了(&E)"));
    mnuEnd->setObjectName(QStringLiteral("mnuEnd"));
    mnuTool = menuBar()->addMenu(QStringLiteral("ツール(&T)"));
    mnuTool->setObjectName(QStringLiteral("mnuTool"));
    mnuOption = mnuTool->addAction(QStringLiteral("オプション(&O)"));
    mnuOption->setObjectName(QStringLiteral("mnuOption"));
    mnuVersion = menuBar()->addMenu(QStringLiteral("バージョン(&V)"));
    mnuVersion->setObjectName(QStringLiteral("mnuVersion"));
    mnuVerVal = mnuVersion->addAction(QStringLiteral("バージョン"));
    mnuVerVal->setObjectName(QStringLiteral("mnuVerVal"));

    connect(mnuFileRed, &QAction::triggered, this,
            [this] { guarded("mnuFileRed_Click", [&] { mnuFileRed_Click(); }); });
    connect(mnuEnd, &QAction::triggered, this,
            [this] { guarded("mnuEnd_Click", [&] { mnuEnd_Click(); }); });
    connect(mnuOption, &QAction::triggered, this,
            [this] { guarded("mnuOption_Click", [&] { mnuOption_Click(); }); });

    actFullScreen = new QAction(QStringLiteral("全画面表示"), this);
    actFullScreen->setObjectName(QStringLiteral("actFullScreen"));
    actFullScreen->setShortcut(QKeySequence(Qt::Key_F11));
    addAction(actFullScreen); // the shortcut works without a menu entry
    connect(actFullScreen, &QAction::triggered, this,
            [this] { guarded("enterFullScreen", [&] { enterFullScreen(); }); });
}

// Moves the window to the outer rectangle start-up read. The frame's size is known only once
// the window exists (on some desktops only once it is shown), so this runs again then.
void frmStart::applyOuterRect() {
    create(); // the native window, so that its frame margins are known where they can be
    applyMinimumSize();
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect outer = fitOnScreen(m_outer, platform::services().availableScreenArea(m_outer));
    // The window's own rectangle, inside the frame, in one step.
    setGeometry(outer.marginsRemoved(frame));
    m_appliedFrame = frame;
}

void frmStart::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (m_placed && windowHandle() && !m_frameWatch.isValid()) {
        // A window manager adds its frame some time after the window is mapped, and no event
        // says when: the stored rectangle is the outer one, so it is applied again once the
        // frame is known, a moment after showing, when the window manager has settled it
        // (applied while it is still taking the window in, the size came out wrong). A
        // window without a frame (no window manager) keeps its place.
        m_frameWatch.start();
        for (int ms : {250, 500, 1000})
            QTimer::singleShot(ms, this, [this] { applyFrameOnceKnown(); });
    }
}

void frmStart::applyFrameOnceKnown() {
    QWindow* const window = windowHandle();
    if (!window || m_frameApplied || m_unloaded || m_frameWatch.elapsed() > 1500)
        return;
    const QMargins frame = window->frameMargins();
    // While the window manager takes the window in, Qt may see it as 1 x 1 for a moment.
    if (frame.isNull() || isMaximized() || isFullScreen() || isMinimized() ||
        window->geometry().width() <= 1 || window->geometry().height() <= 1)
        return;
    m_frameApplied = true;
    if (frame == m_appliedFrame)
        return;
    applyOuterRect();
}

// The user cannot make the window smaller than its minimum outer size.
void frmStart::applyMinimumSize() {
    const QMargins frame =
        isWindow() && windowHandle() ? windowHandle()->frameMargins() : QMargins();
    setMinimumSize(twipsToPixels(kMinOuterWidth) - frame.left() - frame.right(),
                   twipsToPixels(kMinOuterHeight) - frame.top() - frame.bottom());
}

float frmStart::clientWidthTwips() const {
    return pixelsToTwips(centralWidget()->width());
}
float frmStart::clientHeightTwips() const {
    return pixelsToTwips(centralWidget()->height());
}

// The window's automatic redraw concerns only what the form draws on itself, which is nothing
// here: its controls paint themselves, and Qt batches their moves until the event loop runs.
// Turning the window's updates off instead froze every control under a message box.
void frmStart::setRedraw(bool) {}

// ---- start-up and shutdown ---------------------------------------------------------------------

bool frmStart::Form_Load() {
    bool loaded = gbLoadSlideIni();
    if (!loaded && gbCpLocalIni())
        loaded = gbLoadSlideIni();
    if (!loaded) {
        platform::services().messageBox(
            {QStringLiteral("設定情報を取得できませんでした。INIファイルを確認してください。"),
             QStringLiteral("起動エラー"), platform::MsgIcon::Warning, platform::MsgButtons::Ok});
        Form_Unload();
        return false;
    }
    m_loaded = true;

    try {
        QString user, folder;
        qint32 pid = 0;
        gGetUserInfo(user, pid, folder);
        gDebugLog(97, QString(), qint16(SlideSettings.DbgLevel), user, SlideSettings.LogKeepCount,
                  pid, folder);
        if (!SlideSettings.IniBackupPath.isEmpty())
            gDebugLog(1,
                      QStringLiteral("Slide.INIを読み込めなかったため既定の設定に置き換えました。"
                                     "元のファイル=[") +
                          SlideSettings.IniBackupPath + QStringLiteral("]"));

        WinPos pos{};
        gGetWinPos(windowTitle(), pos);
        m_outer = QRect(twipsToPixels(pos[0]), twipsToPixels(pos[1]), twipsToPixels(pos[2]),
                        twipsToPixels(pos[3]));
        applyOuterRect();
        m_placed = true;
        // The move runs the layout, as on Windows, though the window is not shown yet: the
        // picture of the command line is then fitted into the area it will have.
        if (layout())
            layout()->activate();
        Form_Resize();

        fInitForm();

        const QString sendTo = gsGetSpecialFolder(qintptr(0), platform::kFolderSendTo);
        gDebugLog(2, QStringLiteral("GetSendToPath SendTo=[") + sendTo + QStringLiteral("]"));

        const QString command = platform::services().commandLine();
        gDebugLog(2, QStringLiteral("GetCommandStrig Command=[") + command + QStringLiteral("]"));
        if (!command.isEmpty() && fbGetShowFile(command))
            fCtrlSlideShow(true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pixelion: start-up failed: %s\n", e.what());
        Form_Unload();
        return false;
    }
    return true;
}

void frmStart::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    tmrSlideShow->stop();
    tmrReadAhead->stop();
    delete m_presentation;
    m_pictures->cancel();
    try {
        // A window that start-up never placed has no rectangle of the user's to remember.
        if (m_placed) {
            const QRect outer = frameGeometry();
            const double tpp = platform::twipsPerPixel();
            const WinPos pos{roundHalfEven(outer.x() * tpp), roundHalfEven(outer.y() * tpp),
                             roundHalfEven(outer.width() * tpp),
                             roundHalfEven(outer.height() * tpp)};
            const qint32 state = isMinimized()   ? kWindowMinimized
                                 : isMaximized() ? kWindowMaximized
                                                 : kWindowNormal;
            gPutWinPos(windowTitle(), pos, state);
        }
        // Without loaded settings there is nothing to write back, and writing would replace
        // the user's usable entries with empty ones.
        if (m_loaded && !fbSaveSlideIni())
            gDebugLog(2, QStringLiteral("[ERR] WrightINI"));

        const QList<QWidget*> forms = loadedForms();
        for (qsizetype i = forms.size() - 1; i >= 0; --i) {
            if (forms[i] != this)
                forms[i]->close();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pixelion: shutdown: %s\n", e.what());
    }
    try {
        gDebugLog(99, QString());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pixelion: end of log: %s\n", e.what());
    }
}

void frmStart::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

void frmStart::fInitForm() {
    mnuVerVal->setText(gsGetVersion());
    imgViewer->hide(); // stretches its picture, no border
    fraImgArea->setFrameStyle(QFrame::Box | QFrame::Plain);
    fraImgArea->setAcceptsDrops(true);
    fSetTimer();
    for (int i = 0; i < int(cmdPlayer.size()); ++i) {
        cmdPlayer[i]->setEnabled(false);
        picOn[i]->hide();
        picOff[i]->show();
    }
    lblCnt->setText(QStringLiteral("0") + QStringLiteral(" / ") + QStringLiteral("0"));
}

void frmStart::fSetTimer() {
    tmrSlideShow->stop();
    tmrSlideShow->setInterval(slideTimerPeriodMs());
}

bool frmStart::fbSaveSlideIni() {
    try {
        if (!gbPutIniString(SlideSettings.IniPath, QStringLiteral("RootPath"),
                            platform::programBaseName(), SlideSettings.RootPath))
            return false;
        return gbPutIniString(SlideSettings.IniPath, QStringLiteral("SETUP"),
                              QStringLiteral("Interval"), QString::number(SlideSettings.Interval));
    } catch (const std::exception&) {
        return false;
    }
}

// ---- layout --------------------------------------------------------------------------------

bool frmStart::eventFilter(QObject* watched, QEvent* e) {
    // The read-ahead a window not yet on screen put off starts after its first picture is
    // painted, so that the decodes do not compete with that paint.
    if (watched == imgViewer && e->type() == QEvent::Paint && m_readAheadAfterPaint) {
        m_readAheadAfterPaint = false;
        tmrReadAhead->start(0);
    }
    if ((watched == fraImgArea || watched == imgViewer) &&
        e->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        guarded("enterFullScreen", [&] { enterFullScreen(); });
        return true;
    }
    if (watched == centralWidget() && e->type() == QEvent::Resize)
        guarded("Form_Resize", [&] { Form_Resize(); });
    return QMainWindow::eventFilter(watched, e);
}

void frmStart::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    // One layout a change, as on Windows: maximising and restoring change the size, and the
    // resize runs the layout; minimising and restoring from it change only the state.
    if (e->type() == QEvent::WindowStateChange &&
        (isMinimized() ||
         static_cast<QWindowStateChangeEvent*>(e)->oldState().testFlag(Qt::WindowMinimized)))
        guarded("Form_Resize", [&] { Form_Resize(); });
}

void frmStart::Form_Resize() {
    setRedraw(false);
    if (isMinimized())
        return; // redraw stays off until the window is restored

    applyMinimumSize();
    const double tpp = platform::twipsPerPixel();
    const QSize outer = frameGeometry().size();
    if (!isMaximized() && !isFullScreen() &&
        (float(outer.width() * tpp) < kMinOuterWidth ||
         float(outer.height() * tpp) < kMinOuterHeight)) {
        const QSize inner = size();
        resize(inner.width() + qMax(0, twipsToPixels(kMinOuterWidth) - outer.width()),
               inner.height() + qMax(0, twipsToPixels(kMinOuterHeight) - outer.height()));
    }

    const MainLayout l = mainLayout(clientWidthTwips(), clientHeightTwips());
    setTwips(lblMsg, l.lblMsg);
    setTwips(lblCnt, l.lblCnt);
    setTwips(fraImgArea, l.fraImgArea);

    if (!imgViewer->isHidden()) {
        // While the user changes the size of a window on screen, the picture is resampled from
        // what is held, not decoded again.
        const bool exposed = windowHandle() && windowHandle()->isExposed();
        const bool wasResizing = std::exchange(m_resizing, m_resizing || exposed);
        fbShowPic(gnShowNo);
        m_resizing = wasResizing;
    }

    // The re-fit let pending events run, and a nested layout may have run for a newer size:
    // the rest goes where the size is now.
    const MainLayout now = mainLayout(clientWidthTwips(), clientHeightTwips());
    setTwips(fraFunc, now.fraFunc);
    setTwips(cmdEnd, now.cmdEnd);
    for (int i = 0; i < int(cmdPlayer.size()); ++i) {
        const TwipsRect on = twipsOf(picOn[i]);
        const TwipsRect off = twipsOf(picOff[i]);
        setTwips(picOff[i], {on.Left, on.Top, off.Width, off.Height});
    }
    setRedraw(true);
}

// ---- menus and exit ------------------------------------------------------------------------

// Closing is always safe (the unload traps its own errors): the exit commands close even when
// their record cannot be written.
void frmStart::cmdEnd_Click() {
    try {
        gDebugLog(4, QStringLiteral("cmdEnd_Click()."));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pixelion: cmdEnd_Click: %s\n", e.what());
    }
    close();
}

void frmStart::mnuEnd_Click() {
    try {
        gDebugLog(4, QStringLiteral("mnuend_Click()."));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pixelion: mnuEnd_Click: %s\n", e.what());
    }
    close();
}

void frmStart::mnuOption_Click() {
    gDebugLog(4, QStringLiteral("mnuOption_Click()."));
    frmOption::load().gfForm_Show();
    fSetTimer();
}
