#pragma once

#include "trends/trendstore.h"

#include <QPointF>
#include <QString>

#include <vector>

namespace dorvan {

// A value over an interval of time: a sample (lo = hi) or a minute's range.
struct TrendSpan
{
    qint64 t = 0;
    double lo = 0;
    double hi = 0;
};

// Reduces a series to what `columns` pixel columns across [fromMs, toMs) can
// show: each column keeps its lowest and its highest point, in the order they
// came, so a spike of a single sample survives any width. x is UTC ms.
std::vector<QPointF> reduceToColumns(const std::vector<TrendSpan> &series, qint64 fromMs, qint64 toMs,
                                     int columns);

// (threshold − signal) as a percentage of the threshold; NaN without a threshold.
double marginPercent(double threshold, double signal);

// What the page says about a range besides the chart.
struct TrendSummary
{
    double smallestMargin[2]; // per loop, NaN when nothing was received
    double replyMin = 0, replyMean = 0, replyMax = 0;
    qint64 replies = 0;
    qint64 timeouts = 0;

    TrendSummary();
};

// A sensor's event drawn on the time axis.
struct TrendMark
{
    qint64 utcMs = 0;
    quint8 code = 0;
    QString text;
};

// Everything the chart of one sensor and range needs, reduced.
struct TrendView
{
    enum Series { Signal1, Threshold1, Signal2, Threshold2, SeriesCount };

    qint64 fromMs = 0;
    qint64 toMs = 0;
    bool fromMinutes = false; // the range reaches past the full resolution
    std::vector<QPointF> series[SeriesCount];
    TrendSummary summary;
    // The newest values received in the range, for the margin now.
    bool hasLatest = false;
    TrendSample latest;
};

// Reads [fromMs, toMs) of a sensor from the store: samples while the range
// lies within the full resolution kept at nowMs, minutes beyond.
TrendView loadTrendView(TrendStore &store, qint64 sensor, qint64 fromMs, qint64 toMs, qint64 nowMs,
                        int columns);

// The same from samples already read (for tests and benchmarks).
TrendView buildTrendView(const std::vector<TrendSample> &samples, qint64 fromMs, qint64 toMs, int columns);
TrendView buildTrendView(const std::vector<TrendMinute> &minutes, qint64 fromMs, qint64 toMs, int columns);

// The events of a sensor's event file that matter beside its signal: trips,
// faults, link losses and restorations, threshold changes; within the range.
std::vector<TrendMark> readTrendMarks(const QString &eventFile, qint64 fromMs, qint64 toMs);
bool isTrendMarkCode(quint8 code);

// The marks of one event file, read again only when the file changed size
// (event files are only ever appended to), so a live chart does not read a
// sensor's whole history every second.
class TrendMarkCache
{
public:
    std::vector<TrendMark> within(const QString &eventFile, qint64 fromMs, qint64 toMs);

private:
    QString path_;
    qint64 size_ = -1;
    std::vector<TrendMark> all_;
};

} // namespace dorvan
