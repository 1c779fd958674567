#pragma once

#include <QString>

#include <vector>

namespace dorvan {

// A tick of a chart's axis: where it stands and what it says.
struct AxisTick
{
    double value = 0;
    QString label;
};

// The ticks of a time axis across [fromMs, toMs] (UTC ms), at round local
// times: seconds, minutes, hours that divide the day, midnights, Mondays,
// the first of a month. The step is the smallest whose labels fit widthPx
// with charWidthPx a character. No two labels alike: times of day while the
// range is a day at most (a midnight says its date), the date besides when it
// is longer; dates alone for steps of a day and more.
std::vector<AxisTick> timeTicks(qint64 fromMs, qint64 toMs, int widthPx, int charWidthPx);

// The ticks of a value axis across [low, high] at round values (1, 2 or 5
// times a power of ten), at most maxTicks, with decimal commas.
std::vector<AxisTick> valueTicks(double low, double high, int maxTicks);

// A number as the console writes it: a decimal comma, `decimals` places.
QString decimalText(double value, int decimals);

} // namespace dorvan
