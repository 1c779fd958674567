// Signal trends: what the line appends, the reduction that draws them, the
// minute aggregates and the store's behaviour when its file goes bad.

#include "test_link_rig.h"

#include "logcapture.h"
#include "testfiles.h"
#include "trends/trendaxis.h"
#include "trends/trendreader.h"

#include "trends/trendexport.h"
#include "trends/trendrecorder.h"
#include "trends/trendstore.h"
#include "trends/trendview.h"

#include <QBuffer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <cmath>

using namespace dorvan;
using namespace dorvan::test;

namespace {

constexpr qint64 MinuteMs = 60 * 1000;
constexpr qint64 DayMs = 24 * 60 * MinuteMs;
// 2026-12-06 00:00 UTC
constexpr qint64 Day0 = 1796515200000LL;

TrendSample sampleAt(qint64 utcMs, float signal, float threshold = 100, qint32 replyMs = 20)
{
    TrendSample s;
    s.utcMs = utcMs;
    s.address = 7;
    s.model = 1;
    s.signal1 = signal;
    s.signal2 = signal / 2;
    s.threshold1 = threshold;
    s.threshold2 = threshold;
    s.replyMs = replyMs;
    return s;
}

TrendSample timeoutAt(qint64 utcMs)
{
    TrendSample s = sampleAt(utcMs, 0);
    s.timeout = true;
    s.replyMs = -1;
    return s;
}

bool seriesHas(const std::vector<QPointF> &points, double y)
{
    return std::any_of(points.cbegin(), points.cend(), [y](const QPointF &p) { return p.y() == y; });
}

} // namespace

class TestTrends : public QObject
{
    Q_OBJECT

private slots:
    void lineAppendsRepliesAndTimeouts_data();
    void lineAppendsRepliesAndTimeouts();
    void reductionKeepsSpikes_data();
    void reductionKeepsSpikes();
    void minuteAggregates_data();
    void minuteAggregates();
    void storeStaysWithinItsBound();
    void exportReadsAClosedStore_data();
    void exportReadsAClosedStore();
    void failuresReportedOnceThenRecovered_data();
    void failuresReportedOnceThenRecovered();
    void timeWithoutRepliesIsABreak_data();
    void timeWithoutRepliesIsABreak();
    void timeTicksAtRoundTimesAllDifferent_data();
    void timeTicksAtRoundTimesAllDifferent();
    void valueTicksRoundWithDecimalCommas_data();
    void valueTicksRoundWithDecimalCommas();
    void marksReducedPerColumn();
    void markFileReadsWhatIsNew_data();
    void markFileReadsWhatIsNew();
    void deletedStoreNoticedAndBegunAgain();
    void supersededQueryNotAnswered();
};

void TestTrends::lineAppendsRepliesAndTimeouts_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<float>("signal1");
    QTest::addColumn<float>("signal2");
    QTest::addColumn<float>("threshold2");

    QTest::newRow("302: four singles") << 1 << statusM1(5, 0, 40.f, 45.f, 12.5f, 30.25f)
                                       << 12.5f << 30.25f << 45.f;
    QTest::newRow("301: one pair for both loops") << 0 << statusM0(5, 0, 900, 321) << 321.f << 321.f
                                                  << 900.f;
    QTest::newRow("other model's code: no values") << 1 << statusM0(5, 0, 900, 321) << -1.f << -1.f
                                                   << -1.f;
}

