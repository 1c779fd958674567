#pragma once

#include <QDateTime>

namespace dorvan {

// Date-time values in every record are day counts since 30 December 1899,
// the fraction being the local time of day.
double toDayCount(const QDateTime &moment);
QDateTime fromDayCount(double days);
// The calendar date and time of day a day count names, with no time zone
// in between; false for a count that names no date (NaN, or a value from a
// damaged file beyond some ten thousand years).
bool splitDayCount(double days, QDate &date, QTime &time);

} // namespace dorvan
