// What arrives from the posts: stored once, gaps in a post's daily files
// found and closed, stale states and garbage kept out, the journal's
// evidence unchangeable.
#include "logcapture.h"
#include "stationrig.h"

#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

class TestStationIntake : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::StationRig> rig;

    void feedIds(const QStringList &ids)
    {
        for (const QString &id : ids)
            rig->feed(rig->event("post1", id, "system", 0, 0));
    }
    // The open gaps as "day:first-last", in order.
    QString openGaps() const
    {
        return rig->query("SELECT group_concat(day || ':' || first || '-' || last, ' ') FROM"
                          " (SELECT * FROM gaps WHERE closed IS NULL ORDER BY day, first)")
            .toString();
    }
    QString gapAlarm() const
    {
        return rig->query("SELECT state FROM alarms WHERE kind = 'gap' ORDER BY id DESC LIMIT 1").toString();
    }

private slots:
    void init()
    {
        rig = std::make_unique<test::StationRig>();
        QVERIFY(rig->start());
    }

    void gaps_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("open");
        QTest::addColumn<QString>("alarm"); // the gap alarm's state, empty: none raised

        QTest::newRow("in order") << QStringList{"08.12.2026#0", "08.12.2026#1", "08.12.2026#2"} << "" << "";
        QTest::newRow("first heard mid-file") << QStringList{"08.12.2026#16", "08.12.2026#17"} << "" << "";
        QTest::newRow("two missing") << QStringList{"08.12.2026#0", "08.12.2026#3"} << "2026-12-08:1-2" << "unacknowledged";
        QTest::newRow("missing ones arrive")
            << QStringList{"08.12.2026#0", "08.12.2026#3", "08.12.2026#2", "08.12.2026#1"} << "" << "returned";
        QTest::newRow("one of them arrives")
            << QStringList{"08.12.2026#0", "08.12.2026#4", "08.12.2026#2"} << "2026-12-08:1-1 2026-12-08:3-3"
            << "unacknowledged";
        QTest::newRow("across midnight") << QStringList{"08.12.2026#5", "09.12.2026#0", "09.12.2026#1"} << "" << "";
        QTest::newRow("midnight's first records lost")
            << QStringList{"08.12.2026#5", "09.12.2026#2"} << "2026-12-09:0-1" << "unacknowledged";
        QTest::newRow("an earlier day out of order")
            << QStringList{"09.12.2026#3", "08.12.2026#7", "08.12.2026#8", "09.12.2026#4"} << "" << "";
        QTest::newRow("an earlier day with a gap of its own")
            << QStringList{"09.12.2026#3", "08.12.2026#7", "08.12.2026#9"} << "2026-12-08:8-8" << "unacknowledged";
    }
    void gaps()
    {
        QFETCH(QStringList, ids);
        QFETCH(QString, open);
        QFETCH(QString, alarm);
        feedIds(ids);
        QCOMPARE(openGaps(), open);
        QCOMPARE(gapAlarm(), alarm);
    }

    void gapsAcrossARestart()
    {
        feedIds({"08.12.2026#0", "08.12.2026#1", "08.12.2026#2"});
        rig->restart();
        feedIds({"08.12.2026#2", "08.12.2026#5"});
        QCOMPARE(openGaps(), QStringLiteral("2026-12-08:3-4"));
        QCOMPARE(rig->query("SELECT count(*) FROM events").toInt(), 4);
        rig->restart();
        feedIds({"08.12.2026#3", "08.12.2026#4"});
        QCOMPARE(openGaps(), QString());
        QCOMPARE(gapAlarm(), QStringLiteral("returned"));
    }

    void duplicatesAreDropped()
    {
        const mqtt::Received trip = rig->event("post1", "08.12.2026#0", "alarm");
        rig->feed({trip, trip});
        rig->feed(trip);
        QCOMPARE(rig->query("SELECT count(*) FROM events").toInt(), 1);
        QCOMPARE(rig->alarmRows(), QStringList{"unacknowledged trip 0"}); // no repetition counted
        rig->feed(rig->event("post2", "08.12.2026#0", "alarm")); // the same id of another post
        QCOMPARE(rig->query("SELECT count(*) FROM events").toInt(), 2);
    }

    void anOlderStateIsIgnored()
    {
        // A broker restarted from its persistence serves the state after #28 after the one after #33.
        rig->feed(rig->state("post1", "08.12.2026#33", "alarm"));
        rig->feed(rig->state("post1", "08.12.2026#28", "normal"));
        QCOMPARE(rig->query("SELECT event || ' ' || loop1 FROM sensors").toString(), QStringLiteral("08.12.2026#33 alarm"));
        QCOMPARE(rig->alarmRows(), QStringList{"unacknowledged trip 0"});
        rig->feed(rig->state("post1", "07.12.2026#40", "normal")); // an earlier day is older too
        rig->feed(rig->state("post1", "08.12.2026#34", "normal"));
        QCOMPARE(rig->alarmRows(), QStringList{"returned trip 0"});
    }

    void aDisconnectedSensorLeaves()
    {
        rig->feed(rig->state("post1", "08.12.2026#3", "alarm"));
        rig->station->sensors().showPost(QStringLiteral("post1"));
        QCOMPARE(rig->station->sensors().rowCount(), 1);
        rig->feed(test::StationRig::message("post1", "sensor/1001/state", {}, true));
        QCOMPARE(rig->station->sensors().rowCount(), 0);
        QCOMPARE(rig->query("SELECT count(*) FROM sensors").toInt(), 0);
        QCOMPARE(rig->alarmRows(), QStringList{"returned trip 0"});
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");

        const QByteArray event = R"({"id":"08.12.2026#1","site":"post1","time":"2026-12-08T05:33:58.346+00:00","code":33,)"
                                 R"("kind":"alarm","model":null,"address":1001,"loop":1,"text":"x"})";
        QTest::newRow("not JSON") << "dorvan/post1/event" << QByteArray("{\"id\":");
        QTest::newRow("an array") << "dorvan/post1/event" << QByteArray("[1,2]");
        QTest::newRow("code as text") << "dorvan/post1/event" << QByteArray(event).replace("33", "\"33\"");
        QTest::newRow("bad id") << "dorvan/post1/event" << QByteArray(event).replace("08.12.2026#1", "31.02.2026#1");
        QTest::newRow("another post's site") << "dorvan/post2/event" << event;
        QTest::newRow("1 MB") << "dorvan/post1/event" << QByteArray(1 << 20, ' ');
        QTest::newRow("odd characters in the site") << "dorvan/po\x01st/status" << QByteArray("offline");
        QTest::newRow("not a post's topic") << "dorvan/post1/sensor/abc/state" << QByteArray("{}");
        QTest::newRow("sensor address 0") << "dorvan/post1/sensor/0/state" << QByteArray("{}");
        QTest::newRow("state without its fields") << "dorvan/post1/sensor/1001/state" << QByteArray(R"({"site":"post1"})");
        QTest::newRow("interval out of range")
            << "dorvan/post1/status" << QByteArray(R"({"state":"online","time":"2026-12-08T05:33:58Z","interval":-3})");
        QTest::newRow("offline from a post never heard") << "dorvan/post9/status" << QByteArray("offline");
    }
    void badInput()
    {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        test::LogCapture log;
        rig->feed({{topic, payload, false, 1}, {topic, payload, false, 1}});
        QCOMPARE(rig->station->badInputCount(), 2);
        QCOMPARE(log.linesWith({"ignored a message"}).size(), 1);
        QCOMPARE(rig->station->board().rowCount(), 0);
        QCOMPARE(rig->query("SELECT (SELECT count(*) FROM events) + (SELECT count(*) FROM sensors)").toInt(), 0);
    }

    void evidenceCannotBeChanged_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("update an action") << "UPDATE actions SET operator = 'someone else'";
        QTest::newRow("delete an action") << "DELETE FROM actions";
        QTest::newRow("update an alarm change") << "UPDATE alarm_changes SET to_state = 'normal'";
        QTest::newRow("delete an alarm change") << "DELETE FROM alarm_changes";
        QTest::newRow("update an event") << "UPDATE events SET kind = 'normal'";
    }
    void evidenceCannotBeChanged()
    {
        QFETCH(QString, statement);
        QString error;
        QVERIFY(rig->operators.add(QStringLiteral("petrov"), QStringLiteral("pw"), &error));
        QVERIFY(rig->station->signIn(QStringLiteral("petrov"), QStringLiteral("pw"), &error));
        rig->feed(rig->event("post1", "08.12.2026#0", "alarm"));
        QVERIFY(rig->station->acknowledge(rig->firstAlarmId(), {}, &error));

        QVERIFY(rig->query(statement).toString().startsWith(u"error:"));
        QCOMPARE(rig->query("SELECT count(*) FROM actions").toInt(), 2);
        QCOMPARE(rig->query("SELECT count(*) FROM alarm_changes WHERE to_state = 'acknowledged'").toInt(), 1);
        QCOMPARE(rig->query("SELECT kind FROM events").toString(), QStringLiteral("alarm"));
    }

    void startsFromTheJournalsState()
    {
        rig->feed({rig->status("post2"), rig->status("post10"), rig->state("post2", "08.12.2026#3", "normal", "alarm"),
                   rig->state("post2", "08.12.2026#4", "normal", "normal", "lost", {}, 1002)});
        rig->restart();
        const BoardModel &board = rig->station->board();
        QCOMPARE(board.rowCount(), 2);
        QCOMPARE(board.data(board.index(0), KeyRole).toString(), QStringLiteral("post2")); // before post10
        QCOMPARE(board.data(board.index(0), AlarmCountRole).toInt(), 1);
        QCOMPARE(board.data(board.index(0), NoLinkCountRole).toInt(), 1);
        QCOMPARE(board.data(board.index(0), ToneRole).toInt(), int(Tone::Alarm));
        QCOMPARE(rig->alarmRows(), (QStringList{"unacknowledged trip 0", "unacknowledged link 0"}));
    }
};

QTEST_GUILESS_MAIN(TestStationIntake)
#include "test_station_intake.moc"