void TestTrends::lineAppendsRepliesAndTimeouts()
{
    QFETCH(int, model);
    QFETCH(QByteArray, answer);
    QFETCH(float, signal1);
    QFETCH(float, signal2);
    QFETCH(float, threshold2);

    LinkRig rig;
    TrendBuffer buffer;
    rig.link.trendBuffer = &buffer;
    rig.linked(0, 5, qint16(model));
    QVERIFY(rig.open());
    rig.tick();
    rig.clock.advanceMs(35);
    rig.receive(answer);
    std::vector<TrendSample> got;
    buffer.takeInto(got);
    if (signal1 < 0) {
        QVERIFY(got.empty());
        return;
    }
    QCOMPARE(got.size(), size_t(1));
    QCOMPARE(got[0].address, quint16(5));
    QCOMPARE(got[0].model, quint8(model));
    QCOMPARE(got[0].timeout, false);
    QCOMPARE(got[0].signal1, signal1);
    QCOMPARE(got[0].signal2, signal2);
    QCOMPARE(got[0].threshold2, threshold2);
    QCOMPARE(got[0].replyMs, 35);
    QCOMPARE(got[0].utcMs, rig.clock.now().toMSecsSinceEpoch());

    // The idle tick that ends the pass, a request, and its judgement.
    for (int i = 0; i < 3; ++i)
        rig.tick();
    buffer.takeInto(got);
    QCOMPARE(got.size(), size_t(1));
    QVERIFY(got[0].timeout);
}

void TestTrends::reductionKeepsSpikes_data()
{
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<double>("spikeAt"); // fraction of the span
    QTest::addColumn<double>("spike");
    QTest::addColumn<int>("columns");

    const qint64 week = 7 * DayMs;
    QTest::newRow("week, 32 sensors' rate, up in the middle") << week << qint64(3300) << 0.5 << 900.0 << 1000;
    QTest::newRow("week, first sample, down") << week << qint64(3300) << 0.0 << -900.0 << 1000;
    QTest::newRow("week, last sample, 200 columns") << week << qint64(3300) << 1.0 << 900.0 << 200;
    QTest::newRow("ten minutes, more columns than samples") << 10 * MinuteMs << qint64(3300) << 0.3 << 900.0
                                                            << 1900;
}

