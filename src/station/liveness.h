#pragma once

#include "station/journal.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace dorvan::station {

// What the station knows of a post's liveness: its last status and console
// report, and when the station itself last heard it renew its status.
struct PostLiveness
{
    PostRow row;
    qint64 renewedMs = -1;    // the station's monotonic clock at the last live status, -1 none
    qint64 watchedSinceMs = 0; // since when the station could have heard one (its start, its reconnection)
    std::optional<qint64> lastOffsetMs; // the post's clock minus the station's, at the last live status
    bool skewed = false;

    // A live status arrived: notes the renewal and judges the post's clock,
    // flagged when two statuses in a row agree that it is off by more than
    // the interval (a queued backlog's old statuses do not agree).
    void renewed(qint64 monotonicMs, qint64 wallMs);
};

// The post's layers, each a condition of its own alarm.
struct PostHealth
{
    bool offline = false;
    bool stale = false;
    bool consoleDown = false;
    bool lineStopped = false;
    bool lineUnknown = false;
    bool consoleKnown = false; // the console report is current: the post is neither offline nor stale
    bool hasStatus = false;
    qint64 statusAgeSeconds = -1;
};

// Judged at the given station times: stale when no renewal came for twice
// the interval by the monotonic clock, or the status's time is older than
// twice the interval by the wall clock.
PostHealth judge(const PostLiveness &post, qint64 monotonicMs, qint64 wallMs);

} // namespace dorvan::station
