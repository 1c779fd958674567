#pragma once

#include "trends/trendstore.h"

#include <QPointF>
#include <QString>

#include <sys/types.h>

#include <vector>

namespace dorvan {

// A value over an interval of time: a sample (lo = hi) or a minute's range.
// A NaN lo marks a break: no data between the spans on either side.
struct TrendSpan
{
    qint64 t = 0;
    double lo = 0;
    double hi = 0;
};

// Reduces a series to what `columns` pixel columns across [fromMs, toMs) can
// show: each column keeps its lowest and its highest point, in the order they
// came, so a spike of a single sample survives any width. A break in the
// series stays a break: a point with a NaN y, which the chart does not join
// across. x is UTC ms.
std::vector<QPointF> reduceToColumns(const std::vector<TrendSpan> &series, qint64 fromMs, qint64 toMs,
                                     int columns);

// The shortest time without a reply that the chart shows as a break: three
// missed polls of a full line, for samples, or a whole minute without a reply,
// for minutes; and never less than the time of two and a half pixel columns,
// so that a break is never thinner than what can be seen.
qint64 trendGapMs(bool fromMinutes, qint64 fromMs, qint64 toMs, int columns);

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

// A sensor's event drawn on the time axis; after reduction, the first of
// `count` events that fall in one pixel column.
struct TrendMark
{
    qint64 utcMs = 0;
    quint8 code = 0;
    QString text;
    int count = 1;
};

// A time with no reply inside a range: from the last reply before it to the
// first after it.
struct TrendGap
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

// Everything the chart of one sensor and range needs, reduced.
struct TrendView
{
    enum Series { Signal1, Threshold1, Signal2, Threshold2, SeriesCount };

    qint64 fromMs = 0;
    qint64 toMs = 0;
    bool fromMinutes = false; // the range reaches past the full resolution
    std::vector<QPointF> series[SeriesCount];
    std::vector<TrendGap> gaps;
    qint64 firstMs = 0; // the first and the last reply in the range (valid with hasLatest)
    qint64 gapMs = 0;   // what counted as a gap
    TrendSummary summary;
    // The newest values received in the range, for the margin at its end.
    bool hasLatest = false;
    TrendSample latest;

    // Whether anything was received at t: false in a gap, before the first
    // reply, or longer than a gap after the last.
    bool hasDataAt(qint64 t) const;
};

// Reads [fromMs, toMs) of a sensor from the store: samples while the range
// lies within the full resolution kept at nowMs, minutes beyond.
TrendView loadTrendView(TrendStore &store, qint64 sensor, qint64 fromMs, qint64 toMs, qint64 nowMs,
                        int columns);

// The same from samples already read (for tests and benchmarks).
TrendView buildTrendView(const std::vector<TrendSample> &samples, qint64 fromMs, qint64 toMs, int columns);
TrendView buildTrendView(const std::vector<TrendMinute> &minutes, qint64 fromMs, qint64 toMs, int columns);

bool isTrendMarkCode(quint8 code);

// The marks within [fromMs, toMs) (marks in time order), at most one a pixel
// column: the first of the column, with the count of those it stands for.
std::vector<TrendMark> reduceMarks(const std::vector<TrendMark> &marks, qint64 fromMs, qint64 toMs, int columns);

// The marks of one sensor's event file: trips, faults, link losses and
// restorations, threshold changes. Event files are only ever appended to, so
// each update reads the records added since the last one; a file that
// shrank or was replaced (another device or inode at its path) is read
// afresh, and a partial record at the end is read once it is whole.
class TrendMarkFile
{
public:
    // Reads what is new; false when the file cannot be read (the marks
    // already read stay).
    bool update(const QString &path);
    const std::vector<TrendMark> &marks() const { return marks_; }
    // How far the file was read, in bytes of whole records.
    qint64 readTo() const { return readTo_; }

private:
    void restart(const QString &path);

    QString path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    qint64 readTo_ = 0;
    std::vector<TrendMark> marks_;
};

} // namespace dorvan