void TestTrends::reductionKeepsSpikes()
{
    QFETCH(qint64, spanMs);
    QFETCH(qint64, stepMs);
    QFETCH(double, spikeAt);
    QFETCH(double, spike);
    QFETCH(int, columns);

    std::vector<TrendSpan> series;
    for (qint64 t = 0; t < spanMs; t += stepMs) {
        const double noise = std::sin(double(t) / 7000.0) * 10.0;
        series.push_back({Day0 + t, 50 + noise, 50 + noise});
    }
    const size_t at = std::min(series.size() - 1, size_t(spikeAt * double(series.size())));
    series[at].lo = series[at].hi = spike;
    const std::vector<QPointF> drawn = reduceToColumns(series, Day0, Day0 + spanMs, columns);
    QVERIFY(seriesHas(drawn, spike));
    QVERIFY(drawn.size() <= std::min(series.size(), size_t(2 * columns)));
    QVERIFY(std::is_sorted(drawn.cbegin(), drawn.cend(),
                           [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
}

void TestTrends::minuteAggregates_data()
{
    // Samples written in separate batches, in the order given; the
    // minute asked for, and what it must say.
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<qint64>("minuteStart");
    QTest::addColumn<int>("replies");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("timeouts");

    const qint64 m = Day0 + 10 * MinuteMs;
    QTest::newRow("last and first ms of a minute apart")
        << QList<qint64>{m - 1, m, m + MinuteMs - 1, m + MinuteMs} << QList<double>{1, 10, 30, 99} << m << 2
        << 10.0 << 20.0 << 30.0 << 0;
    const qint64 midnight = Day0 + DayMs;
    QTest::newRow("across midnight") << QList<qint64>{midnight - 2000, midnight - 1, midnight, midnight + 500}
                                     << QList<double>{5, 7, 40, 60} << midnight << 2 << 40.0 << 50.0 << 60.0
                                     << 0;
    QTest::newRow("clock set back into a written minute")
        << QList<qint64>{m + 1000, m + MinuteMs + 5000, m + 2000} << QList<double>{10, 50, 2} << m << 2 << 2.0
        << 6.0 << 10.0 << 0;
    QTest::newRow("time-outs only, then a reply") << QList<qint64>{m + 1, m + 2, m + 3}
                                                  << QList<double>{-1, -1, 8} << m << 1 << 8.0 << 8.0 << 8.0
                                                  << 2;
}

void TestTrends::minuteAggregates()
{
    QFETCH(QList<qint64>, times);
    QFETCH(QList<double>, values);
    QFETCH(qint64, minuteStart);
    QFETCH(int, replies);
    QFETCH(double, min);
    QFETCH(double, mean);
    QFETCH(double, max);
    QFETCH(int, timeouts);

    WorkDir dir;
    TrendStore store(dir.file(QStringLiteral("data/trends.sqlite")));
    QVERIFY(store.open());
    for (int i = 0; i < times.size(); ++i) {
        const TrendSample s = values[i] < 0 ? timeoutAt(times[i]) : sampleAt(times[i], float(values[i]));
        QVERIFY2(store.write({s}, times[i]), qPrintable(store.errorText()));
    }
    const std::vector<TrendMinute> got =
        store.minutes(trendSensorKey(1, 7), minuteStart, minuteStart + MinuteMs);
    QCOMPARE(got.size(), size_t(1));
    QCOMPARE(got[0].minute * MinuteMs, minuteStart);
    QCOMPARE(got[0].replies, replies);
    QCOMPARE(got[0].timeouts, timeouts);
    QCOMPARE(got[0].signal1[0], min);
    QCOMPARE(got[0].signal1[1], mean);
    QCOMPARE(got[0].signal1[2], max);
    QCOMPARE(got[0].signal2[2], max / 2);
    QCOMPARE(got[0].replyMs[1], 20.0);
}

void TestTrends::storeStaysWithinItsBound()
{
    WorkDir dir;
    TrendLimits limits;
    limits.maxBytes = 256 * 1024;
    TrendStore store(dir.file(QStringLiteral("data/trends.sqlite")), TrendStore::Mode::ReadWrite, limits);
    QVERIFY(store.open());
    // 30 hours of one sensor every 3.3 s, a batch a minute: far beyond the
    // bound, within the full resolution's 48 hours.
    qint64 t = Day0;
    std::vector<TrendSample> batch;
    for (; t < Day0 + 30 * 60 * MinuteMs; t += 3300) {
        batch.push_back(sampleAt(t, float(t % 97)));
        if (batch.size() == 18) {
            QVERIFY2(store.write(batch, t), qPrintable(store.errorText()));
            batch.clear();
        }
    }
    QVERIFY(store.usedBytes() <= limits.maxBytes);
    // The newest data is what stays.
    QVERIFY(!store.samples(trendSensorKey(1, 7), t - 10 * MinuteMs, t).empty());
    QVERIFY(store.samples(trendSensorKey(1, 7), Day0, Day0 + 6 * 60 * MinuteMs).empty());
}

void TestTrends::exportReadsAClosedStore_data()
{
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("minutes");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("expected"); // one whole line of the export

    QTest::newRow("CSV, every reply") << false << false << 4
                                      << QByteArray("06.12.2026 00:01:00.000;100;12,5;100;6,25;20");
    QTest::newRow("CSV, time-out") << false << false << 4 << QByteArray("06.12.2026 00:01:03.300;;;;;нет");
    QTest::newRow("JSON lines, time-out") << true << false << 3
                                          << QByteArray("{\"time\":\"06.12.2026 00:01:03.300\",\"utcMs\":"
                                                        "1796515263300,\"threshold1\":null,\"signal1\":null,"
                                                        "\"threshold2\":null,\"signal2\":null,\"replyMs\":null}");
    QTest::newRow("CSV, minutes") << false << true << 2
                                  << QByteArray("06.12.2026 00:01:00.000;2;1;12,5;13,75;15;6,25;6,875;7,5;"
                                                "100;100;100;100;100;100;20;20;20");
}

void TestTrends::exportReadsAClosedStore()
{
    QFETCH(bool, json);
    QFETCH(bool, minutes);
    QFETCH(int, lines);
    QFETCH(QByteArray, expected);

    qputenv("TZ", "UTC");
    WorkDir dir;
    const QString path = dir.file(QStringLiteral("data/trends.sqlite"));
    const qint64 t = Day0 + MinuteMs;
    {
        TrendStore store(path);
        QVERIFY(store.open());
        QVERIFY(store.write({sampleAt(t, 12.5f), timeoutAt(t + 3300), sampleAt(t + 6600, 15.f)}, t + 7000));
    }
    // The writer is gone and took its journal files with it.
    QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));
    TrendStore store(path, TrendStore::Mode::ReadOnly);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(exportTrend(store, trendSensorKey(1, 7), t, t + MinuteMs, t + 7000,
                        json ? ExportFormat::JsonLines : ExportFormat::Csv, out, minutes));
    const QList<QByteArray> got = out.data().split('\n');
    QCOMPARE(got.size() - 1, lines);
    QVERIFY2(got.contains(expected + (json ? "" : "\r")), out.data().constData());
}

void TestTrends::failuresReportedOnceThenRecovered_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("damaged file") << "damaged";
    QTest::newRow("not a file") << "directory";
    QTest::newRow("locked by another program") << "locked";
    QTest::newRow("full") << "full";
}

