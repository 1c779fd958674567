#include "base/windowplacement.h"

#include <algorithm>
#include <array>
#include <optional>

namespace dorvan::placement {

namespace {

// Moves r inside the area along one axis, as far as it fits.
QRect clampedAcross(QRect r, const QRect &area)
{
    if (r.right() > area.right())
        r.moveRight(area.right());
    if (r.left() < area.left())
        r.moveLeft(area.left());
    return r;
}

QRect clampedDown(QRect r, const QRect &area)
{
    if (r.bottom() > area.bottom())
        r.moveBottom(area.bottom());
    if (r.top() < area.top())
        r.moveTop(area.top());
    return r;
}

QRect clampedInto(const QRect &r, const QRect &area)
{
    return clampedDown(clampedAcross(r, area), area);
}

QRect withMargin(const QRect &r)
{
    return r.adjusted(-Margin, -Margin, Margin, Margin);
}

bool wholeAndClear(const QRect &r, const QRect &area, const QRect &other)
{
    return area.contains(r) && !r.intersects(withMargin(other));
}

// `moving` set above, below, left and right of `fixed`, each kept in line
// with its own place along the other axis as far as the screen allows.
std::array<QRect, 4> around(const QRect &moving, const QRect &fixed, const QRect &area)
{
    QRect above = moving, below = moving, left = moving, right = moving;
    above.moveBottom(fixed.top() - Margin);
    below.moveTop(fixed.bottom() + Margin);
    left.moveRight(fixed.left() - Margin);
    right.moveLeft(fixed.right() + Margin);
    return {clampedAcross(above, area), clampedAcross(below, area), clampedDown(left, area),
            clampedDown(right, area)};
}

std::array<QRect, 4> corners(const QRect &moving, const QRect &area)
{
    QRect topLeft = moving, topRight = moving, bottomLeft = moving, bottomRight = moving;
    topLeft.moveTopLeft(area.topLeft());
    topRight.moveTopRight(area.topRight());
    bottomLeft.moveBottomLeft(area.bottomLeft());
    bottomRight.moveBottomRight(area.bottomRight());
    return {topLeft, topRight, bottomLeft, bottomRight};
}

qint64 visiblePixels(const QRect &r, const QRect &area)
{
    const QRect seen = r.intersected(area);
    return qint64(seen.width()) * seen.height();
}

} // namespace

bool exceedsArea(const QRect &area, const QSize &frame)
{
    return frame.width() > area.width() || frame.height() > area.height();
}

namespace {

// The alarm window beside a dialog that stays where it is, if there is room.
std::optional<QPoint> alarmBeside(const QRect &area, const QRect &alarm, const QRect &dialog)
{
    if (!alarm.intersects(withMargin(dialog)))
        return alarm.topLeft();
    const auto beside = around(alarm, dialog, area);
    for (const QRect &candidate : beside) {
        if (wholeAndClear(candidate, area, dialog))
            return candidate.topLeft();
    }
    // Partly off the screen, below the dialog where it keeps its whole width
    // in sight, else at a side; its title bar and a band below it in sight.
    const qint64 leastVisible = qint64(AlarmVisibleAtLeast) * std::min(alarm.width(), area.width());
    for (const QRect &candidate : {beside[1], beside[3], beside[2]}) {
        if (!candidate.intersects(dialog) && candidate.top() >= area.top()
            && visiblePixels(candidate, area) >= leastVisible)
            return candidate.topLeft();
    }
    return std::nullopt;
}

// No room beside the dialog where it is: the dialog takes the top of the
// screen and the alarm window goes below it, over the dialog's lowest part
// only when the dialog leaves no band free.
Places dialogOnTop(const QRect &area, const QRect &dialog, const QRect &alarm)
{
    QRect top = dialog;
    top.moveTop(area.top());
    top.moveLeft(area.left() + (area.width() - top.width()) / 2);
    top = clampedInto(top, area);
    if (const std::optional<QPoint> beside = alarmBeside(area, alarm, top))
        return {top.topLeft(), *beside};
    QRect band = clampedAcross(alarm, area);
    band.moveTop(area.bottom() + 1 - AlarmVisibleAtLeast);
    return {top.topLeft(), band.topLeft()};
}

} // namespace

Places placeDialog(const QRect &area, const QRect &dialog, const QRect &alarm)
{
    if (wholeAndClear(dialog, area, alarm))
        return {dialog.topLeft(), alarm.topLeft()};
    const QRect onScreen = clampedInto(dialog, area);
    for (const auto &candidates : {around(onScreen, alarm, area), corners(onScreen, area)}) {
        for (const QRect &candidate : candidates) {
            if (wholeAndClear(candidate, area, alarm))
                return {candidate.topLeft(), alarm.topLeft()};
        }
    }
    return dialogOnTop(area, onScreen, alarm);
}

Places placeAlarm(const QRect &area, const QRect &alarm, const QRect &dialog)
{
    if (const std::optional<QPoint> beside = alarmBeside(area, alarm, dialog))
        return {dialog.topLeft(), *beside};
    return dialogOnTop(area, clampedInto(dialog, area), alarm);
}

} // namespace dorvan::placement
