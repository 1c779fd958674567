#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

class QWidget;

namespace dorvan {

// Where the console's windows open, every time they open: centred on the
// screen, or at its top left corner. Called from a window's showEvent, before
// the window manager maps it, so that neither Qt's placement over the parent
// window nor the position kept from the last opening applies; under X11 the
// latter creeps down by the title bar's height at each opening.
QRect screenArea(const QWidget &window);

// The client area is centred: the frame's size is not known before the first
// opening, and the window must open at the same place every time.
void centreOnScreen(QWidget &window);

// A window's frame on screen. Before its first opening the window manager has
// not told Qt the frame's size yet: a title bar and a thin border are assumed,
// the frame's corner at the window's position, where the window manager puts it.
QRect frameOf(const QWidget &window);

// A window's position is its frame's, whether or not the frame is known yet.
void moveFrameTo(QWidget &window, const QPoint &frameTopLeft);

// The alarm window when it is on screen: always on top, in the middle of the
// screen, it would hide a dialog that opens centred.
QWidget *shownAlarmWindow();

// Moves the alarm window out of the dialog's way, and back when it closes.
void alarmWindowGivesWay(QWidget &alarm, QWidget &dialog, const QPoint &alarmFrameTopLeft);

// Where it is, unless the alarm window is there: then beside it, or, where
// the screen has no room for both, at the top with the alarm window moved
// aside below it. The dialog stays whole either way.
void keepClearOfAlarms(QWidget &window);

void centreClearOfAlarms(QWidget &window);

// The window the operator is working in when the alarm window opens: a
// dialog or a box of the console's, modal or not.
QWidget *operatorsDialog(const QWidget &alarm);

// Wide enough for the window manager to show the whole caption in the title
// bar, beside its icon and three buttons. Its title font is not known here:
// a bold face a little larger than the dialog's stands in for it, with a
// fifth more for the wider faces and letter spacing of title bars.
int widthForTitle(const QWidget &dialog, const QString &caption);

void moveToTopLeft(QWidget &window);

// Moves a window whose frame reaches beyond the screen back inside it.
void keepWhollyOnScreen(QWidget &window);

// The window system shows the window: Qt still takes a window that another
// X client unmapped for shown, but no longer for exposed.
bool windowMapped(const QWidget &window);
// Shown, not minimized, mapped and wholly on screen.
bool windowInSight(const QWidget &window);
// Un-minimizes, maps again, shows, raises and moves wholly on screen a window
// an alarm needs in sight; it takes the keyboard unless the operator is
// working in a dialog or box, beside which it then comes up.
void bringIntoSight(QWidget &window);

} // namespace dorvan