void TestTrends::failuresReportedOnceThenRecovered()
{
    QFETCH(QString, fault);

    ContextRig rig;
    const QString path = TrendRecorder::storePath(rig.dir.path());
    std::unique_ptr<QSqlDatabase> other;
    if (fault == u"damaged") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    } else if (fault == u"directory") {
        QVERIFY(QDir().mkpath(path));
    } else if (fault == u"full") {
        QFile ini(rig.dir.file(QStringLiteral("data/trends.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("maxMegabytes=1\n");
    }

    TrendRecorder recorder(rig.ctx);
    recorder.start(rig.dir.path());
    if (fault == u"locked") {
        QVERIFY(recorder.recording());
        other = std::make_unique<QSqlDatabase>(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other"));
        other->setDatabaseName(path);
        QVERIFY(other->open());
        QVERIFY(QSqlQuery(*other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }
    // A minute of replies; a flush of the full store holds a third of its bound.
    const int perFlush = fault == u"full" ? 8000 : 3;
    for (int second = 0; second < 60; ++second) {
        rig.clock.advanceMs(1000);
        for (int i = 0; i < perFlush; ++i)
            recorder.buffer.append(sampleAt(rig.clock.now().toMSecsSinceEpoch() + i, float(i % 50)));
        recorder.flush();
    }
    QCOMPARE(recorder.reported(), 1);
    rig.faults.flush();
    QCOMPARE(rig.prompter.shown.size(), 1);
    QVERIFY(rig.prompter.shown[0].text.contains(QStringLiteral("trends.sqlite")));

    // Mended: the next retry writes again, and nothing more is shown.
    if (fault == u"directory")
        QVERIFY(QDir(path).removeRecursively());
    if (other) {
        QSqlQuery(*other).exec(QStringLiteral("ROLLBACK"));
        other->close();
    }
    for (int second = 0; second < 70; ++second) {
        rig.clock.advanceMs(1000);
        recorder.buffer.append(sampleAt(rig.clock.now().toMSecsSinceEpoch(), 12.f));
        recorder.flush();
    }
    QVERIFY(recorder.recording());
    QCOMPARE(recorder.reported(), 1);
    recorder.stop();
    TrendStore reader(path, TrendStore::Mode::ReadOnly);
    QVERIFY2(reader.open(), qPrintable(reader.errorText()));
    const qint64 now = rig.clock.now().toMSecsSinceEpoch();
    QVERIFY(!reader.samples(trendSensorKey(1, 7), now - 5000, now + 1).empty());
    reader.close();
    other.reset();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

void TestTrends::timeWithoutRepliesIsABreak_data()
{
    // Replies every 3.3 s across the range but for [gapFrom, gapTo) (minutes
    // of the range's start), where there are none, or time-outs only.
    QTest::addColumn<qint64>("spanMinutes");
    QTest::addColumn<int>("gapFrom");
    QTest::addColumn<int>("gapTo");
    QTest::addColumn<bool>("timeouts");
    QTest::addColumn<bool>("minutes");
    QTest::addColumn<bool>("broken");

    QTest::newRow("24 h, console stopped two hours") << qint64(24 * 60) << 600 << 720 << false << false << true;
    QTest::newRow("10 min, link lost: time-outs only") << qint64(10) << 4 << 6 << true << false << true;
    QTest::newRow("10 min, two polls missed: no break") << qint64(10) << 0 << 0 << true << false << false;
    QTest::newRow("7 days from minutes, two hours") << qint64(7 * 24 * 60) << 3000 << 3120 << false << true
                                                   << true;
}

void TestTrends::timeWithoutRepliesIsABreak()
{
    QFETCH(qint64, spanMinutes);
    QFETCH(int, gapFrom);
    QFETCH(int, gapTo);
    QFETCH(bool, timeouts);
    QFETCH(bool, minutes);
    QFETCH(bool, broken);

    const qint64 from = Day0, to = Day0 + spanMinutes * MinuteMs;
    const qint64 gap0 = from + gapFrom * MinuteMs, gap1 = from + gapTo * MinuteMs;
    constexpr int Columns = 1100;
    TrendView view;
    if (minutes) {
        std::vector<TrendMinute> rows;
        for (qint64 m = from / MinuteMs; m < to / MinuteMs; ++m) {
            TrendMinute row;
            row.minute = m;
            const bool inGap = m * MinuteMs >= gap0 && m * MinuteMs < gap1;
            row.replies = inGap ? 0 : 18;
            row.signal1[0] = row.signal1[1] = row.signal1[2] = m * MinuteMs < gap0 ? 45 : 85;
            rows.push_back(row);
        }
        view = buildTrendView(rows, from, to, Columns);
    } else {
        std::vector<TrendSample> samples;
        for (qint64 t = from; t < to; t += 3300) {
            // Without a gap of its own, the row misses two polls in a row.
            const bool missed = gapFrom == gapTo ? (t - from) / 3300 % 40 >= 38 : t >= gap0 && t < gap1;
            if (missed && !timeouts)
                continue;
            samples.push_back(missed ? timeoutAt(t) : sampleAt(t, t < gap0 ? 45.f : 85.f));
        }
        view = buildTrendView(samples, from, to, Columns);
    }
    const std::vector<QPointF> &curve = view.series[TrendView::Signal1];
    // No segment of the curve spans the gap: some point in it is a break.
    bool joined = false;
    for (size_t i = 1; i < curve.size(); ++i)
        joined = joined || (curve[i - 1].x() < double(gap0) && curve[i].x() >= double(gap1) && !std::isnan(curve[i].y())
                            && !std::isnan(curve[i - 1].y()));
    QCOMPARE(joined, false);
    const bool breaks = std::any_of(curve.cbegin(), curve.cend(), [](const QPointF &p) { return std::isnan(p.y()); });
    QCOMPARE(breaks, broken);
    if (broken) {
        QVERIFY(!view.hasDataAt((gap0 + gap1) / 2));
        QVERIFY(view.hasDataAt(gap0 - (gap1 - gap0) / 4));
        QVERIFY(view.hasDataAt(gap1 + (gap1 - gap0) / 4));
    }
    QVERIFY(!view.hasDataAt(from - MinuteMs));
}

void TestTrends::timeTicksAtRoundTimesAllDifferent_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("stepMs"); // between ticks, in local time

    const qint64 hour = 60 * MinuteMs;
    const qint64 odd = Day0 + 6 * hour + 37 * MinuteMs + 13000; // 06:37:13
    QTest::newRow("10 min") << QByteArray("UTC") << odd << 10 * MinuteMs << 1100 << MinuteMs;
    QTest::newRow("1 h") << QByteArray("UTC") << odd << hour << 1100 << 5 * MinuteMs;
    QTest::newRow("24 h") << QByteArray("UTC") << odd << DayMs << 1100 << 2 * hour;
    QTest::newRow("24 h, narrow") << QByteArray("UTC") << odd << DayMs << 340 << 6 * hour;
    QTest::newRow("47 h: dates beside the times") << QByteArray("UTC") << odd << 47 * hour << 1100 << 6 * hour;
    QTest::newRow("7 days: midnights") << QByteArray("UTC") << odd << 7 * DayMs << 1100 << DayMs;
    QTest::newRow("7 days, daylight saving ends") << QByteArray("Europe/Berlin")
                                                  << qint64(1792800000000LL) /* 2026-10-24 */ << 7 * DayMs << 1100
                                                  << DayMs;
    QTest::newRow("a year") << QByteArray("UTC") << odd << 366 * DayMs << 1100 << -1LL;
}

void TestTrends::timeTicksAtRoundTimesAllDifferent()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, spanMs);
    QFETCH(int, width);
    QFETCH(qint64, stepMs);

    qputenv("TZ", zone);
    constexpr int CharWidth = 7;
    const std::vector<AxisTick> ticks = timeTicks(fromMs, fromMs + spanMs, width, CharWidth);
    QVERIFY(ticks.size() >= 3);
    QSet<QString> labels;
    qsizetype longest = 0;
    for (const AxisTick &tick : ticks) {
        labels.insert(tick.label);
        longest = std::max(longest, tick.label.size());
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(qint64(tick.value));
        QVERIFY(tick.value >= double(fromMs) && tick.value <= double(fromMs + spanMs));
        if (stepMs > 0)
            QVERIFY2(at.time().msecsSinceStartOfDay() % std::min(stepMs, DayMs) == 0, qPrintable(tick.label));
        else
            QCOMPARE(at.date().day(), 1);
    }
    QCOMPARE(labels.size(), qsizetype(ticks.size()));
    QVERIFY(qint64(ticks.size()) * (longest + 3) * CharWidth <= width);
    if (stepMs > 0 && stepMs < DayMs)
        QCOMPARE(qint64(ticks[1].value - ticks[0].value), stepMs);
    qputenv("TZ", "UTC");
}

void TestTrends::valueTicksRoundWithDecimalCommas_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("most");
    QTest::addColumn<QStringList>("labels");

    QTest::newRow("302's signals") << 0.0 << 1.6 << 9 << QStringList{"0,0", "0,2", "0,4", "0,6", "0,8", "1,0", "1,2",
                                                                      "1,4", "1,6"};
    QTest::newRow("301's counts") << -3.0 << 130.0 << 6 << QStringList{"0", "50", "100"};
    QTest::newRow("around zero") << -0.051 << 0.051 << 4 << QStringList{"-0,05", "0,00", "0,05"};
}

void TestTrends::valueTicksRoundWithDecimalCommas()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, most);
    QFETCH(QStringList, labels);

    QStringList got;
    for (const AxisTick &tick : valueTicks(low, high, most))
        got.append(tick.label);
    QCOMPARE(got, labels);
}

