// The alarm states of the station, driven as a post drives them: trips and
// returns arriving as events and states, acknowledgements by an operator.
#include "stationrig.h"

#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

class TestStationAlarms : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::StationRig> rig;
    int record = 0;

    void step(const QString &what)
    {
        const QString id = QStringLiteral("06.12.2026#%1").arg(record);
        record += what == u"trip" || what == u"normal";
        if (what == u"trip")
            rig->feed({rig->event("post1", id, "alarm"), rig->state("post1", id, "alarm")});
        else if (what == u"normal")
            rig->feed({rig->event("post1", id, "normal"), rig->state("post1", id, "normal")});
        else if (what == u"confirm") // the retained state sent again after a reconnection
            rig->feed(rig->state("post1", QStringLiteral("06.12.2026#%1").arg(record - 1), "alarm"));
        else if (what == u"ack") {
            QString error;
            QVERIFY2(rig->station->acknowledge(rig->firstAlarmId(), QStringLiteral("проверено"), &error), qPrintable(error));
        }
    }

private slots:
    void init()
    {
        rig = std::make_unique<test::StationRig>();
        record = 0;
        QString error;
        QVERIFY(rig->operators.add(QStringLiteral("Иванов"), QStringLiteral("secret"), &error));
        QVERIFY(rig->start());
        QVERIFY(rig->station->signIn(QStringLiteral("Иванов"), QStringLiteral("secret"), &error));
    }

    void transitions_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("row"); // empty: the alarm left the list
        QTest::addColumn<bool>("heard");
        QTest::addColumn<int>("changes"); // rows in alarm_changes

        QTest::newRow("trip") << QStringList{"trip"} << "unacknowledged trip 0" << true << 1;
        QTest::newRow("acknowledged") << QStringList{"trip", "ack"} << "acknowledged trip 0" << false << 2;
        QTest::newRow("returned unacknowledged stays") << QStringList{"trip", "normal"} << "returned trip 0" << true << 2;
        QTest::newRow("returned then acknowledged clears") << QStringList{"trip", "normal", "ack"} << "" << false << 3;
        QTest::newRow("acknowledged then returned clears") << QStringList{"trip", "ack", "normal"} << "" << false << 3;
        QTest::newRow("trips again while open") << QStringList{"trip", "trip"} << "unacknowledged trip 1" << true << 2;
        QTest::newRow("acknowledged trips again") << QStringList{"trip", "ack", "trip"} << "unacknowledged trip 1" << true << 3;
        QTest::newRow("returned trips again") << QStringList{"trip", "normal", "trip"} << "unacknowledged trip 1" << true << 3;
        QTest::newRow("state confirmed is no repetition") << QStringList{"trip", "ack", "confirm"} << "acknowledged trip 0"
                                                          << false << 2;
        QTest::newRow("cleared trips anew") << QStringList{"trip", "ack", "normal", "trip"} << "unacknowledged trip 0"
                                            << true << 4;
    }
    void transitions()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, row);
        QFETCH(bool, heard);
        QFETCH(int, changes);

        for (const QString &what : steps)
            step(what);

        QCOMPARE(rig->alarmRows(), row.isEmpty() ? QStringList() : QStringList{row});
        QCOMPARE(rig->sound.playing, heard);
        QCOMPARE(rig->query("SELECT count(*) FROM alarm_changes").toInt(), changes);
        const bool blinking = rig->station->board().data(rig->station->board().index(0), BlinkRole).toBool();
        QCOMPARE(blinking, row.startsWith(u"unack") || row.startsWith(u"returned"));
    }

    void acknowledgementIsEvidence()
    {
        step("trip");
        rig->feed({rig->event("post2", "06.12.2026#0", "fault"), rig->event("post1", "06.12.2026#1", "fault", 1002, 0)});
        QString error;
        QVERIFY(rig->station->acknowledgePost(QStringLiteral("post1"), QStringLiteral("выехал наряд"), &error));
        QCOMPARE(rig->alarmRows(), (QStringList{"unacknowledged fault 0", "acknowledged trip 0", "acknowledged fault 0"}));
        QCOMPARE(rig->query("SELECT operator || '|' || station || '|' || comment FROM alarm_changes"
                            " WHERE to_state = 'acknowledged' LIMIT 1")
                     .toString(),
                 QStringLiteral("Иванов|duty-room|выехал наряд"));
        QCOMPARE(rig->query("SELECT group_concat(kind) FROM actions").toString(), QStringLiteral("sign_in,acknowledge"));

        rig->station->signOut();
        QVERIFY(!rig->station->acknowledge(rig->firstAlarmId(), {}, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(rig->alarmRows().first(), QStringLiteral("unacknowledged fault 0"));
    }

    void orderUnacknowledgedThenPriorityThenTime()
    {
        rig->feed(rig->event("post1", "06.12.2026#0", "fault", 1002, 0));
        rig->clock.advanceMs(1000);
        rig->feed(rig->event("post1", "06.12.2026#1", "alarm", 1001, 1));
        rig->clock.advanceMs(1000);
        rig->feed(rig->event("post1", "06.12.2026#2", "link_lost", 1003, 0));
        rig->clock.advanceMs(1000);
        rig->feed(rig->event("post2", "06.12.2026#0", "alarm", 2001, 2));
        QString error;
        QVERIFY(rig->station->acknowledge(rig->firstAlarmId(), {}, &error)); // post2's trip, the newest
        QCOMPARE(rig->alarmRows(), (QStringList{"unacknowledged trip 0", "unacknowledged link 0", "unacknowledged fault 0",
                                                "acknowledged trip 0"}));
    }

    void soundAndSilence()
    {
        rig->feed(rig->event("post1", "06.12.2026#0", "fault", 1002, 0));
        QCOMPARE(rig->sound.path, QStringLiteral("other.wav"));
        step("trip");
        QCOMPARE(rig->sound.path, QStringLiteral("trip.wav"));

        QString error;
        QVERIFY(rig->station->silence(&error));
        QVERIFY(!rig->sound.playing);
        QCOMPARE(rig->station->silenceLeftSeconds(), 60);
        rig->advance(30000);
        QVERIFY(!rig->sound.playing);
        QSignalSpy silenceChanges(rig->station.get(), &Station::silenceChanged);
        QSignalSpy newAlarms(rig->station.get(), &Station::newAlarm);
        step("trip"); // a new occurrence ends the silence
        QVERIFY(rig->sound.playing);
        QCOMPARE(silenceChanges.count(), 1); // the window's countdown learns it at once
        QCOMPARE(newAlarms.count(), 1);
        QCOMPARE(rig->station->silenceLeftSeconds(), 0);

        QVERIFY(rig->station->silence(&error));
        rig->advance(60000);
        QVERIFY(rig->sound.playing);
        QCOMPARE(rig->query("SELECT count(*) FROM actions WHERE kind = 'silence'").toInt(), 2);
    }

    void openAlarmsComeBackAfterRestart()
    {
        step("trip");
        step("ack");
        rig->feed(rig->event("post1", "06.12.2026#1", "fault", 1002, 0));
        record = 2;
        const QStringList before = rig->alarmRows();
        rig->restart();
        QCOMPARE(rig->alarmRows(), before);
        QVERIFY(rig->sound.playing);
        step("normal"); // the restored alarm goes on through its states
        QCOMPARE(rig->alarmRows(), QStringList{"unacknowledged fault 0"});
    }
};

QTEST_GUILESS_MAIN(TestStationAlarms)
#include "test_station_alarms.moc"
