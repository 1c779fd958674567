// Is the post alive? Staleness on the station's two clocks, offline, the
// console's layers, the clock skew and the station's own broker connection,
// judged with a fake clock.
#include "stationrig.h"

#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

class TestStationLiveness : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::StationRig> rig;

    QVariant tile(const QString &site, int role) const
    {
        const BoardModel &board = rig->station->board();
        return board.data(board.index(board.rowOf(site)), role);
    }
    QString openKinds() const
    {
        QStringList kinds;
        AlarmListModel &list = rig->station->alarmList();
        for (int row = 0; row < list.rowCount(); ++row) {
            if (isActive(list.at(row).state))
                kinds.append(kindName(list.at(row).kind));
        }
        kinds.sort();
        return kinds.join(u' ');
    }

private slots:
    void init()
    {
        rig = std::make_unique<test::StationRig>();
        QVERIFY(rig->start());
    }

    void staleness_data()
    {
        QTest::addColumn<qint64>("postClockMs"); // the status's time against the station's clock
        QTest::addColumn<bool>("retained");
        QTest::addColumn<qint64>("waitMs");      // then no renewal for this long
        QTest::addColumn<bool>("stale");

        QTest::newRow("renewed, within twice the interval") << qint64(0) << false << qint64(59000) << false;
        QTest::newRow("no renewal for twice the interval") << qint64(0) << false << qint64(61000) << true;
        QTest::newRow("a retained status of two minutes ago") << qint64(-120000) << true << qint64(0) << true;
        QTest::newRow("a fresh retained status never renewed") << qint64(-1000) << true << qint64(61000) << true;
        QTest::newRow("time older than twice the interval") << qint64(-61000) << false << qint64(0) << true;
        QTest::newRow("post's clock a little behind") << qint64(-20000) << false << qint64(30000) << false;
    }
    void staleness()
    {
        QFETCH(qint64, postClockMs);
        QFETCH(bool, retained);
        QFETCH(qint64, waitMs);
        QFETCH(bool, stale);

        rig->feed(rig->status("post1", postClockMs, 30, retained));
        rig->advance(waitMs);
        QCOMPARE(openKinds().contains(u"stale"), stale);
        QCOMPARE(tile("post1", ToneRole).toInt(), int(stale ? Tone::Stale : Tone::Normal));
        QCOMPARE(tile("post1", StateTextRole).toString(), stale ? QStringLiteral("устарел") : QStringLiteral("на связи"));
    }

    void aRenewalEndsStaleness()
    {
        rig->feed(rig->status("post1"));
        rig->advance(61000);
        rig->feed(rig->status("post1"));
        rig->advance(1000);
        QCOMPARE(openKinds(), QString());
        QCOMPARE(rig->alarmRows(), QStringList{"returned stale 0"});
        QCOMPARE(tile("post1", StatusAgeRole).toInt(), 1);
    }

    void offlineAtOnce()
    {
        rig->feed(rig->status("post1"));
        rig->feed(test::StationRig::message("post1", "status", "offline", true));
        QCOMPARE(openKinds(), QStringLiteral("offline"));
        rig->advance(120000);
        QCOMPARE(openKinds(), QStringLiteral("offline")); // not stale as well
        QCOMPARE(tile("post1", ToneRole).toInt(), int(Tone::Offline));
    }

    void consoleLayers_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("alarms");
        QTest::addColumn<int>("tone");

        QTest::newRow("running") << true << "running" << "" << int(Tone::Normal);
        QTest::newRow("not running") << false << "stopped" << "console" << int(Tone::Fault);
        QTest::newRow("line stopped") << true << "stopped" << "line" << int(Tone::Fault);
        QTest::newRow("an older console: line unknown") << true << "unknown" << "" << int(Tone::Normal);
    }
    void consoleLayers()
    {
        QFETCH(bool, running);
        QFETCH(QString, line);
        QFETCH(QString, alarms);
        QFETCH(int, tone);
        rig->feed({rig->status("post1"), rig->console("post1", running, line)});
        QCOMPARE(openKinds(), alarms);
        QCOMPARE(tile("post1", ToneRole).toInt(), tone);
        rig->feed(rig->console("post1", true, "running"));
        QCOMPARE(openKinds(), QString());
    }

    void clockSkewNeedsTwoStatusesThatAgree()
    {
        // A backlog delivered at once: old statuses whose offsets differ by their interval.
        rig->feed({rig->status("post1", -50000), rig->status("post1", -20000)});
        QCOMPARE(openKinds(), QString());
        // The same behind a cut bridge with the shortest heartbeat: five seconds apart.
        rig->feed({rig->status("post2", -20000, 5), rig->status("post2", -15000, 5), rig->status("post2", -10000, 5)});
        for (int row = 0; row < rig->station->alarmList().rowCount(); ++row)
            QVERIFY(rig->station->alarmList().at(row).kind != AlarmKind::ClockSkew);
        rig->clock.advanceMs(30000);
        rig->feed(rig->status("post1", 45000));
        rig->clock.advanceMs(30000);
        rig->feed(rig->status("post1", 45000));
        QCOMPARE(openKinds(), QStringLiteral("clock"));
        rig->clock.advanceMs(30000);
        rig->feed(rig->status("post1", 1000));
        QCOMPARE(openKinds(), QString());
    }

    void brokerLostShowsEveryPostUnknown()
    {
        rig->feed({rig->status("post1"), rig->status("post2"), rig->state("post1", "08.12.2026#1", "alarm")});
        rig->station->setBrokerConnected(false, QStringLiteral("connection to localhost:1883 lost"));
        for (const char *site : {"post1", "post2"}) {
            QCOMPARE(tile(site, ToneRole).toInt(), int(Tone::Unknown));
            QCOMPARE(tile(site, StateTextRole).toString(), QStringLiteral("неизвестно"));
        }
        QVERIFY(rig->station->brokerLostSince().isValid());
        rig->advance(300000); // its own outage makes no post stale
        QCOMPARE(openKinds(), QStringLiteral("broker trip"));

        rig->station->setBrokerConnected(true);
        QVERIFY(rig->station->brokerProblem().isEmpty());
        QCOMPARE(openKinds(), QStringLiteral("trip"));
        rig->advance(45000);
        rig->feed(rig->status("post1"));
        rig->advance(20000); // post2 was not heard again within twice its interval of the reconnection
        QCOMPARE(tile("post2", ToneRole).toInt(), int(Tone::Stale));
        QCOMPARE(tile("post1", ToneRole).toInt(), int(Tone::Alarm));
    }

    void sensorLinkLost()
    {
        rig->feed({rig->status("post1"), rig->state("post1", "08.12.2026#1", "normal", "normal", "lost")});
        QCOMPARE(openKinds(), QStringLiteral("link"));
        QCOMPARE(tile("post1", NoLinkCountRole).toInt(), 1);
        QCOMPARE(tile("post1", ToneRole).toInt(), int(Tone::NoLink));
    }
};

QTEST_GUILESS_MAIN(TestStationLiveness)
#include "test_station_liveness.moc"
