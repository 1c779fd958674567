#pragma once

#include "events/eventexport.h"
#include "trends/trendstore.h"

#include <QByteArray>
#include <QIODevice>

#include <vector>

namespace dorvan {

// Writes a sensor's trend with the event export's conventions: CSV in UTF-8
// with a byte-order mark, ';' between fields, CRLF, decimal commas; or JSON
// lines. Samples give one row a poll (an unanswered one with empty values and
// "нет" for its reply time); minutes give minimum, mean and maximum of each
// value and the count of unanswered requests. Times are local, as the
// report's.
QByteArray trendSamplesText(const std::vector<TrendSample> &samples, ExportFormat format, bool header);
QByteArray trendMinutesText(const std::vector<TrendMinute> &minutes, ExportFormat format, bool header);

// Reads [fromMs, toMs) of the sensor and writes it in blocks: samples when
// the range lies within the full resolution kept at nowMs (or samples is
// forced), minutes otherwise. False when the store could not be read or the
// device not written.
bool exportTrend(TrendStore &store, qint64 sensor, qint64 fromMs, qint64 toMs, qint64 nowMs, ExportFormat format,
                 QIODevice &out, bool minutes);

} // namespace dorvan
