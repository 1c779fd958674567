// What operators do at one desk of a centre: sensors and posts taken out of
// service, and the actions the centre's stations share, taken over at
// another desk once each whatever their order, repetition or delay.
#include "station/stationconfig.h"
#include "stationrig.h"

#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

namespace {

const QString post = QStringLiteral("post1");
const QString sharedKinds = QStringLiteral("kind NOT IN ('sign_in', 'sign_out', 'silence', 'escalate')");

// A station of the centre with its operator signed in.
std::unique_ptr<test::StationRig> desk(const QString &name)
{
    auto rig = std::make_unique<test::StationRig>();
    rig->settings.stationName = name;
    QString error;
    if (!rig->operators.add(QStringLiteral("Оператор ") + name, QStringLiteral("secret"), &error) || !rig->start()
        || !rig->station->signIn(QStringLiteral("Оператор ") + name, QStringLiteral("secret"), &error))
        qFatal("the desk %s does not start: %s", qPrintable(name), qPrintable(error));
    return rig;
}

// The desk's actions as the broker brings them to the others.
QList<mqtt::Received> actionsOf(test::StationRig &from)
{
    QList<mqtt::Received> messages;
    for (const OutboxEntry &entry : from.station->outbox())
        messages.append({centreActionsTopic(from.settings.centreTopic), entry.payload, false, 1});
    return messages;
}

QString tileTone(test::StationRig &rig)
{
    static const char *const names[] = {"normal", "alarm", "fault", "nolink", "unknown", "offline", "stale", "out"};
    const PostView *view = rig.station->board().post(post);
    return view ? QString::fromLatin1(names[int(view->tone)]) : QStringLiteral("none");
}

} // namespace

class TestStationCentre : public QObject
{
    Q_OBJECT

private:
    int record = 0;

    void trip(test::StationRig &rig, int address = 1001)
    {
        const QString id = QStringLiteral("06.12.2026#%1").arg(record++);
        rig.feed({rig.event(post, id, "alarm", address), rig.state(post, id, "alarm", "normal", "up", {}, address)});
    }

    void outOfServiceStep(test::StationRig &rig, const QString &what)
    {
        QString error;
        if (what == u"status") {
            rig.feed({rig.status(post), rig.state(post, "06.12.2026#0", "normal", "normal", "up", {}, 1001),
                      rig.state(post, "06.12.2026#0", "normal", "normal", "up", {}, 1002)});
        } else if (what == u"trip") {
            trip(rig);
        } else if (what == u"sensor out") {
            QVERIFY2(rig.station->takeOutOfService(post, 1001, QStringLiteral("замена датчика"), &error), qPrintable(error));
        } else if (what == u"other out") {
            QVERIFY2(rig.station->takeOutOfService(post, 1002, QStringLiteral("замена"), &error), qPrintable(error));
        } else if (what == u"post out") {
            QVERIFY2(rig.station->takeOutOfService(post, -1, QStringLiteral("ремонт поста"), &error), qPrintable(error));
        } else if (what == u"back") {
            QVERIFY(rig.station->outOfService().rowCount() > 0);
            QVERIFY2(rig.station->returnToService(rig.station->outOfService().at(0).id, &error), qPrintable(error));
        } else if (what == u"silent") {
            rig.advance(2 * 60 * 1000);
        } else if (what == u"restart") {
            rig.restart();
        } else {
            QFAIL(qPrintable(what));
        }
    }

private slots:
    void init() { record = 1; }

    void outOfService_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("alarms"); // as the list shows them
        QTest::addColumn<bool>("heard");
        QTest::addColumn<QString>("tone");

