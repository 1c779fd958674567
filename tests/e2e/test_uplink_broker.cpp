// The real dorvan-uplink against a real mosquitto and a real subscriber:
// what it publishes for the records of a daily file, records appended and
// torn while it runs, a broker killed mid-stream, the uplink itself killed,
// and the log lines of connection problems.

#include "brokerrun.h"

#include "base/daycount.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <csignal>
#include <utility>

using namespace dorvan;
using namespace dorvan::e2e;
using dorvan::test::bytesOf;

namespace {

const QString site = QStringLiteral("post1");

// n records of sensor 1001 tripping and returning, loop 1.
QByteArray manyRecords(int n)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i) {
        bytes += bytesOf(i % 2 == 0 ? record(1001, 33, QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 1001"), i)
                                    : record(1001, 0, QStringLiteral("Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № 1001"), i));
    }
    return bytes;
}

QStringList uplinkArguments(const test::WorkDir &dir, int port)
{
    return {QStringLiteral("--workdir"), dir.path(), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
            QStringLiteral("--port"), QString::number(port), QStringLiteral("--site"), site};
}

// The subscriber is listening once a probe published after it started arrives.
// True once a probe published now has reached the subscriber: after a
// broker restart, once the subscriber has connected again.
bool subscribed(Subscriber &subscriber, int port)
{
    const qsizetype seen = subscriber.on(QStringLiteral("dorvan/probe")).size();
    return waitUntil([&] {
        runTool(QStringLiteral("mosquitto_pub"), {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                                                  QString::number(port), QStringLiteral("-t"), QStringLiteral("dorvan/probe"),
                                                  QStringLiteral("-m"), QStringLiteral("probe")},
                QDir::tempPath());
        return subscriber.on(QStringLiteral("dorvan/probe")).size() > seen;
    }, 10000);
}

// Record numbers of the events received, in arrival order.
QList<qint64> eventNumbers(Subscriber &subscriber)
{
    QList<qint64> numbers;
    const QString prefix = QDate::currentDate().toString(u"dd.MM.yyyy") + u'#';
    for (const Received &message : subscriber.on(QStringLiteral("dorvan/post1/event"))) {
        const QString id = message.json().value(QStringLiteral("id")).toString();
        numbers.append(id.startsWith(prefix) ? id.mid(prefix.size()).toLongLong() : -1);
    }
    return numbers;
}

qsizetype distinct(const QList<qint64> &numbers)
{
    return QSet<qint64>(numbers.cbegin(), numbers.cend()).size();
}

// At least once and in file order: each record's first arrival comes after
// the first arrival of the one before it, and none is missing.
void verifyEveryRecordInOrder(const QList<qint64> &numbers, qint64 total)
{
    QList<qint64> firsts;
    QSet<qint64> seen;
    for (qint64 number : numbers) {
        if (!seen.contains(number)) {
            seen.insert(number);
            firsts.append(number);
        }
    }
    QCOMPARE(firsts.size(), total);
    for (qint64 i = 0; i < total; ++i)
        QCOMPARE(firsts[i], i);
}

} // namespace

class TestUplinkBroker : public QObject
{
    Q_OBJECT

