#include "trends/trendaxis.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace dorvan {

namespace {

constexpr qint64 SecondMs = 1000;
constexpr qint64 MinuteMs = 60 * SecondMs;
constexpr qint64 HourMs = 60 * MinuteMs;
constexpr qint64 DayMs = 24 * HourMs;

enum class StepKind { WithinDay, Days, Mondays, Months };

struct TimeStep
{
    StepKind kind;
    qint64 amount; // ms within a day, or days, or months
};

constexpr TimeStep timeSteps[] = {
    {StepKind::WithinDay, SecondMs},      {StepKind::WithinDay, 2 * SecondMs},
    {StepKind::WithinDay, 5 * SecondMs},  {StepKind::WithinDay, 10 * SecondMs},
    {StepKind::WithinDay, 15 * SecondMs}, {StepKind::WithinDay, 30 * SecondMs},
    {StepKind::WithinDay, MinuteMs},      {StepKind::WithinDay, 2 * MinuteMs},
    {StepKind::WithinDay, 5 * MinuteMs},  {StepKind::WithinDay, 10 * MinuteMs},
    {StepKind::WithinDay, 15 * MinuteMs}, {StepKind::WithinDay, 30 * MinuteMs},
    {StepKind::WithinDay, HourMs},        {StepKind::WithinDay, 2 * HourMs},
    {StepKind::WithinDay, 3 * HourMs},    {StepKind::WithinDay, 6 * HourMs},
    {StepKind::WithinDay, 12 * HourMs},   {StepKind::Days, 1},
    {StepKind::Days, 2},                  {StepKind::Mondays, 7},
    {StepKind::Months, 1},                {StepKind::Months, 3},
    {StepKind::Months, 12},
};

qint64 roughStepMs(const TimeStep &step)
{
    switch (step.kind) {
    case StepKind::WithinDay: return step.amount;
    case StepKind::Days:
    case StepKind::Mondays: return step.amount * DayMs;
    case StepKind::Months: return step.amount * 30 * DayMs;
    }
    return DayMs;
}

QDateTime local(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs);
}

// The local moments of the step's grid within [fromMs, toMs].
std::vector<qint64> tickTimes(const TimeStep &step, qint64 fromMs, qint64 toMs)
{
    std::vector<qint64> times;
    const QDate first = local(fromMs).date();
    const QDate last = local(toMs).date();
    const auto keep = [&](const QDateTime &at) {
        const qint64 t = at.toMSecsSinceEpoch();
        if (at.isValid() && t >= fromMs && t <= toMs && (times.empty() || t > times.back()))
            times.push_back(t);
    };
    if (step.kind == StepKind::Months) {
        QDate month(first.year(), first.month(), 1);
        while ((month.month() - 1) % step.amount != 0)
            month = month.addMonths(-1);
        for (; month <= last; month = month.addMonths(int(step.amount)))
            keep(month.startOfDay());
        return times;
    }
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        switch (step.kind) {
        case StepKind::WithinDay:
            for (qint64 ms = day == first ? local(fromMs).time().msecsSinceStartOfDay() / step.amount * step.amount : 0;
                 ms < DayMs; ms += step.amount) {
                const QDateTime at(day, QTime::fromMSecsSinceStartOfDay(int(ms)));
                if (at.toMSecsSinceEpoch() > toMs)
                    break;
                keep(at);
            }
            break;
        case StepKind::Days:
            if (day.toJulianDay() % step.amount == 0)
                keep(day.startOfDay());
            break;
        case StepKind::Mondays:
            if (day.dayOfWeek() == Qt::Monday)
                keep(day.startOfDay());
            break;
        case StepKind::Months: break;
        }
    }
    return times;
}

QString tickLabel(const TimeStep &step, qint64 t, qint64 spanMs)
{
    const QDateTime at = local(t);
    const bool midnight = at.time() == QTime(0, 0);
    if (step.kind != StepKind::WithinDay)
        return at.toString(spanMs > 300 * DayMs ? QStringLiteral("dd.MM.yy") : QStringLiteral("dd.MM"));
    const QString time = at.toString(step.amount < MinuteMs ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    if (midnight)
        return at.toString(QStringLiteral("dd.MM"));
    // Within a day each time of day comes once; beyond, the date tells them apart.
    return spanMs <= DayMs ? time : at.toString(QStringLiteral("dd.MM ")) + time;
}

} // namespace

std::vector<AxisTick> timeTicks(qint64 fromMs, qint64 toMs, int widthPx, int charWidthPx)
{
    std::vector<AxisTick> ticks;
    if (toMs <= fromMs || widthPx <= 0)
        return ticks;
    const qint64 span = toMs - fromMs;
    const int charWidth = std::max(1, charWidthPx);
    for (const TimeStep &step : timeSteps) {
        // Far too many to fit: not worth making.
        if (span / roughStepMs(step) > widthPx / (4 * charWidth))
            continue;
        ticks.clear();
        qsizetype longest = 0;
        for (const qint64 t : tickTimes(step, fromMs, toMs)) {
            ticks.push_back({double(t), tickLabel(step, t, span)});
            longest = std::max(longest, ticks.back().label.size());
        }
        if (qint64(ticks.size()) * (longest + 3) * charWidth <= widthPx)
            return ticks;
    }
    return ticks;
}

QString decimalText(double value, int decimals)
{
    decimals = std::max(0, decimals);
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0; // no "-0,0"
    return QString::number(value, 'f', decimals).replace(u'.', u',');
}

std::vector<AxisTick> valueTicks(double low, double high, int maxTicks)
{
    std::vector<AxisTick> ticks;
    if (!(high > low) || maxTicks < 2)
        return ticks;
    const double rough = (high - low) / double(maxTicks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (power * factor >= rough) {
            step = power * factor;
            break;
        }
    }
    const int decimals = std::max(0, -int(std::floor(std::log10(step) + 1e-9)));
    for (double k = std::ceil(low / step - 1e-9); k * step <= high + step * 1e-9; k += 1) {
        const double value = k * step;
        ticks.push_back({value, decimalText(value, decimals)});
    }
    return ticks;
}

} // namespace dorvan
