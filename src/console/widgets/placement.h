#pragma once

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QWidget>

namespace dorvan {

// Where the console's windows open, every time they open: centred on the
// screen, or at its top left corner. Called from a window's showEvent, before
// the window manager maps it, so that neither Qt's placement over the parent
// window nor the position kept from the last opening applies; under X11 the
// latter creeps down by the title bar's height at each opening.
inline QRect screenArea(const QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// The client area is centred: the frame's size is not known before the first
// opening, and the window must open at the same place every time.
inline void centreOnScreen(QWidget &window)
{
    const QRect area = screenArea(window);
    if (area.isEmpty())
        return;
    QRect client(QPoint(), window.size());
    client.moveCenter(area.center());
    const QPoint frameOffset = window.geometry().topLeft() - window.pos();
    window.move(client.topLeft() - frameOffset);
}

// A window that would open under `avoid` (an always-on-top window) moves out
// of its way: above or below it, or to the left or right edge of the screen,
// whichever leaves it whole. When none does, it goes to the edge beside it
// where `avoid` hides the narrowest strip: a dialog laid out top to bottom
// loses less to a strip at its side than to a band across it.
inline void moveClearOf(QWidget &window, const QWidget &avoid, int margin = 24)
{
    const QRect covering = avoid.frameGeometry();
    const QRect frame = window.frameGeometry();
    if (!frame.intersects(covering.adjusted(-margin, -margin, margin, margin)))
        return;
    const QRect area = screenArea(avoid);
    QRect above = frame, below = frame, left = frame, right = frame;
    above.moveBottom(covering.top() - margin);
    below.moveTop(covering.bottom() + margin);
    left.moveLeft(area.left());
    right.moveRight(area.right());
    for (const QRect &candidate : {above, below, left, right}) {
        if (area.contains(candidate) && !candidate.intersects(covering)) {
            window.move(candidate.topLeft());
            return;
        }
    }
    const int hiddenLeft = left.intersected(covering).width();
    const int hiddenRight = right.intersected(covering).width();
    window.move((hiddenLeft <= hiddenRight ? left : right).topLeft());
}

// The alarm window when it is on screen: always on top, in the middle of the
// screen, it would hide a dialog that opens centred.
inline const QWidget *shownAlarmWindow()
{
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->objectName() == QLatin1String("FormAlarmWindow") && window->isVisible())
            return window;
    }
    return nullptr;
}

// Centred on the screen, unless the alarm window is there.
inline void centreClearOfAlarms(QWidget &window)
{
    centreOnScreen(window);
    if (const QWidget *alarm = shownAlarmWindow(); alarm && alarm != &window)
        moveClearOf(window, *alarm);
}

inline void moveToTopLeft(QWidget &window)
{
    const QPoint corner = screenArea(window).topLeft();
    window.move(corner);
    // Before the first opening Qt already takes the window to be at the
    // corner, and a move there would not reach the window manager, which then
    // places the window itself (over its parent).
    if (QWindow *handle = window.windowHandle())
        handle->setFramePosition(corner);
}

} // namespace dorvan