void TestTrends::marksReducedPerColumn()
{
    // 100,000 events in a day, as a sensor that trips every second leaves.
    std::vector<TrendMark> marks;
    for (int i = 0; i < 100000; ++i)
        marks.push_back({Day0 + qint64(i) * 864, quint8(i % 2 ? 32 : 33), QStringLiteral("e%1").arg(i), 1});
    constexpr int Columns = 1100;
    const std::vector<TrendMark> shown = reduceMarks(marks, Day0, Day0 + DayMs, Columns);
    QCOMPARE(shown.size(), size_t(Columns));
    int total = 0;
    for (const TrendMark &mark : shown)
        total += mark.count;
    QCOMPARE(total, 100000);
    QCOMPARE(shown.front().text, QStringLiteral("e0"));
    // A lone event stays itself.
    QCOMPARE(reduceMarks({marks[500]}, Day0, Day0 + DayMs, Columns).front().count, 1);
}

void TestTrends::markFileReadsWhatIsNew_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("marks"); // after the change
    QTest::newRow("appended") << "append" << 5;
    QTest::newRow("a record written half, then whole") << "half" << 4;
    QTest::newRow("truncated") << "truncate" << 1;
    QTest::newRow("replaced by a file as long") << "replace" << 2;
}

void TestTrends::markFileReadsWhatIsNew()
{
    QFETCH(QString, change);
    QFETCH(int, marks);

    WorkDir dir;
    const QString path = dir.file(QStringLiteral("Dorvan302DK_mess/7"));
    const auto record = [](int i, quint8 code) {
        return bytesOf(EventRecord::make(7, 46362.25 + i * 0.001, code, QStringLiteral("e%1").arg(i)));
    };
    // Three trips and one arming, which marks nothing.
    writeFile(path, record(0, 33) + record(1, 33) + record(2, 20) + record(3, 33));
    TrendMarkFile file;
    QVERIFY(file.update(path));
    QCOMPARE(file.marks().size(), size_t(3));
    if (change == u"append") {
        appendFile(path, record(4, 15) + record(5, 32));
    } else if (change == u"half") {
        const QByteArray next = record(4, 15);
        appendFile(path, next.left(100));
        QVERIFY(file.update(path));
        QCOMPARE(file.marks().size(), size_t(3));
        appendFile(path, next.mid(100));
    } else if (change == u"truncate") {
        writeFile(path, record(9, 33));
    } else {
        // Same length, another inode: a copy moved over it.
        writeFile(path + QStringLiteral(".new"), record(7, 15) + record(8, 20) + record(9, 32) + record(10, 20));
        QVERIFY(::rename(qPrintable(path + QStringLiteral(".new")), qPrintable(path)) == 0);
    }
    QVERIFY(file.update(path));
    QCOMPARE(file.marks().size(), size_t(marks));
    QCOMPARE(file.readTo(), QFileInfo(path).size());
    if (change == u"replace")
        QCOMPARE(file.marks().front().text, QStringLiteral("e7"));
}

