#include "base/windowplacement.h"

#include <algorithm>
#include <array>
#include <vector>

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

qint64 overlap(const QRect &r, const QRect &other)
{
    const QRect shared = r.intersected(other);
    return shared.isEmpty() ? 0 : qint64(shared.width()) * shared.height();
}

// Where `moving` can go wholly on screen beside `fixed`: its own place, the
// four sides, the corners. The first that leaves `fixed` uncovered, else the
// one that covers least of it.
QRect wholeBeside(const QRect &moving, const QRect &fixed, const QRect &area)
{
    std::vector<QRect> candidates{clampedInto(moving, area)};
    for (const auto &group : {around(moving, fixed, area), corners(moving, area)}) {
        for (const QRect &candidate : group)
            candidates.push_back(clampedInto(candidate, area));
    }
    for (const QRect &candidate : candidates) {
        if (!candidate.intersects(withMargin(fixed)))
            return candidate;
    }
    return *std::min_element(candidates.begin(), candidates.end(), [&fixed](const QRect &a, const QRect &b) {
        return overlap(a, fixed) < overlap(b, fixed);
    });
}

} // namespace

bool exceedsArea(const QRect &area, const QSize &frame)
{
    return frame.width() > area.width() || frame.height() > area.height();
}

namespace {

// No room for both where the dialog is: the dialog takes the top of the
// screen and the alarm window the place beside it that covers least of it,
// wholly on screen either way.
Places dialogOnTop(const QRect &area, const QRect &dialog, const QRect &alarm)
{
    QRect top = dialog;
    top.moveTop(area.top());
    top.moveLeft(area.left() + (area.width() - top.width()) / 2);
    top = clampedInto(top, area);
    return {top.topLeft(), wholeBeside(alarm, top, area).topLeft()};
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
    const QRect beside = wholeBeside(alarm, dialog, area);
    if (wholeAndClear(beside, area, dialog))
        return {dialog.topLeft(), beside.topLeft()};
    return dialogOnTop(area, clampedInto(dialog, area), alarm);
}

} // namespace dorvan::placement
