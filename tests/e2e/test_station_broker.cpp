// dorvan-station against a real mosquitto, the real uplink and, for a trip,
// the real console on the simulator: what reaches the journal and the alarm
// list, a frozen uplink becoming stale and then offline, and a station killed
// and started again getting what was published meanwhile, once.

#include "stationrun.h"

#include <QElapsedTimer>

#include <csignal>

using namespace dorvan;
using namespace dorvan::e2e;

namespace {

const QString site = QStringLiteral("post1");

} // namespace

class TestStationBroker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char *name : {"mosquitto", "mosquitto_sub"})
            QVERIFY2(!program(QString::fromLatin1(name)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing: run scripts/install-deps.sh").arg(QString::fromLatin1(name))));
    }

    // A loop tripped at the simulator: the console records it, the uplink
    // publishes it, the station journals it and opens an unacknowledged trip.
    void tripReachesTheJournalAndTheList()
    {
        ConsoleRun run;
        run.storeSensors({Stored{1001, 0, true, true}});
        QVERIFY(run.startSimulator({QStringLiteral("1001:0")}));
        QVERIFY(run.startConsole());
        Broker broker(run.path());
        QVERIFY(broker.start());
        QTemporaryDir data;
        StationProcess station(data.path());
        QVERIFY(station.start(broker.port()));
        UplinkProcess uplink;
        QVERIFY(uplink.start(uplinkArguments(run.path(), broker.port(), site)));
        QVERIFY2(waitUntil([&] { return station.count(QStringLiteral("site = 'post1'"), QStringLiteral("posts")) > 0; }, 20000),
                 station.log().constData());

        QElapsedTimer tripped;
        tripped.start();
        run.simCommand(QStringLiteral("trip 1001 1"));
        QVERIFY2(waitUntil([&] { return station.alarmOpen(site, QStringLiteral("trip")); }, 15000), station.log().constData());
        qInfo("trip at the simulator to an open alarm in the station's journal: %lld ms", tripped.elapsed());
        QCOMPARE(station.count(QStringLiteral("site = 'post1' AND code = 33 AND address = 1001")), 1);
        QCOMPARE(station.value(QStringLiteral("SELECT state FROM alarms WHERE kind = 'trip'")).toString(),
                 QStringLiteral("unacknowledged"));
        QCOMPARE(station.value(QStringLiteral("SELECT address FROM alarms WHERE kind = 'trip'")).toInt(), 1001);
    }

    // An uplink frozen with SIGSTOP: no renewal for twice its interval makes
    // the post stale; the broker's last will after one and a half keep-alives
    // makes it offline.
    void frozenUplinkBecomesStaleThenOffline()
    {
        test::WorkDir dir;
        append(dailyFile(dir), tripsAndReturns(1001, 0, 2));
        Broker broker(dir.path());
        QVERIFY(broker.start());
        QTemporaryDir data;
        StationProcess station(data.path());
        QVERIFY(station.start(broker.port()));
        UplinkProcess uplink;
        QVERIFY(uplink.start(uplinkArguments(dir.path(), broker.port(), site,
                                             {QStringLiteral("--from-start"), QStringLiteral("--heartbeat"), QStringLiteral("5"),
                                              QStringLiteral("--keepalive"), QStringLiteral("20")})));
        QVERIFY2(waitUntil([&] { return station.count(QStringLiteral("site = 'post1' AND status = 'online'"), QStringLiteral("posts")) > 0; },
                           20000),
                 station.log().constData());
        QVERIFY(!station.alarmOpen(site, QStringLiteral("stale")));

        QElapsedTimer frozen;
        frozen.start();
        uplink.pause();
        QVERIFY2(waitUntil([&] { return station.alarmOpen(site, QStringLiteral("stale")); }, 20000), station.log().constData());
        const qint64 staleAfter = frozen.elapsed();
        QVERIFY(waitUntil([&] { return station.alarmOpen(site, QStringLiteral("offline")); }, 45000));
        const qint64 offlineAfter = frozen.elapsed();
        qInfo("a frozen uplink (interval 5 s, keep-alive 20 s): stale after %lld ms, offline after %lld ms", staleAfter,
              offlineAfter);
        // Twice the interval after the last renewal, which came at most one
        // interval before the freeze; the will after 30 s.
        QVERIFY2(staleAfter >= 5000 && staleAfter <= 13000, qPrintable(QString::number(staleAfter)));
        QVERIFY2(offlineAfter >= 25000 && offlineAfter <= 40000, qPrintable(QString::number(offlineAfter)));

        // Alive again: both return, and stay in the list until acknowledged.
        uplink.resume();
        const auto returned = [&](const char *kind) {
            return station.value(QStringLiteral("SELECT state FROM alarms WHERE kind = '%1'").arg(QLatin1String(kind))).toString()
                   == QLatin1String("returned");
        };
        QVERIFY(waitUntil([&] { return returned("stale") && returned("offline"); }, 40000));
        QVERIFY(uplink.terminate());
    }

    // The station killed while the post goes on: its persistent session
    // keeps what is published meanwhile, and the station started again
    // journals each record once, the repetitions of the trip counted once.
    void restartedStationGetsTheBacklogOnce()
    {
        test::WorkDir dir;
        append(dailyFile(dir), tripsAndReturns(1001, 0, 10));
        Broker broker(dir.path());
        QVERIFY(broker.start());
        QTemporaryDir data;
        Subscriber subscriber;
        QVERIFY(subscriber.start(broker.port()));
        auto station = std::make_unique<StationProcess>(data.path());
        QVERIFY(station->start(broker.port()));
        UplinkProcess uplink;
        QVERIFY(uplink.start(uplinkArguments(dir.path(), broker.port(), site, {QStringLiteral("--from-start")})));
        QVERIFY2(waitUntil([&] { return station->count(QStringLiteral("site = 'post1'")) >= 10; }, 20000),
                 station->log().constData());
        QCOMPARE(station->count(QStringLiteral("site = 'post1'")), 10);
        const QString trip = QStringLiteral("SELECT repeats FROM alarms WHERE kind = 'trip' AND address = 1001");
        QVERIFY(waitUntil([&] { return station->value(trip).isValid(); }, 5000));
        const int repeatsBefore = station->value(trip).toInt();

        station->kill();
        append(dailyFile(dir), tripsAndReturns(1001, 10, 20));
        QVERIFY(waitUntil([&] { return subscriber.on(QStringLiteral("dorvan/post1/event")).size() >= 30; }, 20000));

        station = std::make_unique<StationProcess>(data.path());
        QVERIFY(station->start(broker.port()));
        QVERIFY2(waitUntil([&] { return station->count(QStringLiteral("site = 'post1'")) >= 30; }, 20000),
                 station->log().constData());
        QCOMPARE(station->count(QStringLiteral("site = 'post1'")), 30);
        QCOMPARE(station->value(trip).toInt(), repeatsBefore + 10);
        QCOMPARE(station->count(QStringLiteral("site = 'post1' AND closed IS NULL"), QStringLiteral("gaps")), 0);
        QVERIFY(uplink.terminate());
    }
};

QTEST_GUILESS_MAIN(TestStationBroker)
#include "test_station_broker.moc"
