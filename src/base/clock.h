#pragma once

#include <QDateTime>
#include <QElapsedTimer>

namespace dorvan {

// The console's sense of time: the wall clock for records, a high-resolution
// counter and a millisecond tick for the receiver's timing figures.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Counts per second of counter(); 0 when no high-resolution counter exists.
    virtual qint64 counterFrequency() const = 0;
    virtual qint64 counter() const = 0;
    virtual quint32 tickMs() const = 0;

    double nowDays() const;
    // The wall clock as UTC milliseconds since the epoch; cheaper than now()
    // where a time zone is not needed.
    virtual qint64 nowUtcMs() const { return now().toMSecsSinceEpoch(); }
};

class SystemClock final : public Clock
{
public:
    SystemClock();
    QDateTime now() const override;
    qint64 counterFrequency() const override;
    qint64 counter() const override;
    quint32 tickMs() const override;
    qint64 nowUtcMs() const override;

private:
    QElapsedTimer started_;
};

} // namespace dorvan
