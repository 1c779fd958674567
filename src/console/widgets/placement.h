#pragma once

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
