#include "station/floods.h"

namespace dorvan::station {

int FloodDetector::recentRaisings(const QString &site)
{
    const auto found = raisings_.find(site);
    if (found == raisings_.end())
        return 0;
    const quint32 now = clock_.tickMs();
    const quint32 windowMs = quint32(limits_.seconds) * 1000u;
    QList<quint32> &times = found.value();
    // Unsigned differences: the tick wraps after 49 days.
    times.removeIf([now, windowMs](quint32 time) { return quint32(now - time) >= windowMs; });
    if (times.isEmpty()) {
        raisings_.erase(found);
        return 0;
    }
    return int(times.size());
}

void FloodDetector::raised(const QString &site)
{
    if (limits_.alarms <= 0)
        return;
    raisings_[site].append(clock_.tickMs());
    if (recentRaisings(site) >= limits_.alarms)
        flooding_.insert(site);
}

bool FloodDetector::review(const QString &site, bool unacknowledged)
{
    if (!flooding_.contains(site) || unacknowledged || recentRaisings(site) >= limits_.alarms)
        return false;
    flooding_.remove(site);
    return true;
}

} // namespace dorvan::station