void TestTrends::deletedStoreNoticedAndBegunAgain()
{
    ContextRig rig;
    LogCapture log;
    const QString path = TrendRecorder::storePath(rig.dir.path());
    TrendRecorder recorder(rig.ctx);
    recorder.start(rig.dir.path());
    const auto second = [&](float signal) {
        rig.clock.advanceMs(1000);
        recorder.buffer.append(sampleAt(rig.clock.nowUtcMs(), signal));
        recorder.flush();
    };
    second(10);
    QVERIFY(QFile::exists(path + QStringLiteral("-wal")));
    QVERIFY(QFile::remove(path));
    for (int i = 0; i < 5; ++i)
        second(20);
    QCOMPARE(log.linesWith({QStringLiteral("dorvan.files"), QStringLiteral("deleted")}).size(), 1);
    QVERIFY(recorder.recording());
    recorder.stop();
    // What came after the deletion is in the new store; no journal is left.
    QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));
    TrendStore store(path, TrendStore::Mode::ReadOnly);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    const std::vector<TrendSample> kept = store.samples(trendSensorKey(1, 7), Day0 - DayMs, rig.clock.nowUtcMs() + 1);
    QVERIFY(kept.size() >= 4);
    QVERIFY(std::all_of(kept.cbegin(), kept.cend(), [](const TrendSample &s) { return s.signal1 == 20.f; }));
}

