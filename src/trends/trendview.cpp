#include "trends/trendview.h"

#include "base/daycount.h"
#include "events/eventrecord.h"
#include "events/eventfile.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

namespace dorvan {

namespace {

constexpr qint64 MinuteMs = 60 * 1000;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct Extreme
{
    qint64 t = 0;
    double v = 0;
};

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
    };
    for (const TrendSpan &s : series) {
        if (s.t < fromMs || s.t >= toMs)
            continue;
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

std::vector<TrendMark> readTrendMarks(const QString &eventFile, qint64 fromMs, qint64 toMs)
{
    std::vector<TrendMark> marks;
    EventFileReader reader(eventFile);
    if (!reader.open())
        return marks;
    for (QByteArrayView block = reader.nextBlock(); !block.isEmpty(); block = reader.nextBlock()) {
        for (qsizetype at = 0; at + EventFileReader::RecordSize <= block.size();
             at += EventFileReader::RecordSize) {
            const char *bytes = block.data() + at;
            if (!isTrendMarkCode(EventFileReader::codeOf(bytes)))
                continue;
            const EventRecord record = EventFileReader::recordAt(bytes);
            const qint64 t = fromDayCount(record.time).toMSecsSinceEpoch();
            if (t >= fromMs && t < toMs)
                marks.push_back({t, record.code, record.textString()});
        }
    }
    return marks;
}

std::vector<TrendMark> TrendMarkCache::within(const QString &eventFile, qint64 fromMs, qint64 toMs)
{
    const qint64 size = QFileInfo(eventFile).size();
    if (eventFile != path_ || size != size_) {
        path_ = eventFile;
        size_ = size;
        all_ = readTrendMarks(eventFile, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    }
    std::vector<TrendMark> out;
    for (const TrendMark &mark : all_) {
        if (mark.utcMs >= fromMs && mark.utcMs < toMs)
            out.push_back(mark);
    }
    return out;
}

} // namespace dorvan
