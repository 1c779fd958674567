// Fills a console's working directory with what the Signals page is measured
// on: a 7-day trend store of 32 sensors (1001-1016 of the 301, 2001-2016 of
// the 302) in the store's own schema, and an event file of 302 № 2001 with
// 100,000 trips and returns in its last 24 hours (32.8 MB).
//
//   make_trend_fixture DIR      (DIR made by dorvan-sim --make-demo)
//
// Samples cover the last 48 hours at 32 sensors' rate (a reply every 3.3 s),
// written through TrendStore as the recorder writes them; minutes cover the
// seven days, the older five days inserted straight into the minutes table.
// Sensor 2001 has two hours without data 30 hours ago and one spike.
#include "base/daycount.h"
#include "events/eventrecord.h"
#include "trends/trendstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <cstdio>

using namespace dorvan;

namespace {

constexpr qint64 PollMs = 3300;
constexpr qint64 HourMs = 3600LL * 1000;
constexpr qint64 DayMs = 24 * HourMs;

struct Sensor
{
    quint16 address;
    quint8 model;
};

double signalAt(qint64 t, int sensor, int loop)
{
    return 0.35 + 0.08 * std::sin(double(t) / (600000.0 + 7000.0 * sensor) + loop) +
           0.03 * std::sin(double(t) / 17000.0);
}

bool inGap(const Sensor &s, qint64 t, qint64 now)
{
    return s.address == 2001 && t >= now - 30 * HourMs && t < now - 28 * HourMs;
}

bool writeSamples(const QString &path, const std::vector<Sensor> &sensors, qint64 now)
{
    TrendStore store(path);
    if (!store.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
        return false;
    }
    std::vector<TrendSample> batch;
    for (qint64 t = now - 48 * HourMs + 60000; t < now; t += PollMs) {
        for (size_t i = 0; i < sensors.size(); ++i) {
            const Sensor &s = sensors[i];
            if (inGap(s, t, now))
                continue;
            TrendSample sample;
            sample.utcMs = t + qint64(i) * 100;
            sample.address = s.address;
            sample.model = s.model;
            sample.threshold1 = sample.threshold2 = 1.5f;
            sample.signal1 = float(signalAt(t, int(i), 0));
            sample.signal2 = float(signalAt(t, int(i), 1));
            if (s.address == 2001 && std::llabs(t - (now - 5 * HourMs)) < PollMs / 2)
                sample.signal1 = 1.9f;
            sample.replyMs = int(4 + (t / PollMs) % 7);
            sample.timeout = (t / PollMs + qint64(i)) % 500 == 0;
            batch.push_back(sample);
        }
        if (batch.size() >= 3200) {
            if (!store.write(batch, now)) {
                std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
                return false;
            }
            batch.clear();
        }
    }
    return store.write(batch, now);
}

bool writeOlderMinutes(const QString &path, const std::vector<Sensor> &sensors, qint64 now)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
    db.setDatabaseName(path);
    if (!db.open())
        return false;
    QSqlQuery query(db);
    query.exec(QStringLiteral("BEGIN"));
    query.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO minutes (sensor, minute, n, timeouts, s1min, s1sum, s1max, s2min, s2sum, s2max, "
        "th1min, th1sum, th1max, th2min, th2sum, th2max, rmin, rsum, rmax) "
        "VALUES (?, ?, 18, 0, ?, ?, ?, ?, ?, ?, 1.5, 27, 1.5, 1.5, 27, 1.5, 4, 126, 10)"));
    const qint64 firstMinute = (now - 7 * DayMs) / 60000;
    const qint64 lastMinute = (now - 48 * HourMs) / 60000 + 1;
    for (size_t i = 0; i < sensors.size(); ++i) {
        const qint64 key = trendSensorKey(sensors[i].model, sensors[i].address);
        for (qint64 m = firstMinute; m < lastMinute; ++m) {
            const qint64 t = m * 60000;
            const double a = signalAt(t, int(i), 0), b = signalAt(t, int(i), 1);
            query.addBindValue(key);
            query.addBindValue(m);
            for (const double v : {a, b}) {
                query.addBindValue(v - 0.03);
                query.addBindValue(v * 18);
                query.addBindValue(v + 0.03);
            }
            if (!query.exec())
                return false;
        }
        QSqlQuery(db).exec(QStringLiteral("INSERT OR IGNORE INTO sensors (sensor) VALUES (%1)").arg(key));
    }
    QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    db.close();
    return true;
}

bool writeEventFile(const QString &path, qint64 now)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    constexpr int Records = 100000;
    QByteArray bytes;
    bytes.reserve(Records * int(sizeof(EventRecord)));
    for (int i = 0; i < Records; ++i) {
        const qint64 t = now - DayMs + qint64(i) * (DayMs - 60000) / Records;
        const bool trip = i % 2 == 0;
        const EventRecord record = EventRecord::make(
            2001, toDayCount(QDateTime::fromMSecsSinceEpoch(t)), trip ? 33 : 32,
            trip ? QStringLiteral("Тревога шлейфа 1 датчика <Дорван-302ДК> № 2001")
                 : QStringLiteral("Восстановление связи с датчиком <Дорван-302ДК> № 2001"));
        bytes.append(reinterpret_cast<const char *>(&record), sizeof record);
    }
    return file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_trend_fixture DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    std::vector<Sensor> sensors;
    for (quint16 a = 1; a <= 16; ++a) {
        sensors.push_back({quint16(1000 + a), 0});
        sensors.push_back({quint16(2000 + a), 1});
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QString store = dir.filePath(QStringLiteral("data/trends.sqlite"));
    QFile::remove(store);
    if (!writeSamples(store, sensors, now) || !writeOlderMinutes(store, sensors, now)) {
        std::fprintf(stderr, "cannot fill %s\n", qPrintable(store));
        return 1;
    }
    if (!writeEventFile(dir.filePath(QStringLiteral("Dorvan302DK_mess/2001")), now)) {
        std::fprintf(stderr, "cannot write the event file\n");
        return 1;
    }
    std::printf("store %.1f MB, event file %.1f MB\n", double(QFileInfo(store).size()) / 1e6,
                double(QFileInfo(dir.filePath(QStringLiteral("Dorvan302DK_mess/2001"))).size()) / 1e6);
    return 0;
}