void TestTrends::supersededQueryNotAnswered()
{
    WorkDir dir;
    const QString path = dir.file(QStringLiteral("data/trends.sqlite"));
    {
        TrendStore store(path);
        QVERIFY(store.open() && store.write({sampleAt(Day0 + 1000, 12.f), sampleAt(Day0 + 2000, 14.f)}, Day0 + 3000));
    }
    TrendReader reader(path);
    std::vector<TrendAnswer> answers;
    connect(&reader, &TrendReader::answered, this, [&](const TrendAnswer &answer) { answers.push_back(answer); });
    TrendQuery query;
    query.sensor = trendSensorKey(1, 7);
    query.nowMs = Day0 + 3000;
    query.columns = 100;
    for (const qint64 to : {Day0 + 1500, Day0 + 2500}) {
        query.fromMs = Day0;
        query.toMs = to;
        reader.ask(query);
    }
    QVERIFY(QTest::qWaitFor([&] { return !reader.waiting(); }, 10000));
    // The first one's answer, had it been sent, came before the second's.
    QCOMPARE(answers.size(), size_t(1));
    QCOMPARE(answers[0].query.toMs, Day0 + 2500);
    QVERIFY(answers[0].readable);
    QCOMPARE(answers[0].view.summary.replies, 2);
}

QTEST_GUILESS_MAIN(TestTrends)
#include "test_trends.moc"
