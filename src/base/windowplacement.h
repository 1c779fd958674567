#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>


namespace dorvan {

// Where windows go on a screen, as rectangles of window frames in the
// screen's available area: the rules behind the console's windows, kept apart
// from the widgets so that they can be checked for every screen size.
namespace placement {

// Pixels kept between the alarm window and a window beside it.
constexpr int Margin = 16;
// What must stay on screen of an alarm window that has to give way: its title
// bar, its counter and the beginning of its heading.
constexpr int AlarmVisibleAtLeast = 90;

// A window that opens larger than the screen's available area (frame
// included) must be fitted to it.
bool exceedsArea(const QRect &area, const QSize &frame);

// Frame positions of a dialog and the alarm window (always on top) that
// leave the dialog whole on screen and uncovered, and as much of the alarm
// window in sight as the screen allows, never less than its title bar and a
// band of AlarmVisibleAtLeast pixels.
struct Places
{
    QPoint dialog;
    QPoint alarm;
};

// A dialog opening while the alarm window is on screen: its own place if the
// alarm window leaves it whole, else beside the alarm window (above, below,
// at a side or in a corner) wholly on screen; when there is no such place,
// at the top of the screen with the alarm window moved aside below it.
Places placeDialog(const QRect &area, const QRect &dialog, const QRect &alarm);

// The alarm window opening while a dialog is on screen: its own place if that
// covers nothing of the dialog, else beside the dialog, wholly on screen if
// it can, else partly off the screen; only a dialog too large to leave room
// beside it is moved, to the top of the screen.
Places placeAlarm(const QRect &area, const QRect &alarm, const QRect &dialog);

} // namespace placement

} // namespace dorvan