        QTest::newRow("a sensor out trips unheard, the post is not healthy")
            << QStringList{"status", "sensor out", "trip"} << QStringList{} << false << "out";
        QTest::newRow("every sensor out: shown as out")
            << QStringList{"status", "sensor out", "other out", "trip"} << QStringList{} << false << "out";
        QTest::newRow("back in service with its loop still in alarm")
            << QStringList{"status", "sensor out", "trip", "back"} << QStringList{"unacknowledged trip 0"} << true << "alarm";
        QTest::newRow("every sensor out, a silent post is still stale")
            << QStringList{"status", "sensor out", "other out", "silent"} << QStringList{"unacknowledged stale 0"} << true
            << "stale";
        QTest::newRow("the whole post out: nothing of it raised")
            << QStringList{"status", "post out", "trip", "silent"} << QStringList{} << false << "out";
        QTest::newRow("the post back, still silent")
            << QStringList{"status", "post out", "silent", "back"} << QStringList{"unacknowledged stale 0"} << true << "stale";
        QTest::newRow("still out after a restart")
            << QStringList{"status", "sensor out", "restart", "trip"} << QStringList{} << false << "out";
    }
    void outOfService()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, alarms);
        QFETCH(bool, heard);
        QFETCH(QString, tone);

        auto rig = desk(QStringLiteral("A"));
        for (const QString &step : steps)
            outOfServiceStep(*rig, step);
        QCOMPARE(rig->alarmRows(), alarms);
        QCOMPARE(rig->sound.playing, heard);
        QCOMPARE(tileTone(*rig), tone);
        // Whatever is out, what the post sends is evidence.
        QCOMPARE(rig->query("SELECT count(*) FROM events").toInt(), int(steps.count(QStringLiteral("trip"))));
        QVERIFY(rig->station->board().post(post)->stateText.size() > 0);
    }

    void outOfServiceRefusals()
    {
        auto rig = desk(QStringLiteral("A"));
        outOfServiceStep(*rig, "status");
        QString error;
        QVERIFY(!rig->station->takeOutOfService(post, 1001, QStringLiteral("  "), &error));
        QVERIFY(!rig->station->takeOutOfService(post, 4242, QStringLiteral("нет такого"), &error));
        QVERIFY(!rig->station->takeOutOfService(QStringLiteral("post9"), -1, QStringLiteral("нет такого"), &error));
        QVERIFY(rig->station->takeOutOfService(post, -1, QStringLiteral("ремонт"), &error));
        QVERIFY2(!rig->station->takeOutOfService(post, 1001, QStringLiteral("уже весь пост"), &error), "held twice");
        rig->station->signOut();
        QVERIFY(!rig->station->returnToService(rig->station->outOfService().at(0).id, &error));
        QCOMPARE(rig->query("SELECT count(*) || ' ' || min(kind) FROM actions WHERE kind LIKE '%service'").toString(),
                 "1 out_of_service");
    }

    // The second desk takes the first one's actions in the order given: "ack"
    // (its acknowledgement), "hold" and "release" (a shelving or an
    // out-of-service and its end), "trip" (the post's record reaching it).
    void sharedActions_data()
    {
        QTest::addColumn<QString>("atFirst"); // what the first desk does, after the post's trip
        QTest::addColumn<QStringList>("second"); // how the second desk takes it
        QTest::addColumn<QStringList>("alarms"); // at the second desk, then
        QTest::addColumn<int>("holds");

        QTest::newRow("acknowledged there, here too, once")
            << "ack" << QStringList{"trip", "actions", "actions"} << QStringList{"acknowledged trip 0"} << 0;
        QTest::newRow("the acknowledgement before the record")
            << "ack" << QStringList{"actions", "trip"} << QStringList{"acknowledged trip 0"} << 0;
        QTest::newRow("after a restart of this desk")
            << "ack" << QStringList{"trip", "restart", "actions"} << QStringList{"acknowledged trip 0"} << 0;
        QTest::newRow("not a later trip of the same loop")
            << "ack" << QStringList{"trip", "trip again", "actions"} << QStringList{"unacknowledged trip 1"} << 0;
        QTest::newRow("shelved there")
            << "shelve" << QStringList{"trip", "actions"} << QStringList{} << 1;
        QTest::newRow("shelved and back, in reverse order")
            << "shelve unshelve" << QStringList{"trip", "reversed"} << QStringList{"unacknowledged trip 0"} << 0;
        QTest::newRow("out of service there")
            << "out" << QStringList{"actions", "trip"} << QStringList{} << 1;
        QTest::newRow("out and back, in reverse order, twice")
            << "out back" << QStringList{"reversed", "reversed", "trip"} << QStringList{"unacknowledged trip 0"} << 0;
    }
    void sharedActions()
    {
        QFETCH(QString, atFirst);
        QFETCH(QStringList, second);
        QFETCH(QStringList, alarms);
        QFETCH(int, holds);

        auto first = desk(QStringLiteral("A"));
        auto other = desk(QStringLiteral("B"));
        trip(*first);
        QString error;
        for (const QString &action : atFirst.split(u' ')) {
            bool done = false;
            if (action == u"ack")
                done = first->station->acknowledge(first->firstAlarmId(), QStringLiteral("проверено"), &error);
            else if (action == u"shelve")
                done = first->station->shelve(first->firstAlarmId(), 60, QStringLiteral("ремонт"), &error);
            else if (action == u"unshelve")
                done = first->station->unshelve(first->station->shelved().at(0).id, &error);
            else if (action == u"out")
                done = first->station->takeOutOfService(post, 1001, QStringLiteral("замена"), &error);
            else if (action == u"back")
                done = first->station->returnToService(first->station->outOfService().at(0).id, &error);
            QVERIFY2(done, qPrintable(action + QStringLiteral(": ") + error));
        }
        const QList<mqtt::Received> actions = actionsOf(*first);
        QList<mqtt::Received> reversed(actions.crbegin(), actions.crend());
        for (const QString &step : second) {
            if (step == u"trip") {
                --record;
                trip(*other);
            } else if (step == u"trip again") {
                trip(*other); // its return and a new trip, unseen by the first desk
            } else if (step == u"restart") {
                other->restart();
            } else {
                other->feed(step == u"reversed" ? reversed : actions);
            }
        }
        QCOMPARE(other->alarmRows(), alarms);
        QCOMPARE(other->station->shelved().rowCount() + other->station->outOfService().rowCount(), holds);
        // Each action journaled once at each desk, with who did it where; the
        // second desk sends none of them on.
        const QString journaled = QStringLiteral("SELECT count(*) || ' ' || count(DISTINCT uid) || ' ' || min(station) || ' '"
                                                 " || min(operator) FROM actions WHERE station = 'A' AND ") + sharedKinds;
        QCOMPARE(other->query(journaled).toString(), first->query(journaled).toString());
        QCOMPARE(other->station->outbox().size(), 0);
        // Sent again with a post's record in the same batch: the record is kept.
        other->feed(actions + QList{other->event(post, QStringLiteral("06.12.2026#99"), "system", 0, 0)});
        QCOMPARE(other->query("SELECT count(*) FROM events WHERE number = 99").toInt(), 1);
        // And the first desk is not changed by its own actions coming back.
        const QStringList before = first->alarmRows();
        first->feed(actions);
        QCOMPARE(first->alarmRows(), before);
        QCOMPARE(first->query(QStringLiteral("SELECT count(*) FROM actions WHERE station = 'A' AND ") + sharedKinds).toInt(),
                 int(actions.size()));
    }

    void outboxOutlivesARestartUntilSent()
    {
        auto first = desk(QStringLiteral("A"));
        trip(*first);
        QString error;
        QVERIFY(first->station->acknowledge(first->firstAlarmId(), QStringLiteral("проверено"), &error));
        first->restart();
        const QList<OutboxEntry> waiting = first->station->outbox();
        QCOMPARE(waiting.size(), 1);
        first->station->sent(waiting.first().uid);
        QCOMPARE(first->station->outbox().size(), 0);
    }

    void badSharedActionsAreCountedNotApplied_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("not JSON") << QByteArray("ack!");
        QTest::newRow("no uid") << QByteArray(R"({"time":"2026-12-06T10:00:00.000Z","station":"A","kind":"acknowledge"})");
        QTest::newRow("a desk's own kind") << QByteArray(R"({"uid":"u1","time":"2026-12-06T10:00:00.000Z","station":"A","kind":"silence"})");
        QTest::newRow("a shelving without its post")
            << QByteArray(R"({"uid":"u2","time":"2026-12-06T10:00:00.000Z","station":"A","kind":"shelve","until":"x"})");
    }
    void badSharedActionsAreCountedNotApplied()
    {
        QFETCH(QByteArray, payload);
        auto rig = desk(QStringLiteral("B"));
        trip(*rig);
        rig->feed(mqtt::Received{centreActionsTopic(rig->settings.centreTopic), payload, false, 1});
        QCOMPARE(rig->station->badInputCount(), 1);
        QCOMPARE(rig->alarmRows(), QStringList{"unacknowledged trip 0"});
        QCOMPARE(rig->station->shelved().rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStationCentre)
#include "test_station_centre.moc"
