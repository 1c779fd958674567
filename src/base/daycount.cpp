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

QDateTime fromDayCount(double days)
{
    // A day count read from a damaged file may be anything; beyond some
    // ten thousand years it names no date the console can show.
    constexpr double maxDays = 4e6;
    if (!std::isfinite(days) || days > maxDays || days < -maxDays)
        return {};
    double whole = std::floor(days);
    qint64 ms = std::llround((days - whole) * double(msPerDay));
    if (ms >= msPerDay) {
        whole += 1;
        ms -= msPerDay;
    }
    const QDate date = QDate::fromJulianDay(epochJulianDay() + qint64(whole));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

} // namespace dorvan
