#include "station/liveness.h"

namespace dorvan::station {

namespace {

// Two statuses a renewal apart tell the same offset within this, and within
// half their interval: statuses queued behind a cut bridge arrive together,
// their offsets an interval apart, and must not agree on a skew.
constexpr qint64 OffsetAgreementMs = 5000;

} // namespace

void PostLiveness::renewed(qint64 monotonicMs, qint64 wallMs)
{
    renewedMs = monotonicMs;
    if (!row.statusTime.isValid())
        return;
    const qint64 offset = row.statusTime.toMSecsSinceEpoch() - wallMs;
    const qint64 limit = qint64(row.intervalSeconds) * 1000;
    const qint64 agreement = qMin(OffsetAgreementMs, limit / 2);
    const bool agrees = lastOffsetMs && qAbs(*lastOffsetMs - offset) <= agreement;
    if (agrees)
        skewed = qAbs(offset) > limit;
    else if (qAbs(offset) <= limit)
        skewed = false;
    lastOffsetMs = offset;
}

PostHealth judge(const PostLiveness &post, qint64 monotonicMs, qint64 wallMs)
{
    PostHealth health;
    const PostRow &row = post.row;
    health.hasStatus = row.hasStatus;
    health.offline = row.hasStatus && !row.online;
    if (row.hasStatus && row.online && row.intervalSeconds > 0) {
        const qint64 limit = 2 * qint64(row.intervalSeconds) * 1000;
        const qint64 heardMs = qMax(post.renewedMs, post.watchedSinceMs);
        const bool silent = monotonicMs - heardMs > limit;
        const bool old = row.statusTime.isValid() && wallMs - row.statusTime.toMSecsSinceEpoch() > limit;
        health.stale = silent || old;
    }
    if (post.renewedMs >= 0)
        health.statusAgeSeconds = (monotonicMs - post.renewedMs) / 1000;
    else if (row.statusTime.isValid())
        health.statusAgeSeconds = qMax<qint64>(0, (wallMs - row.statusTime.toMSecsSinceEpoch()) / 1000);
    health.consoleKnown = row.hasConsole && !health.offline && !health.stale;
    if (row.hasConsole) {
        health.consoleDown = !row.consoleRunning;
        health.lineStopped = row.consoleRunning && row.line == u"stopped";
        health.lineUnknown = row.consoleRunning && row.line == u"unknown";
    }
    return health;
}

} // namespace dorvan::station
