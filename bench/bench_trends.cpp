// Signal trends: what recording costs the line, what a batch costs the
// store, how long a day and a week of one sensor take to read and reduce,
// and how much disk a sensor uses a day. Density is that of 32 sensors on
// one line: each polled every 3.3 s (32 requests and one idle tick of 100 ms).
// bench_trends [DIR] leaves the filled store in DIR/data/trends.sqlite.
#include "base/clock.h"
#include "base/daycount.h"
#include "events/eventrecord.h"
#include "trends/trendsample.h"
#include "trends/trendstore.h"
#include "trends/trendview.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace dorvan;

namespace {

using Steady = std::chrono::steady_clock;
constexpr qint64 PollMs = 3300;
constexpr qint64 DayMs = 24LL * 3600 * 1000;
constexpr int Columns = 1100; // the plot's width on a 1280-pixel screen

double micros(Steady::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

TrendSample sampleAt(qint64 t, quint16 address)
{
    TrendSample s;
    s.utcMs = t;
    s.address = address;
    s.model = 1;
    s.threshold1 = 1.5f;
    s.threshold2 = 1.5f;
    s.signal1 = float(0.3 + 0.05 * std::sin(double(t) / 40000.0));
    s.signal2 = float(0.4 + 0.05 * std::cos(double(t) / 30000.0));
    s.replyMs = int(4 + t % 7);
    return s;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[size_t(p * double(values.size() - 1))];
}

qint64 pagesUsed(const QString &path)
{
    TrendStore store(path, TrendStore::Mode::ReadOnly);
    store.open();
    return store.usedBytes();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    QDir(dir).mkpath(QStringLiteral("data"));

    // 1. The line's part: the time stamp, the reply time and one append.
    {
        SystemClock clock;
        TrendBuffer buffer;
        std::vector<TrendSample> taken;
        constexpr int N = 1000000;
        const auto start = Steady::now();
        for (int i = 0; i < N; ++i) {
            TrendSample s;
            s.utcMs = clock.nowUtcMs();
            s.replyMs = qint32(clock.tickMs());
            s.address = quint16(i);
            buffer.append(s);
            if (i % 10 == 9)
                buffer.takeInto(taken); // the recorder's flush, once a second at 10 replies a second
        }
        std::printf("line: %.3f us per recorded reply (clock read, sample, append)\n",
                    micros(Steady::now() - start) / N);
    }

    // 2. A batch a second: 10 replies (a second of the line), and 320.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const int size : {10, 320}) {
        QTemporaryDir scratch;
        TrendStore store(scratch.filePath(QStringLiteral("t.sqlite")));
        store.open();
        std::vector<double> costs;
        qint64 t = now - DayMs;
        for (int batch = 0; batch < 2000; ++batch) {
            std::vector<TrendSample> samples;
            for (int i = 0; i < size; ++i, t += 100)
                samples.push_back(sampleAt(t, quint16(1 + i % 32)));
            const auto start = Steady::now();
            if (!store.write(samples, t))
                std::printf("write failed: %s\n", qPrintable(store.errorText()));
            costs.push_back(micros(Steady::now() - start));
        }
        std::printf("store: batch of %d samples: median %.0f us, p99 %.0f us, max %.0f us\n", size,
                    percentile(costs, 0.5), percentile(costs, 0.99), percentile(costs, 1.0));
    }

    // 3. Seven days of one sensor at 32 sensors' density, written as the
    // recorder writes them (a batch a second of the line), retention on.
    const QString path = QDir(dir).filePath(QStringLiteral("data/trends.sqlite"));
    QFile::remove(path);
    const qint64 end = now;
    const qint64 begin = end - 7 * DayMs;
    {
        TrendStore store(path);
        store.open();
        std::vector<TrendSample> batch;
        const auto start = Steady::now();
        for (qint64 t = begin; t < end; t += PollMs) {
            TrendSample s = sampleAt(t, 2001);
            if (t >= end - DayMs / 2 && t < end - DayMs / 2 + PollMs)
                s.signal1 = 9.5f; // one spike in the week
            batch.push_back(s);
            if (batch.size() == 300) {
                store.write(batch, t);
                batch.clear();
            }
        }
        store.write(batch, end);
        std::printf("filled 7 days of one sensor in %.1f s\n", micros(Steady::now() - start) / 1e6);
    }
    TrendStore store(path, TrendStore::Mode::ReadOnly);
    store.open();
    const qint64 sensor = trendSensorKey(1, 2001);
    for (const auto &[name, span] : {std::pair{"24 h", DayMs}, std::pair{"7 days", 7 * DayMs}}) {
        std::vector<double> costs;
        size_t points = 0;
        bool spike = false;
        for (int run = 0; run < 5; ++run) {
            const auto start = Steady::now();
            const TrendView view = loadTrendView(store, sensor, end - span, end, end, Columns);
            costs.push_back(micros(Steady::now() - start) / 1000);
            points = view.series[TrendView::Signal1].size();
            spike = std::any_of(view.series[0].cbegin(), view.series[0].cend(),
                                [](const QPointF &p) { return p.y() > 9; });
        }
        std::printf("draw %s: read and reduce %.1f ms median (%zu points a series, %s, spike %s)\n", name,
                    percentile(costs, 0.5), points, span > 2 * DayMs ? "minutes" : "samples",
                    spike ? "kept" : "LOST");
    }

    // 4. Disk: one day of 32 sensors written as the line writes them (a reply
    // of each in turn, a batch a second), with and without the samples.
    {
        QTemporaryDir scratch;
        const QString day = scratch.filePath(QStringLiteral("d.sqlite"));
        {
            TrendStore all(day);
            all.open();
            std::vector<TrendSample> batch;
            for (qint64 t = end - DayMs; t < end; t += 100) {
                const qint64 turn = (t - (end - DayMs)) / 100 % 33; // 32 requests and one idle tick
                if (turn < 32)
                    batch.push_back(sampleAt(t, quint16(2001 + turn)));
                if (batch.size() == 10) {
                    all.write(batch, end);
                    batch.clear();
                }
            }
            all.write(batch, end);
        }
        const qint64 empty = [] {
            QTemporaryDir d;
            TrendStore none(d.filePath(QStringLiteral("e.sqlite")));
            none.open();
            return none.usedBytes();
        }();
        const qint64 full = pagesUsed(day);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
            db.setDatabaseName(day);
            db.open();
            QSqlQuery(db).exec(QStringLiteral("DELETE FROM samples"));
            QSqlQuery(db).exec(QStringLiteral("PRAGMA incremental_vacuum"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench"));
        const double minutes = double(pagesUsed(day) - empty) / 32;
        const double perSensor = double(full - empty) / 32;
        std::printf("disk per sensor per day (32 sensors): %.2f MB in all, %.2f MB samples, %.0f kB minutes "
                    "(a year of minutes: %.0f MB; 48 h and a year of 32 sensors: %.2f GB)\n",
                    perSensor / 1e6, (perSensor - minutes) / 1e6, minutes / 1e3, minutes * 366 / 1e6,
                    (2 * (perSensor - minutes) + 366 * minutes) * 32 / 1e9);
    }

    // 5. The event marks: an event file of 100,000 trend events (32.8 MB)
    // read whole, then one record appended and read again, and the marks of
    // a day reduced to the plot's columns.
    {
        QTemporaryDir scratch;
        const QString file = scratch.filePath(QStringLiteral("2001"));
        QByteArray bytes;
        for (int i = 0; i < 100000; ++i) {
            const EventRecord record = EventRecord::make(
                2001, toDayCount(QDateTime::fromMSecsSinceEpoch(end - DayMs + qint64(i) * 864)), i % 2 ? 32 : 33,
                QStringLiteral("Тревога шлейфа 1 датчика <Дорван-302ДК> № 2001"));
            bytes.append(reinterpret_cast<const char *>(&record), sizeof record);
        }
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.close();
        TrendMarkFile marks;
        auto start = Steady::now();
        marks.update(file);
        const double whole = micros(Steady::now() - start) / 1000;
        out.open(QIODevice::Append);
        out.write(bytes.left(sizeof(EventRecord)));
        out.close();
        start = Steady::now();
        marks.update(file);
        const double appended = micros(Steady::now() - start) / 1000;
        start = Steady::now();
        const std::vector<TrendMark> shown = reduceMarks(marks.marks(), end - DayMs, end + 1, Columns);
        const double reduced = micros(Steady::now() - start) / 1000;
        std::printf("event marks: 100,000 read in %.1f ms, one more in %.3f ms, a day reduced to %zu marks in %.1f ms\n",
                    whole, appended, shown.size(), reduced);
    }
    return 0;
}
