#include "base/daycount.h"

#include <cmath>

namespace dorvan {

namespace {
constexpr qint64 msPerDay = 86400000;
qint64 epochJulianDay() { return QDate(1899, 12, 30).toJulianDay(); }
} // namespace

double toDayCount(const QDateTime &moment)
{
    const qint64 days = moment.date().toJulianDay() - epochJulianDay();
    const qint64 ms = moment.time().msecsSinceStartOfDay();
    return double(days) + double(ms) / double(msPerDay);
}

bool splitDayCount(double days, QDate &date, QTime &time)
{
    constexpr double maxDays = 4e6;
    if (!std::isfinite(days) || days > maxDays || days < -maxDays)
        return false;
    double whole = std::floor(days);
    qint64 ms = std::llround((days - whole) * double(msPerDay));
    if (ms >= msPerDay) {
        whole += 1;
        ms -= msPerDay;
    }
    date = QDate::fromJulianDay(epochJulianDay() + qint64(whole));
    time = QTime::fromMSecsSinceStartOfDay(int(ms));
    return true;
}

QDateTime fromDayCount(double days)
{
    QDate date;
    QTime time;
    if (!splitDayCount(days, date, time))
        return {};
    return QDateTime(date, time);
}

} // namespace dorvan
