#pragma once

#include "base/clock.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace dorvan::station {

// When a post's alarms come as a flood: so many raised within so long.
struct FloodLimits
{
    int alarms = 10; // 0: a post never floods
    int seconds = 60;
};

// Which posts flood, from the times their alarms are raised, on the
// station's monotonic clock (Clock::tickMs()). A post floods from the
// raising that makes `alarms` within the last `seconds`. The flood ends only
// when the post is quiet again (fewer than `alarms` in the window) AND the
// operator has acknowledged every one of its alarms: a group he is still
// working through must not break up into rows under his hands, nor a post
// that keeps raising fall back into the list between two bursts.
class FloodDetector
{
public:
    FloodDetector(const Clock &clock, FloodLimits limits) : clock_(clock), limits_(limits) {}

    void raised(const QString &site);
    // With whether the post still has unacknowledged alarms; true: its flood ended now.
    bool review(const QString &site, bool unacknowledged);
    bool floods(const QString &site) const { return flooding_.contains(site); }
    QStringList floodingSites() const { return flooding_.values(); }
    bool anyFlood() const { return !flooding_.isEmpty(); }
    int recentRaisings(const QString &site); // within the window, older ones forgotten

private:
    const Clock &clock_;
    FloodLimits limits_;
    QHash<QString, QList<quint32>> raisings_; // per post, the oldest first
    QSet<QString> flooding_;
};

} // namespace dorvan::station
