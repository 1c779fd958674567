#include "base/clock.h"

#include "base/daycount.h"

namespace dorvan {

double Clock::nowDays() const
{
    return toDayCount(now());
}

SystemClock::SystemClock()
{
    started_.start();
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::counterFrequency() const
{
    return 1000000000; // nanoseconds
}

qint64 SystemClock::counter() const
{
    return started_.nsecsElapsed();
}

qint64 SystemClock::nowUtcMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

quint32 SystemClock::tickMs() const
{
    return quint32(started_.elapsed());
}

} // namespace dorvan
