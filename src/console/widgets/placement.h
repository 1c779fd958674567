#pragma once

#include "base/windowplacement.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QStyle>
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

// A window's frame on screen. Before its first opening the window manager has
// not told Qt the frame's size yet: a title bar and a thin border are assumed,
// the frame's corner at the window's position, where the window manager puts it.
inline QRect frameOf(const QWidget &window)
{
    const QRect frame = window.frameGeometry();
    if (frame != window.geometry())
        return frame;
    constexpr int Border = 4;
    constexpr int TitleBar = 28;
    return QRect(window.pos(), window.size() + QSize(2 * Border, TitleBar + Border));
}

// A window's position is its frame's, whether or not the frame is known yet.
inline void moveFrameTo(QWidget &window, const QPoint &frameTopLeft)
{
    window.move(frameTopLeft);
}

// The alarm window when it is on screen: always on top, in the middle of the
// screen, it would hide a dialog that opens centred.
inline QWidget *shownAlarmWindow()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() == QLatin1String("FormAlarmWindow") && window->isVisible())
            return window;
    }
    return nullptr;
}

// Takes the alarm window back to the middle of the screen once the dialog it
// gave way to has closed.
class AlarmWindowReturn : public QObject
{
public:
    AlarmWindowReturn(QWidget &dialog, QWidget &alarm) : QObject(&dialog), alarm_(&alarm)
    {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && watched == parent()) {
            if (alarm_ && alarm_->isVisible())
                centreOnScreen(*alarm_);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> alarm_;
};

// Moves the alarm window out of the dialog's way, and back when it closes.
inline void alarmWindowGivesWay(QWidget &alarm, QWidget &dialog, const QPoint &alarmFrameTopLeft)
{
    if (alarmFrameTopLeft == frameOf(alarm).topLeft())
        return;
    moveFrameTo(alarm, alarmFrameTopLeft);
    new AlarmWindowReturn(dialog, alarm);
}

// Where it is, unless the alarm window is there: then beside it, or, where
// the screen has no room for both, at the top with the alarm window moved
// aside below it. The dialog stays whole either way.
inline void keepClearOfAlarms(QWidget &window)
{
    QWidget *alarm = shownAlarmWindow();
    if (!alarm || alarm == &window)
        return;
    const placement::Places places =
        placement::placeDialog(screenArea(window), frameOf(window), frameOf(*alarm));
    moveFrameTo(window, places.dialog);
    alarmWindowGivesWay(*alarm, window, places.alarm);
}

inline void centreClearOfAlarms(QWidget &window)
{
    centreOnScreen(window);
    keepClearOfAlarms(window);
}

// The window the operator is working in when the alarm window opens: a
// dialog or a box of the console's, modal or not.
inline QWidget *operatorsDialog(const QWidget &alarm)
{
    if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != &alarm)
        return modal;
    QWidget *active = QApplication::activeWindow();
    if (active && active != &alarm && active->isWindow()
        && (active->windowType() == Qt::Dialog || active->windowType() == Qt::Sheet))
        return active;
    return nullptr;
}

// Wide enough for the window manager to show the whole caption in the title
// bar, beside its icon and three buttons. Its title font is not known here:
// a bold face a little larger than the dialog's stands in for it, with a
// fifth more for the wider faces and letter spacing of title bars.
inline int widthForTitle(const QWidget &dialog, const QString &caption)
{
    constexpr int TitleBarButtons = 4;
    QFont title = dialog.font();
    title.setBold(true);
    title.setPixelSize(QFontInfo(title).pixelSize() + 2);
    const int buttons = TitleBarButtons * dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return QFontMetrics(title).horizontalAdvance(caption) * 6 / 5 + buttons;
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
