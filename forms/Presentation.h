#pragma once
// The full-screen presentation: the main window's show on the whole of one screen, black around
// the picture, driven from the keyboard. It shows what the main window gives it and asks the
// main window to act on the keys; the show itself stays the main window's.
#include <QImage>
#include <QPropertyAnimation>
#include <QTimer>
#include <QWidget>

class QScreen;

// What a key does in the presentation.
enum class PresentationKey { None, Next, Previous, StartOrStop, Leave };

// Right, Down, Page Down and Space step on; Left, Up, Page Up and Backspace step back; Enter
// and P start or stop; F11 and Esc leave. Only without modifiers (the keypad's Enter counts).
PresentationKey presentationKey(int key, Qt::KeyboardModifiers modifiers);

class Presentation : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal counterOpacity READ counterOpacity WRITE setCounterOpacity)
public:
    // A window of its own over `owner`, which owns it; open() shows it.
    explicit Presentation(QWidget* owner);

    // Full screen on `screen`, the pointer hidden after a moment without movement.
    void open(QScreen* screen);
    // The area the picture is fitted to: the whole screen, in device pixels.
    QSize pictureArea() const;

    // The picture at pictureArea()'s scale, drawn one to one at the centre.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }

    // The counter's text ("k / N"); shown only by flashCounter().
    void setCounterText(const QString& text);
    QString counterText() const { return m_counterText; }
    // Shows the counter in a corner for a moment, then fades it out.
    void flashCounter();
    qreal counterOpacity() const { return m_counterOpacity; }
    void setCounterOpacity(qreal opacity);

    // How long the pointer and the counter stay after the last movement or change.
    static constexpr int kIdleMs = 2000;

Q_SIGNALS:
    // A key of presentationKey()'s table other than Leave.
    void keyCommand(PresentationKey key);
    // F11, Esc, a double click, or the window closed from outside.
    void leaveRequested();

protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QFont counterFont() const;
    QRect counterRect() const;

    QImage m_picture;
    QString m_counterText;
    qreal m_counterOpacity = 0;
    QPointF m_lastPointer{-1, -1};
    QTimer m_pointerIdle;
    QTimer m_counterHold;
    QPropertyAnimation m_counterFade;
};
