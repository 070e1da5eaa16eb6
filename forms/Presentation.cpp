#include "Presentation.h"

#include <cmath>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

PresentationKey presentationKey(int key, Qt::KeyboardModifiers modifiers) {
    if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier)
        return PresentationKey::None;
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_PageDown:
    case Qt::Key_Space:
        return PresentationKey::Next;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
    case Qt::Key_Backspace:
        return PresentationKey::Previous;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_P:
        return PresentationKey::StartOrStop;
    case Qt::Key_F11:
    case Qt::Key_Escape:
        return PresentationKey::Leave;
    default:
        return PresentationKey::None;
    }
}

Presentation::Presentation(QWidget* owner)
    : QWidget(owner, Qt::Window), m_counterFade(this, "counterOpacity") {
    setObjectName(QStringLiteral("presentation"));
    setWindowTitle(owner ? owner->windowTitle() : QString());
    // Everything is painted here, black included: nothing of the system's background shows.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);

    m_pointerIdle.setSingleShot(true);
    m_pointerIdle.setInterval(kIdleMs);
    connect(&m_pointerIdle, &QTimer::timeout, this, [this] { setCursor(Qt::BlankCursor); });
    m_counterHold.setSingleShot(true);
    m_counterHold.setInterval(kIdleMs);
    connect(&m_counterHold, &QTimer::timeout, this, [this] {
        m_counterFade.setStartValue(m_counterOpacity);
        m_counterFade.setEndValue(0.0);
        m_counterFade.start();
    });
    m_counterFade.setDuration(400);
}

void Presentation::open(QScreen* screen) {
    if (screen) {
        setScreen(screen);
        // Placed on the screen first: a window manager makes a window full screen on the
        // screen the window is on.
        setGeometry(screen->geometry());
    }
    showFullScreen();
    raise();
    activateWindow();
    setFocus();
    m_pointerIdle.start();
}

QSize Presentation::pictureArea() const {
    const QScreen* s = screen();
    if (!s)
        return size();
    const QSize logical = s->geometry().size();
    const qreal ratio = s->devicePixelRatio();
    return QSize(qRound(logical.width() * ratio), qRound(logical.height() * ratio));
}

void Presentation::setPicture(const QImage& picture) {
    m_picture = picture;
    // Drawn at device pixels, one picture pixel to one screen pixel.
    m_picture.setDevicePixelRatio(devicePixelRatioF());
    update();
}

void Presentation::setCounterText(const QString& text) {
    if (text == m_counterText)
        return;
    const QRect before = counterRect();
    m_counterText = text;
    if (m_counterOpacity > 0)
        update(before.united(counterRect()));
}

void Presentation::flashCounter() {
    m_counterFade.stop();
    setCounterOpacity(1.0);
    m_counterHold.start();
}

void Presentation::setCounterOpacity(qreal opacity) {
    if (qFuzzyCompare(opacity, m_counterOpacity))
        return;
    m_counterOpacity = opacity;
    update(counterRect());
}

QFont Presentation::counterFont() const {
    QFont f = font();
    f.setPixelSize(qMax(14, height() / 36)); // readable from across the room
    return f;
}

QRect Presentation::counterRect() const {
    const int margin = qMax(12, height() / 60);
    const QFontMetrics metrics(counterFont());
    const QSize text = metrics.size(
        Qt::TextSingleLine, m_counterText.isEmpty() ? QStringLiteral("0 / 0") : m_counterText);
    const int pad = metrics.height() / 2;
    const QSize box(text.width() + 2 * pad, text.height() + pad);
    return QRect(QPoint(width() - margin - box.width(), height() - margin - box.height()), box);
}

void Presentation::paintEvent(QPaintEvent* e) {
    QPainter painter(this);
    painter.fillRect(e->rect(), Qt::black);
    if (!m_picture.isNull()) {
        const QSizeF shown = m_picture.deviceIndependentSize();
        const QPointF at((width() - shown.width()) / 2, (height() - shown.height()) / 2);
        // On whole logical pixels, so that the picture's pixels meet the screen's.
        painter.drawImage(QPointF(std::floor(at.x()), std::floor(at.y())), m_picture);
    }
    if (m_counterOpacity > 0 && !m_counterText.isEmpty()) {
        const QRect box = counterRect();
        painter.setOpacity(m_counterOpacity);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath rounded;
        rounded.addRoundedRect(box, box.height() / 4.0, box.height() / 4.0);
        painter.fillPath(rounded, QColor(0, 0, 0, 160));
        painter.setFont(counterFont());
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, m_counterText);
    }
}

void Presentation::keyPressEvent(QKeyEvent* e) {
    const PresentationKey key = presentationKey(e->key(), e->modifiers());
    if (key == PresentationKey::None) {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
    if (key == PresentationKey::Leave) {
        if (!e->isAutoRepeat())
            Q_EMIT leaveRequested();
        return;
    }
    Q_EMIT keyCommand(key);
}

void Presentation::mouseMoveEvent(QMouseEvent* e) {
    // Some systems send a move without movement (a window mapped under the pointer).
    if (e->globalPosition() == m_lastPointer)
        return;
    m_lastPointer = e->globalPosition();
    unsetCursor();
    m_pointerIdle.start();
    flashCounter();
}

void Presentation::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        Q_EMIT leaveRequested();
}

void Presentation::closeEvent(QCloseEvent* e) {
    // Closed by the window manager (Alt+F4): the main window takes it down as it does for Esc.
    e->ignore();
    Q_EMIT leaveRequested();
}
