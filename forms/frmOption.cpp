#include "frmOption.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QTimer>

#include "ButtonKeys.h"
#include "EventGuard.h"
#include "LoadedForms.h"
#include "Services.h"
#include "Twips.h"
#include "mdlComCtrlString.h"
#include "mdlComDebug.h"
#include "mdlComWinPos.h"
#include "mdlSlideSys.h"

namespace {

const QString kCaption = QStringLiteral("設定画面");
constexpr float kClientWidth = 4290;
constexpr float kClientHeight = 1890;
// Unload reasons passed to Form_QueryUnload: the close box, or code (shutdown).
constexpr int kUnloadFromControlMenu = 0;
constexpr int kUnloadFromCode = 1;

frmOption* s_loaded = nullptr;

} // namespace

frmOption* frmOption::loaded() {
    return s_loaded;
}

frmOption& frmOption::load() {
    if (!s_loaded)
        s_loaded = new frmOption();
    return *s_loaded;
}

frmOption::frmOption() {
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(kCaption);
    // A small tool window: title and close box only, no minimise or maximise, no taskbar entry.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));

    Frame1 = new QGroupBox(QStringLiteral("スライドショーの設定"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    setTwips(Frame1, {120, 240, 4095, 855});

    Label1 = new QLabel(QStringLiteral("表示間隔(1～1000)："), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    setTwips(Label1, {120, 360, 1815, 255});

    txtIntervbal = new QSpinBox(Frame1);
    txtIntervbal->setObjectName(QStringLiteral("txtIntervbal"));
    // Whole numbers in plain ASCII digits without separators, whatever the user's locale, so
    // the text converts back exactly.
    txtIntervbal->setLocale(QLocale::c());
    txtIntervbal->setGroupSeparatorShown(false);
    txtIntervbal->setButtonSymbols(QAbstractSpinBox::NoButtons);
    txtIntervbal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtIntervbal->setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    // The limits the field is built with; every opening narrows them to 1..1000.
    txtIntervbal->setRange(-99999, 99999);
    setTwips(txtIntervbal, {1920, 360, 1215, 255});

    Label4 = new QLabel(QStringLiteral("×0.1 秒"), Frame1);
    Label4->setObjectName(QStringLiteral("Label4"));
    setTwips(Label4, {3240, 360, 735, 255});

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    setTwips(cmdOK, {1200, 1320, 1200, 375});

    cmdCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    setTwips(cmdCancel, {2640, 1320, 1200, 375});

    // Neither button is the default: Enter presses neither (Esc is kept away in keyPressEvent).
    for (QPushButton* b : {cmdOK, cmdCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    setTabOrder(txtIntervbal, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    connect(cmdOK, &QPushButton::clicked, this,
            [this] { guarded("cmdOK_Click", [&] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this,
            [this] { guarded("cmdCancel_Click", [&] { cmdCancel_Click(); }); });

    clickButtonsOnEnter(this);
    registerLoadedForm(this);
}

frmOption::~frmOption() {
    if (s_loaded == this)
        s_loaded = nullptr;
    unregisterLoadedForm(this);
}

bool frmOption::gfForm_Show() {
    bool result = false;
    try {
        gDebugLog(4, QStringLiteral("frmOption_gfForm_Show() Start"));
        WinPos pos{0, 0, 0, 0};
        gGetWinPos(kCaption, pos);
        const QRect stored(QPoint(twipsToPixels(pos[0]), twipsToPixels(pos[1])),
                           frameGeometry().size());
        move(fitOnScreen(stored, platform::services().availableScreenArea(stored)).topLeft());
        fSetCtrlValue();
        exec();
        // The close box unloads the form while it is shown: nothing of `this` from here on.
        result = true;
        gDebugLog(4, QStringLiteral("frmOption_gfForm_Show() End"));
    } catch (const std::exception& e) {
        result = false;
        try {
            gDebugLog(4, QStringLiteral("frmOption_gfForm_Show() Err"));
            gDebugLog(4, QStringLiteral("frmOption_gfForm_Show() End"));
        } catch (const std::exception& logError) {
            // The log is what failed; the caller still only learns "false".
            std::fprintf(stderr, "pixelion: frmOption_gfForm_Show: %s (%s)\n", e.what(),
                         logError.what());
        }
    }
    return result;
}

void frmOption::fSetCtrlValue() {
    // The value goes in before the limits: an interval beyond 1..1000 from a hand-edited
    // Slide.INI shows clamped to the nearer limit, and OK then stores a valid one.
    txtIntervbal->setValue(SlideSettings.Interval);
    txtIntervbal->setMaximum(1000);
    txtIntervbal->setMinimum(1);
    txtIntervbal->setToolTip(QString::number(txtIntervbal->minimum()) + QStringLiteral(" ～ ") +
                             QString::number(txtIntervbal->maximum()));
}

void frmOption::fGetCtrlValue() {
    // Commit what is being typed first; a text the field cannot take falls back to its last
    // valid value, so the text read here is always a whole number within the limits.
    txtIntervbal->interpretText();
    SlideSettings.Interval = toLong(txtIntervbal->text());
}

void frmOption::cmdOK_Click() {
    gDebugLog(4, QStringLiteral("cmdOK_Click() Start"));
    platform::MessageBoxRequest ask;
    ask.text = QStringLiteral("設定情報を保存します。\r\n変更結果は、即座に反映されます。");
    ask.title = platform::kProgramTitle;
    ask.icon = platform::MsgIcon::Information;
    ask.buttons = platform::MsgButtons::OkCancel;
    if (platform::services().messageBox(ask) == platform::MsgAnswer::Cancel) {
        gDebugLog(4, QStringLiteral("Anser=Cancel"));
        return;
    }
    fGetCtrlValue();
    Form_Hide();
    gDebugLog(4, QStringLiteral("cmdOK_Click() End"));
}

void frmOption::cmdCancel_Click() {
    gDebugLog(4, QStringLiteral("cmdCancel_Click() Start"));
    Form_Hide();
    gDebugLog(4, QStringLiteral("cmdCancel_Click() End"));
}

void frmOption::Form_Hide() {
    gDebugLog(4, QStringLiteral("frmOption_Form_Hide() Start"));
    // Only the place is remembered: the dialog's size never changes.
    const QPoint frame = pos();
    const double tpp = platform::twipsPerPixel();
    const WinPos place{roundHalfEven(frame.x() * tpp), roundHalfEven(frame.y() * tpp), 0, 0};
    const qint32 state = isMinimized()   ? kWindowMinimized
                         : isMaximized() ? kWindowMaximized
                                         : kWindowNormal;
    gPutWinPos(kCaption, place, state);
    hide(); // ends the modal display of gfForm_Show
    gDebugLog(4, QStringLiteral("frmOption_Form_Hide() End"));
}

void frmOption::Form_QueryUnload(bool& hbCancel, int hnUnloadMode) {
    Q_UNUSED(hbCancel); // left as it is: the form always unloads
    Q_UNUSED(hnUnloadMode);
    Form_Hide();
}

void frmOption::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Its frame is known only once it is shown: the whole dialog, frame included, must lie on
    // the screen, or a modal dialog out of reach would block the program.
    QTimer::singleShot(0, this, [this] {
        const QRect frame = frameGeometry();
        const QRect fitted = fitOnScreen(frame, platform::services().availableScreenArea(frame));
        if (fitted.topLeft() != frame.topLeft())
            move(fitted.topLeft());
    });
}

void frmOption::closeEvent(QCloseEvent* e) {
    bool cancel = false;
    guarded("Form_QueryUnload", [&] {
        Form_QueryUnload(cancel, e->spontaneous() ? kUnloadFromControlMenu : kUnloadFromCode);
    });
    if (cancel) {
        e->ignore();
        return;
    }
    // Even when storing the place failed, the close box must still close the dialog.
    if (isVisible())
        hide();
    e->accept();
    unload();
}

void frmOption::unload() {
    if (s_loaded == this)
        s_loaded = nullptr;
    unregisterLoadedForm(this);
    // Deleted once the current event is done; the next load() builds a fresh instance.
    deleteLater();
}

void frmOption::keyPressEvent(QKeyEvent* e) {
    // Esc would reject the dialog; this one closes only through its buttons and its close box.
    if (e->key() == Qt::Key_Escape || e->matches(QKeySequence::Cancel)) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}
