#pragma once

#include <QDateTime>

namespace dorvan {

// Date-time values in every record are day counts since 30 December 1899,
// the fraction being the local time of day.
double toDayCount(const QDateTime &moment);
QDateTime fromDayCount(double days);

} // namespace dorvan