    QTemporaryDir secrets_; // certificates and the broker's password file

private slots:
    void initTestCase()
    {
        for (const char *name : {"mosquitto", "mosquitto_sub", "mosquitto_pub", "mosquitto_passwd", "openssl"})
            QVERIFY2(!program(QString::fromLatin1(name)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing: run scripts/install-deps.sh").arg(QString::fromLatin1(name))));
        // A CA, the broker's certificate signed by it, and a CA that signed nothing here.
        const QString ec = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ");
        writeFile(secrets_.filePath(QStringLiteral("san.cnf")), "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        for (const QString &command : {
                 QStringLiteral("openssl req -x509 %1-keyout ca.key -out ca.crt -days 2 -subj /CN=DorvanTestCA").arg(ec),
                 QStringLiteral("openssl req -x509 %1-keyout other-ca.key -out other-ca.crt -days 2 -subj /CN=UntrustedCA").arg(ec),
                 QStringLiteral("openssl req %1-keyout server.key -out server.csr -subj /CN=127.0.0.1").arg(ec),
                 QStringLiteral("openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 "
                                "-extfile san.cnf -out server.crt"),
                 QStringLiteral("mosquitto_passwd -c -b passwords dorvan secret")}) {
            const QStringList words = command.split(u' ');
            QVERIFY(runTool(words.first(), words.mid(1), secrets_.path()));
        }
    }

    void publishesEveryRecordAsItBecomesWhole()
    {
        struct Expected
        {
            EventRecord event;
            const char *kind;
            QJsonValue model;
            QJsonValue loop;
        };
        const QString m301 = QStringLiteral("Дорван-301ДК");
        const QString m302 = QStringLiteral("Дорван-302ДК");
        // A zone half an hour off whole hours, whatever the test machine's.
        const QTimeZone zone("Asia/Kolkata");
        const QDate today = QDateTime::currentDateTimeUtc().toTimeZone(zone).date();
        const QList<Expected> prepared{
            {record(0, 20, QStringLiteral("Начало работы"), 0, today), "system", QJsonValue(), QJsonValue()},
            {record(1001, 30, QStringLiteral("Датчик <Дорван-301ДК> № 1001 подключён. Оператор: Иванов"), 1, today), "connected", m301, QJsonValue()},
            {record(1001, 15, QStringLiteral("Нет связи с датчиком <Дорван-301ДК> № 1001"), 2, today), "link_lost", m301, QJsonValue()},
            {record(1001, 32, QStringLiteral("Восстановлена связь с датчиком <Дорван-301ДК> № 1001"), 3, today), "link_restored", m301, QJsonValue()},
            {record(1001, 16, QStringLiteral("Установка на охрану первого шлейфа датчика <Дорван-301ДК> № 1001"), 4, today), "armed", m301, 1},
            {record(1001, 33, QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 1001"), 5, today), "alarm", m301, 1},
            // A fault text names one model whatever the sensor: the sensor's own is reported.
            {record(1001, 3, QStringLiteral("Сопротивление изоляции второго чувствительного элемента датчика <Дорван-302ДК> № 1001 ниже нормы"), 6, today), "fault", m301, 2},
            {record(2001, 32, QStringLiteral("Восстановлена связь с датчиком <Дорван-302ДК> № 2001"), 7, today), "link_restored", m302, QJsonValue()},
            {record(2001, 35, QStringLiteral("Изменено значение постоянной состовляющей порога 2 фланга датчика <Дорван-302ДК> № 2001"), 8, today), "threshold", m302, 2},
            {record(2001, 31, QStringLiteral("Датчик <Дорван-302ДК> № 2001 отключён. Оператор: Иванов"), 9, today), "disconnected", m302, QJsonValue()},
        };
        const QList<Expected> appended{
            {record(1001, 0, QStringLiteral("Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № 1001"), 10, today), "normal", m301, 1},
            {record(1001, 18, QStringLiteral("Снятие с охраны первого шлейфа датчика <Дорван-301ДК> № 1001"), 11, today), "disarmed", m301, 1},
        };

        test::WorkDir dir;
        for (const Expected &expected : prepared)
            append(dailyFile(dir, today), bytesOf(expected.event));
        Broker broker(dir.path());
        QVERIFY(broker.start());
        Subscriber subscriber;
        QVERIFY(subscriber.start(broker.port(), {QStringLiteral("-t"), QStringLiteral("homeassistant/#")}));
        QVERIFY(subscribed(subscriber, broker.port()));
        UplinkProcess uplink;
        QVERIFY(uplink.start(uplinkArguments(dir, broker.port()) << QStringLiteral("--from-start") << QStringLiteral("--ha-discovery"),
                             QString::fromLatin1(zone.id())));

        const QString eventTopic = QStringLiteral("dorvan/post1/event");
        auto events = [&] { return subscriber.on(eventTopic); };
        QVERIFY2(waitUntil([&] { return events().size() == prepared.size(); }, 10000), qPrintable(uplink.log()));

        // A record appended while it runs; then one written in two parts,
        // published only once whole.
        append(dailyFile(dir, today), bytesOf(appended[0].event));
        QVERIFY(waitUntil([&] { return events().size() == prepared.size() + 1; }, 5000));
        const QByteArray torn = bytesOf(appended[1].event);
        append(dailyFile(dir, today), torn.left(100));
        QTest::qWait(1000); // several polls and file notifications
        QCOMPARE(events().size(), prepared.size() + 1);
        append(dailyFile(dir, today), torn.mid(100));
        QVERIFY(waitUntil([&] { return events().size() == prepared.size() + 2; }, 5000));

        const QList<Expected> all = prepared + appended;
        const QString file = today.toString(u"dd.MM.yyyy");
        for (int i = 0; i < all.size(); ++i) {
            const QJsonObject got = events()[i].json();
            const EventRecord &event = all[i].event;
            const QDateTime local = fromDayCount(event.time);
            const QString time = QDateTime(local.date(), local.time(), zone).toString(Qt::ISODateWithMs);
            QCOMPARE(got.value(QStringLiteral("id")).toString(), QStringLiteral("%1#%2").arg(file).arg(i));
            QCOMPARE(got.value(QStringLiteral("site")).toString(), site);
            QCOMPARE(got.value(QStringLiteral("time")).toString(), time);
            QCOMPARE(got.value(QStringLiteral("code")).toInt(), int(event.code));
            QCOMPARE(got.value(QStringLiteral("kind")).toString(), QString::fromLatin1(all[i].kind));
            QCOMPARE(got.value(QStringLiteral("model")), all[i].model);
            QCOMPARE(got.value(QStringLiteral("address")), event.code == 20 ? QJsonValue() : QJsonValue(event.address));
            QCOMPARE(got.value(QStringLiteral("loop")), all[i].loop);
            QCOMPARE(got.value(QStringLiteral("text")).toString(), event.textString());
            QVERIFY(!events()[i].retained);
        }

        // The retained states: 1001 as its events leave it, 2001 removed.
        const QJsonObject state = subscriber.on(QStringLiteral("dorvan/post1/sensor/1001/state")).last().json();
        QCOMPARE(state.value(QStringLiteral("link")).toString(), QStringLiteral("up"));
        QCOMPARE(state.value(QStringLiteral("loop1")).toString(), QStringLiteral("disarmed"));
        QCOMPARE(state.value(QStringLiteral("loop2")).toString(), QStringLiteral("disarmed"));
        QCOMPARE(state.value(QStringLiteral("fault_code")).toInt(), 3);
        QCOMPARE(state.value(QStringLiteral("fault")).toString(), all[6].event.textString());
        QCOMPARE(subscriber.on(QStringLiteral("dorvan/post1/sensor/2001/state")).last().payload, QByteArray());
        QCOMPARE(subscriber.on(QStringLiteral("dorvan/post1/status")).last().json().value(QStringLiteral("state")).toString(), QStringLiteral("online"));

        // Home Assistant: a device of three binary sensors reading 1001's
        // state; 2001's withdrawn with its disconnection.
        for (const char *entity : {"loop1", "loop2", "link"}) {
            const QString config = QStringLiteral("homeassistant/binary_sensor/dorvan_post1_%1/%2/config");
            const QList<Received> announced = subscriber.on(config.arg(1001).arg(QLatin1String(entity)));
            QVERIFY2(!announced.isEmpty(), entity);
            QCOMPARE(announced.last().json().value(QStringLiteral("state_topic")).toString(),
                     QStringLiteral("dorvan/post1/sensor/1001/state"));
            QCOMPARE(announced.last().json().value(QStringLiteral("availability_topic")).toString(),
                     QStringLiteral("dorvan/post1/status"));
            QCOMPARE(subscriber.on(config.arg(2001).arg(QLatin1String(entity))).last().payload, QByteArray());
        }

        QVERIFY2(uplink.terminate(), qPrintable(uplink.log()));
        QVERIFY(waitUntil([&] { return subscriber.on(QStringLiteral("dorvan/post1/status")).last().payload == "offline"; }, 5000));
    }

    // The broker killed while a backlog streams out, with records in flight,
    // and started again: the uplink starts again at its cursor and the
    // subscriber, whose session the broker kept, gets every record.
    void brokerKilledMidStream()
    {
        constexpr int total = 20000;
        test::WorkDir dir;
        append(dailyFile(dir), manyRecords(total));
        Broker broker(dir.path());
        broker.persistence = true;
        broker.extraConfig << QStringLiteral("queue_qos0_messages true");
        QVERIFY(broker.start());
        // A durable session at QoS 0: it sends the broker no acknowledgements
        // of its own, so the killed broker's socket closes cleanly with all it
        // had written to the subscriber.
        Subscriber subscriber;
        const QStringList durable{QStringLiteral("-c"), QStringLiteral("-i"), QStringLiteral("dorvan-test-subscriber")};
        QVERIFY(subscriber.start(broker.port(), durable, 0));
        QVERIFY(subscribed(subscriber, broker.port()));
        // A clean restart saves the subscriber's session, so a broker killed
        // later comes back with it and queues what arrives before it reconnects.
        broker.stop();
        QVERIFY(broker.start());
        // Back before the uplink starts: a broker killed with records queued
        // for an absent subscriber loses them, as any broker would.
        QVERIFY(subscribed(subscriber, broker.port()));

        UplinkProcess uplink;
        QVERIFY(uplink.start(uplinkArguments(dir, broker.port()) << QStringLiteral("--from-start")));
        // Held as soon as it is connected: a quiet machine puts the whole
        // backlog into the broker before the subscriber has shown any of it.
        QVERIFY2(waitUntil([&] { return uplink.count(QStringLiteral("connected to 127.0.0.1")) == 1; }, 20000),
                 qPrintable(uplink.log()));
        // What a broker has acknowledged and not yet passed on dies with it,
        // however the uplink behaves; so the uplink is held, with its window
        // in flight and the broker's acknowledgements unread, until the
        // subscriber has all the broker took. Then the broker dies.
        uplink.pause();
        qsizetype before = -1;
        QVERIFY(waitUntil([&] {
            const qsizetype now = eventNumbers(subscriber).size();
            return std::exchange(before, now) == now;
        }, 20000));
        QTest::qWait(500);
        QCOMPARE(eventNumbers(subscriber).size(), before);
        broker.kill();
        uplink.resume();
        QVERIFY(broker.start());
        QVERIFY2(waitUntil([&] { return distinct(eventNumbers(subscriber)) == total; }, 30000),
                 qPrintable(QStringLiteral("%1 of %2 records arrived; %3")
                                .arg(distinct(eventNumbers(subscriber))).arg(total).arg(uplink.log())));
        QVERIFY2(before < total, "the backlog was through before the broker was killed");
        verifyEveryRecordInOrder(eventNumbers(subscriber), total);
        QVERIFY2(uplink.count(QStringLiteral("; retrying in ")) == 1, qPrintable(uplink.log()));
        QCOMPARE(uplink.count(QStringLiteral("connected to 127.0.0.1")), 2);
    }

    // The uplink SIGKILLed mid-stream: the broker sends its last will, and a
    // new uplink goes on from the cursor, not from the start.
    void uplinkKilledResumesFromItsCursor()
    {
        constexpr int total = 60000; // more than a quiet machine sends before the first cursor save
        test::WorkDir dir;
        append(dailyFile(dir), manyRecords(total));
        Broker broker(dir.path());
        QVERIFY(broker.start());
        Subscriber subscriber;
        QVERIFY(subscriber.start(broker.port()));
        QVERIFY(subscribed(subscriber, broker.port()));

        UplinkProcess first;
        QVERIFY(first.start(uplinkArguments(dir, broker.port()) << QStringLiteral("--from-start")));
        // Killed once the cursor has moved: saves come a fifth of a second
        // apart, and a kill before the first would rightly start again at 0.
        const auto savedOffset = [&] {
            QFile cursor(dir.file(QStringLiteral("data/uplink.cursor")));
            return cursor.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(cursor.readAll()).object().value(QStringLiteral("offset")).toInteger() : 0;
        };
        QVERIFY2(waitUntil([&] { return savedOffset() > 0; }, 20000), qPrintable(first.log()));
        first.kill();
        const QString status = QStringLiteral("dorvan/post1/status");
        QVERIFY(waitUntil([&] { return subscriber.on(status).last().payload == "offline"; }, 10000));
        const QList<qint64> beforeRestart = eventNumbers(subscriber);
        QVERIFY2(beforeRestart.size() < total, "the backlog was through before the uplink was killed");

        UplinkProcess second;
        QVERIFY(second.start(uplinkArguments(dir, broker.port())));
        QVERIFY2(waitUntil([&] { return eventNumbers(subscriber).size() > beforeRestart.size() && eventNumbers(subscriber).contains(total - 1); }, 60000),
                 qPrintable(second.log()));
        // It resumed where the broker's acknowledgements stopped: not beyond
        // what had arrived, and repeating at most a window and a cursor save.
        const qint64 resumedAt = eventNumbers(subscriber)[beforeRestart.size()];
        const qint64 lastBefore = *std::max_element(beforeRestart.cbegin(), beforeRestart.cend());
        QVERIFY2(resumedAt > 0 && resumedAt <= lastBefore + 1, qPrintable(QString::number(resumedAt)));
        verifyEveryRecordInOrder(eventNumbers(subscriber), total);
        QVERIFY(second.terminate());
    }

    // What a station sees of a post: the status renewed with its time, the
    // console's liveness as the console runs, hangs and dies, and the last
    // will once the uplink itself stops answering.
    void heartbeatAndConsoleLiveness()
    {
        ConsoleRun run;
        run.storeSensors({Stored{1001, 0}});
        QVERIFY(run.startSimulator({QStringLiteral("1001:0")}));
        QVERIFY(run.startConsole());
        const auto kill = [&](int signal) { ::kill(pid_t(run.console().processId()), signal); };

        Broker broker(run.path());
        QVERIFY(broker.start());
        Subscriber subscriber;
        QVERIFY(subscriber.start(broker.port()));
        QVERIFY(subscribed(subscriber, broker.port()));
        UplinkProcess uplink;
        QVERIFY(uplink.start({QStringLiteral("--workdir"), run.path(), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"), QString::number(broker.port()), QStringLiteral("--site"), site,
                              QStringLiteral("--heartbeat"), QStringLiteral("5")}));

        const QString consoleTopic = QStringLiteral("dorvan/post1/console");
        const auto consoleShows = [&](bool running, const QString &line) {
            const QList<Received> shown = subscriber.on(consoleTopic);
            return !shown.isEmpty() && shown.last().json().value(QStringLiteral("running")).toBool() == running
                   && shown.last().json().value(QStringLiteral("line")).toString() == line;
        };
        QVERIFY2(waitUntil([&] { return consoleShows(true, QStringLiteral("running")); }, 20000), qPrintable(uplink.log()));

        // The status is renewed at its interval, with the time it was sent.
        QVERIFY(waitUntil([&] { return subscriber.on(QStringLiteral("dorvan/post1/status")).size() >= 3; }, 15000));
        const QList<Received> statuses = subscriber.on(QStringLiteral("dorvan/post1/status"));
        const auto sentAt = [](const Received &status) {
            return QDateTime::fromString(status.json().value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        };
        const qint64 gap = sentAt(statuses[1]).msecsTo(sentAt(statuses[2]));
        QVERIFY2(gap >= 4500 && gap <= 5500, qPrintable(QString::number(gap)));
        QCOMPARE(statuses[2].json().value(QStringLiteral("interval")).toInt(), 5);
        QCOMPARE(statuses[2].json().value(QStringLiteral("state")).toString(), QStringLiteral("online"));

        // A hung console: still there, its line stopped; then back.
        QElapsedTimer hung;
        hung.start();
        kill(SIGSTOP);
        QVERIFY(waitUntil([&] { return consoleShows(true, QStringLiteral("stopped")); }, 20000));
        const qint64 shownStoppedAfterMs = hung.elapsed();
        qInfo("a hung console's line shown stopped after %lld ms", shownStoppedAfterMs);
        // 10 to 14 s after the last pass, which came at most a poll before the
        // freeze; a busy machine's subscriber may see it a little later.
        QVERIFY2(shownStoppedAfterMs >= 9500 && shownStoppedAfterMs <= 16000, qPrintable(QString::number(shownStoppedAfterMs)));
        kill(SIGCONT);
        QVERIFY(waitUntil([&] { return consoleShows(true, QStringLiteral("running")); }, 20000));
        // A console killed.
        run.console().kill();
        run.console().waitForFinished(5000);
        QVERIFY(waitUntil([&] { return consoleShows(false, QStringLiteral("stopped")); }, 10000));

        // The uplink stops answering: the broker publishes the last will
        // within one and a half keep-alives (10.5 s), the subscriber sees it
        // a little later on a loaded machine.
        QElapsedTimer frozen;
        frozen.start();
        uplink.pause();
        QVERIFY(waitUntil([&] { return subscriber.on(QStringLiteral("dorvan/post1/status")).last().payload == "offline"; }, 30000));
        qInfo("a frozen uplink shown offline after %lld ms", frozen.elapsed());
        QVERIFY2(frozen.elapsed() <= 20000, qPrintable(QString::number(frozen.elapsed())));
        uplink.resume();
        QVERIFY(uplink.terminate());
    }

    // MQTT 5: a publish the broker's access list denies is not taken for
    // delivered; the cursor holds and the log says why.
    void refusedPublishHoldsTheCursor()
    {
        test::WorkDir dir;
        append(dailyFile(dir), manyRecords(3));
        const QString acl = dir.file(QStringLiteral("acl"));
        writeFile(acl, "user dorvan\ntopic write dorvan/post1/status\ntopic write dorvan/post1/console\n"
                       "topic write dorvan/post1/sensor/#\n");
        Broker broker(dir.path());
        broker.passwordFile = secrets_.filePath(QStringLiteral("passwords"));
        broker.extraConfig << QStringLiteral("acl_file %1").arg(acl);
        QVERIFY(broker.start());
        const QString passwordFile = dir.file(QStringLiteral("uplink.password"));
        writeFile(passwordFile, "secret\n");
        QFile::setPermissions(passwordFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        UplinkProcess uplink;
        QVERIFY(uplink.start(uplinkArguments(dir, broker.port())
                             << QStringLiteral("--from-start") << QStringLiteral("--username") << QStringLiteral("dorvan")
                             << QStringLiteral("--password-file") << passwordFile));
        // Mosquitto closes the connection right after a refusal, often before
        // its reason code is read: what holds either way is that nothing is
        // counted as delivered while the uplink keeps trying.
        QVERIFY2(waitUntil([&] { return uplink.count(QStringLiteral("connected to")) >= 3; }, 30000),
                 qPrintable(uplink.log()));
        QVERIFY(uplink.terminate());
        QFile cursor(dir.file(QStringLiteral("data/uplink.cursor")));
        QVERIFY(cursor.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(cursor.readAll()).object().value(QStringLiteral("offset")).toInteger(), 0);
    }

    // Each problem is one clear line in the log, retried after about 1 s and
    // then 2 s, without a crash and without spinning.
    void connectionProblems_data()
    {
        QTest::addColumn<QString>("listener"); // plain, tls, none
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("line");

        QTest::newRow("wrong password") << "plain" << "" << "wrong"
                                        << "refused the connection: not authorised, wrong user name or password";
        QTest::newRow("untrusted certificate") << "tls" << "other-ca.crt" << "secret"
                                               << "was rejected (certificate verify failed";
        QTest::newRow("nothing listening") << "none" << "" << "secret" << "refused the connection (is the broker running";
        QTest::newRow("nothing listening, TLS") << "none" << "ca.crt" << "secret" << "closed the connection before answering";
        QTest::newRow("trusted certificate") << "tls" << "ca.crt" << "secret" << "";
    }

    void connectionProblems()
    {
        QFETCH(QString, listener);
        QFETCH(QString, caFile);
        QFETCH(QString, password);
        QFETCH(QString, line);

        test::WorkDir dir;
        const QString d = secrets_.path();
        const QString passwordFile = dir.file(QStringLiteral("uplink.password"));
        writeFile(passwordFile, password.toUtf8() + '\n');
        QFile::setPermissions(passwordFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        Broker broker(dir.path());
        broker.passwordFile = d + QStringLiteral("/passwords");
        const int tlsPort = freePort();
        broker.extraConfig << QStringLiteral("listener %1 127.0.0.1").arg(tlsPort) << QStringLiteral("cafile %1/ca.crt").arg(d)
                           << QStringLiteral("certfile %1/server.crt").arg(d) << QStringLiteral("keyfile %1/server.key").arg(d);
        if (listener != QLatin1String("none"))
            QVERIFY(broker.start());
        const int port = listener == QLatin1String("tls") ? tlsPort : listener == QLatin1String("plain") ? broker.port() : freePort();

        QStringList arguments = uplinkArguments(dir, port);
        arguments << QStringLiteral("--username") << QStringLiteral("dorvan") << QStringLiteral("--password-file") << passwordFile;
        if (!caFile.isEmpty())
            arguments << QStringLiteral("--ca-file") << d + u'/' + caFile;
        UplinkProcess uplink;
        QVERIFY(uplink.start(arguments));
        if (line.isEmpty()) {
            QVERIFY2(waitUntil([&] { return uplink.count(QStringLiteral("connected to 127.0.0.1:%1").arg(port)) == 1; }, 10000),
                     qPrintable(uplink.log()));
        } else {
            QVERIFY2(waitUntil([&] { return uplink.count(QStringLiteral("retrying in")) == 2; }, 10000), qPrintable(uplink.log()));
            const QStringList lines = uplink.log().split(u'\n').filter(QStringLiteral("retrying in"));
            QCOMPARE(lines.size(), 2);
            for (const QString &logged : lines)
                QVERIFY2(logged.contains(line), qPrintable(logged));
            // Waiting is sleeping: not even a tenth of a core for the attempts.
            QVERIFY2(uplink.cpuSeconds() < 0.3, qPrintable(QString::number(uplink.cpuSeconds())));
        }
        QVERIFY2(uplink.terminate(), qPrintable(uplink.log()));
    }
};

QTEST_GUILESS_MAIN(TestUplinkBroker)
#include "test_uplink_broker.moc"
