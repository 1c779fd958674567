// The alarm states of the station, driven as a post drives them: trips and
// returns arriving as events and states, acknowledgements by an operator.
#include "station/escalation.h"
#include "stationrig.h"

#include <QProcess>

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

class TestStationAlarms : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::StationRig> rig;

    static QString readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }
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
        } else
            shelvingStep(what);
    }

    // Shelving for an hour; "half" and "expire" let half of it or all of it pass.
    void shelvingStep(const QString &what)
    {
        QString error;
        if (what == u"shelve")
            QVERIFY2(rig->station->shelve(rig->firstAlarmId(), 60, QStringLiteral("ремонт шлейфа"), &error), qPrintable(error));
        else if (what == u"shelve sensor")
            QVERIFY2(rig->station->shelveSensor(QStringLiteral("post1"), 1001, 60, QStringLiteral("ремонт"), &error),
                     qPrintable(error));
        else if (what == u"unshelve")
            QVERIFY2(rig->station->unshelve(rig->station->shelved().at(0).id, &error), qPrintable(error));
        else if (what == u"half")
            rig->advance(30 * 60 * 1000);
        else if (what == u"expire")
            rig->advance(60 * 60 * 1000);
        else if (what == u"restart")
            rig->restart();
        else if (what == u"fault")
            rig->feed(rig->event("post1", QStringLiteral("06.12.2026#%1").arg(record++), "fault", 1002, 0));
        else if (what.startsWith(u"wait "))
            rig->advance(what.mid(5).toLongLong() * 1000);
        else
            QFAIL(qPrintable(what));
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

    void shelving_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("row"); // of the main list, empty: none
        QTest::addColumn<int>("shelved");
        QTest::addColumn<bool>("heard");

        QTest::newRow("shelved leaves the list, unheard") << QStringList{"trip", "shelve"} << "" << 1 << false;
        QTest::newRow("not back before its time") << QStringList{"trip", "shelve", "half"} << "" << 1 << false;
        QTest::newRow("still active comes back unacknowledged")
            << QStringList{"trip", "ack", "shelve", "expire"} << "unacknowledged trip 0" << 0 << true;
        QTest::newRow("unacknowledged comes back unacknowledged")
            << QStringList{"trip", "shelve", "expire"} << "unacknowledged trip 0" << 0 << true;
        QTest::newRow("returned while shelved comes back returned")
            << QStringList{"trip", "shelve", "normal", "expire"} << "returned trip 0" << 0 << true;
        QTest::newRow("acknowledged and returned while shelved stays cleared")
            << QStringList{"trip", "ack", "shelve", "normal", "expire"} << "" << 0 << false;
        QTest::newRow("trips again while shelved, unheard")
            << QStringList{"trip", "ack", "shelve", "trip"} << "" << 1 << false;
        QTest::newRow("a sensor's later alarms are shelved too")
            << QStringList{"trip", "ack", "normal", "shelve sensor", "trip"} << "" << 1 << false;
        QTest::newRow("unshelved early") << QStringList{"trip", "ack", "shelve", "unshelve"} << "unacknowledged trip 0" << 0
                                         << true;
        QTest::newRow("still shelved after a restart") << QStringList{"trip", "shelve", "restart"} << "" << 1 << false;
        QTest::newRow("expires after a restart")
            << QStringList{"trip", "ack", "shelve", "restart", "expire"} << "unacknowledged trip 0" << 0 << true;
    }
    void shelving()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, row);
        QFETCH(int, shelved);
        QFETCH(bool, heard);

        for (const QString &what : steps)
            step(what);

        QCOMPARE(rig->alarmRows(), row.isEmpty() ? QStringList() : QStringList{row});
        QCOMPARE(rig->station->shelved().rowCount(), shelved);
        QCOMPARE(rig->sound.playing, heard);
        QCOMPARE(rig->station->board().data(rig->station->board().index(0), BlinkRole).toBool(), heard);
    }

    void shelvingNeedsAReasonATimeAndAName_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("taken");

        QTest::newRow("the longest") << 480 << "ремонт" << true << true;
        QTest::newRow("longer than allowed") << 481 << "ремонт" << true << false;
        QTest::newRow("no time") << 0 << "ремонт" << true << false;
        QTest::newRow("blank reason") << 60 << "  " << true << false;
        QTest::newRow("nobody signed in") << 60 << "ремонт" << false << false;
    }
    void shelvingNeedsAReasonATimeAndAName()
    {
        QFETCH(int, minutes);
        QFETCH(QString, reason);
        QFETCH(bool, signedIn);
        QFETCH(bool, taken);

        step("trip");
        if (!signedIn)
            rig->station->signOut();
        QString error;
        QCOMPARE(rig->station->shelve(rig->firstAlarmId(), minutes, reason, &error), taken);
        QCOMPARE(error.isEmpty(), taken);
        QCOMPARE(rig->query("SELECT count(*) FROM actions WHERE kind = 'shelve'").toInt(), int(taken));
        if (taken) {
            QCOMPARE(rig->query("SELECT operator || '|' || station || '|' || comment FROM actions WHERE kind = 'shelve'")
                         .toString(),
                     QStringLiteral("Иванов|duty-room|") + reason);
            QCOMPARE(rig->station->shelved().at(0).until, rig->clock.current.addSecs(minutes * 60));
        }
    }

    void escalation_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("escalated"); // the first row
        QTest::addColumn<int>("escalations"); // in the journal's actions
        QTest::addColumn<QString>("sound");

        QTest::newRow("trip at its limit") << QStringList{"trip", "wait 120"} << true << 1 << "trip.wav";
        QTest::newRow("trip just before") << QStringList{"trip", "wait 119"} << false << 0 << "trip.wav";
        QTest::newRow("acknowledged in time") << QStringList{"trip", "wait 60", "ack", "wait 120"} << false << 0 << "";
        QTest::newRow("once only") << QStringList{"trip", "wait 120", "wait 600"} << true << 1 << "trip.wav";
        QTest::newRow("repeats do not restart the count") << QStringList{"trip", "wait 60", "trip", "wait 60"} << true << 1
                                                          << "trip.wav";
        QTest::newRow("fault not at the trip's limit") << QStringList{"fault", "wait 120"} << false << 0 << "other.wav";
        QTest::newRow("fault sounds as a trip once escalated") << QStringList{"fault", "wait 600"} << true << 1 << "trip.wav";
        QTest::newRow("tripped again after acknowledgement")
            << QStringList{"trip", "wait 120", "ack", "trip", "wait 120"} << true << 2 << "trip.wav";
        QTest::newRow("shelved is not escalated") << QStringList{"trip", "shelve", "wait 600"} << false << 0 << "";
        QTest::newRow("counted from the end of a shelving")
            << QStringList{"trip", "shelve", "expire", "wait 119"} << false << 0 << "trip.wav";
        QTest::newRow("not again after a restart") << QStringList{"trip", "wait 120", "restart", "wait 1"} << true << 1
                                                   << "trip.wav";
    }
    void escalation()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, escalated);
        QFETCH(int, escalations);
        QFETCH(QString, sound);

        for (const QString &what : steps)
            step(what);

        QVERIFY(rig->station->alarmList().rowCount() > 0 || !escalated);
        if (rig->station->alarmList().rowCount() > 0)
            QCOMPARE(rig->station->alarmList().at(0).escalated, escalated);
        QCOMPARE(rig->query("SELECT count(*) FROM actions WHERE kind = 'escalate' AND operator IS NULL").toInt(), escalations);
        QCOMPARE(rig->sound.playing ? rig->sound.path : QString(), sound);
    }

    // The centre's command gets the alarm on its standard input; one that
    // fails is told to the operator.
    void escalationCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("fails");
        QTest::newRow("receives the alarm") << "sh -c 'cat > %1'" << false;
        QTest::newRow("exits with an error") << "sh -c 'cat > /dev/null; exit 3'" << true;
        QTest::newRow("not there") << "/nonexistent/notify-duty-officer" << true;
    }
    void escalationCommand()
    {
        QFETCH(QString, command);
        QFETCH(bool, fails);
        const QString received = rig->dir.filePath(QStringLiteral("escalated.json"));
        rig->settings.onEscalation = command.arg(received);
        rig->restart();
        QSignalSpy notices(rig->station.get(), &Station::notice);
        step("trip");
        rig->advance(120 * 1000);

        if (fails) {
            QTRY_COMPARE(notices.count(), 1);
            return;
        }
        QTRY_VERIFY(QFileInfo(received).size() > 0);
        QCOMPARE(notices.count(), 0);
        QFile file(received);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject alarm = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(alarm.value("alarm").toInteger(), rig->firstAlarmId());
        QCOMPARE(alarm.value("kind").toString(), QStringLiteral("trip"));
        QCOMPARE(alarm.value("site").toString(), QStringLiteral("post1"));
        QCOMPARE(alarm.value("address").toInt(), 1001);
        QCOMPARE(alarm.value("station").toString(), QStringLiteral("duty-room"));
    }

    // A command that hangs is killed at its time limit (shortened here) with
    // what it started, and told.
    void escalationCommandThatHangsIsKilled()
    {
        const QString pidFile = rig->dir.filePath(QStringLiteral("sleep.pid"));
        EscalationCommand command(QStringLiteral("sleep 30 & echo $! > %1; wait").arg(pidFile), 200);
        QSignalSpy failures(&command, &EscalationCommand::failed);
        QElapsedTimer elapsed;
        elapsed.start();
        command.run(7, "{}\n");
        QTRY_COMPARE(failures.count(), 1);
        QVERIFY(elapsed.elapsed() < 10000);
        QTRY_COMPARE(command.findChildren<QProcess *>().size(), 0);
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        const QString stat = QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid.readAll().trimmed()));
        QTRY_VERIFY(!QFile::exists(stat) || readAll(stat).section(u' ', 2, 2) == u"Z");
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
