#include "trends/trendview.h"

#include "base/daycount.h"
#include "events/eventrecord.h"
#include "events/eventfile.h"

#include <QFile>

#include <sys/stat.h>

#include <cerrno>

#include <algorithm>
#include <cmath>
#include <limits>

namespace dorvan {

namespace {

constexpr qint64 MinuteMs = 60 * 1000;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// A full line polls each sensor every 3.3 s: a reply missing for longer than
// three missed polls is a time without data.
constexpr qint64 SampleGapMs = 15 * 1000;

struct Extreme
{
    qint64 t = 0;
    double v = 0;
};

// Where two replies lie further apart than the view's gap: a break in every
// series and a gap for the cursor.
void breakAtGap(TrendView &view, std::vector<TrendSpan> (&spans)[TrendView::SeriesCount], qint64 previousMs,
                qint64 t)
{
    if (!view.hasLatest || t - previousMs <= view.gapMs)
        return;
    view.gaps.push_back({previousMs, t});
    for (auto &series : spans)
        series.push_back({previousMs + 1, NaN, NaN});
}

void keepSmallest(double &smallest, double margin)
{
    if (!std::isnan(margin) && (std::isnan(smallest) || margin < smallest))
        smallest = margin;
}

} // namespace

std::vector<QPointF> reduceToColumns(const std::vector<TrendSpan> &series, qint64 fromMs, qint64 toMs,
                                     int columns)
{
    std::vector<QPointF> out;
    if (toMs <= fromMs || columns <= 0)
        return out;
    out.reserve(size_t(std::min<qint64>(qint64(series.size()), 2LL * columns)));
    const double span = double(toMs - fromMs);
    int current = -1;
    Extreme low, high;
    auto emitColumn = [&] {
        if (current < 0)
            return;
        if (low.t == high.t && low.v == high.v) {
            out.emplace_back(double(low.t), low.v);
        } else if (low.t <= high.t) {
            out.emplace_back(double(low.t), low.v);
            out.emplace_back(double(high.t), high.v);
        } else {
            out.emplace_back(double(high.t), high.v);
            out.emplace_back(double(low.t), low.v);
        }
        current = -1;
    };
    for (const TrendSpan &s : series) {
        if (s.t < fromMs || s.t >= toMs)
            continue;
        if (std::isnan(s.lo)) {
            emitColumn();
            if (!out.empty() && !std::isnan(out.back().y()))
                out.emplace_back(double(s.t), NaN);
            continue;
        }
        const int column = std::min(columns - 1, int(double(s.t - fromMs) * columns / span));
        if (column != current) {
            emitColumn();
            current = column;
            low = {s.t, s.lo};
            high = {s.t, s.hi};
            continue;
        }
        if (s.lo < low.v)
            low = {s.t, s.lo};
        if (s.hi > high.v)
            high = {s.t, s.hi};
    }
    emitColumn();
    return out;
}

qint64 trendGapMs(bool fromMinutes, qint64 fromMs, qint64 toMs, int columns)
{
    const qint64 least = fromMinutes ? MinuteMs : SampleGapMs;
    const qint64 twoAndAHalfColumns = columns > 0 ? (toMs - fromMs) * 5 / (2 * qint64(columns)) : 0;
    return std::max(least, twoAndAHalfColumns);
}

bool TrendView::hasDataAt(qint64 t) const
{
    if (!hasLatest || t < firstMs || t > latest.utcMs + gapMs)
        return false;
    return std::none_of(gaps.cbegin(), gaps.cend(), [t](const TrendGap &g) { return t > g.fromMs && t < g.toMs; });
}

double marginPercent(double threshold, double signal)
{
    if (threshold == 0 || std::isnan(threshold) || std::isnan(signal))
        return NaN;
    return (threshold - signal) / threshold * 100.0;
}

TrendSummary::TrendSummary() : smallestMargin{NaN, NaN} {}

TrendView buildTrendView(const std::vector<TrendSample> &samples, qint64 fromMs, qint64 toMs, int columns)
{
    TrendView view;
    view.fromMs = fromMs;
    view.toMs = toMs;
    view.gapMs = trendGapMs(false, fromMs, toMs, columns);
    std::vector<TrendSpan> spans[TrendView::SeriesCount];
    for (auto &s : spans)
        s.reserve(samples.size());
    TrendSummary &sum = view.summary;
    double replyTotal = 0;
    for (const TrendSample &s : samples) {
        if (s.utcMs < fromMs || s.utcMs >= toMs)
            continue;
        if (s.timeout) {
            ++sum.timeouts;
            continue;
        }
        breakAtGap(view, spans, view.latest.utcMs, s.utcMs);
        if (!view.hasLatest)
            view.firstMs = s.utcMs;
        spans[TrendView::Signal1].push_back({s.utcMs, s.signal1, s.signal1});
        spans[TrendView::Threshold1].push_back({s.utcMs, s.threshold1, s.threshold1});
        spans[TrendView::Signal2].push_back({s.utcMs, s.signal2, s.signal2});
        spans[TrendView::Threshold2].push_back({s.utcMs, s.threshold2, s.threshold2});
        keepSmallest(sum.smallestMargin[0], marginPercent(s.threshold1, s.signal1));
        keepSmallest(sum.smallestMargin[1], marginPercent(s.threshold2, s.signal2));
        const double reply = std::max(0, s.replyMs);
        sum.replyMin = sum.replies == 0 ? reply : std::min(sum.replyMin, reply);
        sum.replyMax = sum.replies == 0 ? reply : std::max(sum.replyMax, reply);
        replyTotal += reply;
        ++sum.replies;
        view.hasLatest = true;
        view.latest = s;
    }
    if (sum.replies > 0)
        sum.replyMean = replyTotal / double(sum.replies);
    for (int i = 0; i < TrendView::SeriesCount; ++i)
        view.series[i] = reduceToColumns(spans[i], fromMs, toMs, columns);
    return view;
}

TrendView buildTrendView(const std::vector<TrendMinute> &minutes, qint64 fromMs, qint64 toMs, int columns)
{
    TrendView view;
    view.fromMs = fromMs;
    view.toMs = toMs;
    view.fromMinutes = true;
    view.gapMs = trendGapMs(true, fromMs, toMs, columns);
    std::vector<TrendSpan> spans[TrendView::SeriesCount];
    TrendSummary &sum = view.summary;
    double replyTotal = 0;
    for (const TrendMinute &m : minutes) {
        const qint64 t = m.minute * MinuteMs;
        if (t < fromMs - MinuteMs || t >= toMs)
            continue;
        sum.timeouts += m.timeouts;
        if (m.replies == 0)
            continue;
        // A minute stands for the whole of it: the next one is due a minute later.
        breakAtGap(view, spans, view.latest.utcMs + MinuteMs, t);
        if (!view.hasLatest)
            view.firstMs = t;
        spans[TrendView::Signal1].push_back({t, m.signal1[0], m.signal1[2]});
        spans[TrendView::Threshold1].push_back({t, m.threshold1[0], m.threshold1[2]});
        spans[TrendView::Signal2].push_back({t, m.signal2[0], m.signal2[2]});
        spans[TrendView::Threshold2].push_back({t, m.threshold2[0], m.threshold2[2]});
        // The closest a minute came: its highest signal against its lowest threshold.
        keepSmallest(sum.smallestMargin[0], marginPercent(m.threshold1[0], m.signal1[2]));
        keepSmallest(sum.smallestMargin[1], marginPercent(m.threshold2[0], m.signal2[2]));
        sum.replyMin = sum.replies == 0 ? m.replyMs[0] : std::min(sum.replyMin, m.replyMs[0]);
        sum.replyMax = sum.replies == 0 ? m.replyMs[2] : std::max(sum.replyMax, m.replyMs[2]);
        replyTotal += m.replyMs[1] * m.replies;
        sum.replies += m.replies;
        view.hasLatest = true;
        view.latest.utcMs = t;
        view.latest.threshold1 = float(m.threshold1[1]);
        view.latest.signal1 = float(m.signal1[1]);
        view.latest.threshold2 = float(m.threshold2[1]);
        view.latest.signal2 = float(m.signal2[1]);
    }
    if (sum.replies > 0)
        sum.replyMean = replyTotal / double(sum.replies);
    for (int i = 0; i < TrendView::SeriesCount; ++i)
        view.series[i] = reduceToColumns(spans[i], fromMs - MinuteMs, toMs, columns);
    return view;
}

TrendView loadTrendView(TrendStore &store, qint64 sensor, qint64 fromMs, qint64 toMs, qint64 nowMs,
                        int columns)
{
    if (fromMs >= nowMs - store.limits().fullResolutionMs)
        return buildTrendView(store.samples(sensor, fromMs, toMs), fromMs, toMs, columns);
    return buildTrendView(store.minutes(sensor, fromMs, toMs), fromMs, toMs, columns);
}

bool isTrendMarkCode(quint8 code)
{
    return marksTrend(code);
}

std::vector<TrendMark> reduceMarks(const std::vector<TrendMark> &marks, qint64 fromMs, qint64 toMs, int columns)
{
    std::vector<TrendMark> out;
    if (toMs <= fromMs || columns <= 0)
        return out;
    std::vector<int> shownAt(size_t(columns), -1); // index into out of each column's mark
    const double span = double(toMs - fromMs);
    for (const TrendMark &mark : marks) {
        if (mark.utcMs < fromMs || mark.utcMs >= toMs)
            continue;
        const int column = std::min(columns - 1, int(double(mark.utcMs - fromMs) * columns / span));
        int &at = shownAt[size_t(column)];
        if (at < 0) {
            at = int(out.size());
            out.push_back(mark);
            continue;
        }
        TrendMark &shown = out[size_t(at)];
        shown.count += mark.count;
        if (mark.utcMs < shown.utcMs) { // a clock set back: the column's earliest stands for it
            const int count = shown.count;
            shown = mark;
            shown.count = count;
        }
    }
    std::sort(out.begin(), out.end(), [](const TrendMark &a, const TrendMark &b) { return a.utcMs < b.utcMs; });
    return out;
}

void TrendMarkFile::restart(const QString &path)
{
    path_ = path;
    device_ = 0;
    inode_ = 0;
    readTo_ = 0;
    marks_.clear();
}

bool TrendMarkFile::update(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        restart(path); // gone: nothing of it is shown
        return errno == ENOENT;
    }
    if (path != path_ || info.st_dev != device_ || info.st_ino != inode_ || qint64(info.st_size) < readTo_) {
        restart(path);
        device_ = info.st_dev;
        inode_ = info.st_ino;
    }
    constexpr qint64 Record = EventFileReader::RecordSize;
    if (qint64(info.st_size) - readTo_ < Record)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(readTo_))
        return false;
    constexpr qint64 Block = 12800 * Record;
    QByteArray block;
    for (;;) {
        block = file.read(Block);
        const qint64 whole = block.size() / Record * Record;
        for (qint64 at = 0; at < whole; at += Record) {
            const char *bytes = block.constData() + at;
            if (!isTrendMarkCode(EventFileReader::codeOf(bytes)))
                continue;
            const EventRecord record = EventFileReader::recordAt(bytes);
            marks_.push_back({fromDayCount(record.time).toMSecsSinceEpoch(), record.code, record.textString(), 1});
        }
        readTo_ += whole;
        if (block.size() < Block)
            return true;
    }
}

} // namespace dorvan
