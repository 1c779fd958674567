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

// A window that opens larger than the screen's available area (frame
// included) must be fitted to it.
bool exceedsArea(const QRect &area, const QSize &frame);

// Frame positions of a dialog and the alarm window (always on top), both
// wholly on screen (the alarm window's buttons are never out of reach), the
// dialog uncovered wherever the screen has room for both.
struct Places
{
    QPoint dialog;
    QPoint alarm;
};

// A dialog opening while the alarm window is on screen: its own place if the
// alarm window leaves it whole, else beside the alarm window (above, below,
// at a side or in a corner) wholly on screen; when there is no such place,
// at the top of the screen with the alarm window moved to where it covers
// least of the dialog.
Places placeDialog(const QRect &area, const QRect &dialog, const QRect &alarm);

// The alarm window opening while a dialog is on screen: its own place if that
// covers nothing of the dialog, else beside the dialog; where there is no
// room beside it, the dialog goes to the top of the screen and the alarm
// window overlaps it as little as it can.
Places placeAlarm(const QRect &area, const QRect &alarm, const QRect &dialog);

} // namespace placement

} // namespace dorvan
