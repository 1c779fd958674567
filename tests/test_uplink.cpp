// The uplink's decisions without a broker: the sensor states it derives from
// events, how it follows the daily files across torn tails, midnights and a
// clock set back, the window and the cursor against a scripted broker, the
// heartbeat and the console's liveness, the locks, and its settings.

#include "uplink/uplink.h"
#include "uplink/uplinklog.h"

#include "base/consoleheartbeat.h"
#include "base/daycount.h"
#include "console/consolestart.h"
#include "fakes.h"
#include "filefaults.h"
#include "testfiles.h"
#include "uplinkstates.h"
#include "workdir.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

using namespace dorvan;
using namespace dorvan::uplink;
using namespace dorvan::test;

namespace {

const QDate today(2026, 12, 8);

struct Event
{
    quint8 code;
    const char *text; // %1 is the address
};

EventRecord makeRecord(qint32 address, const Event &event, int second = 0)
{
    return EventRecord::make(address, toDayCount(QDateTime(today, QTime(9, 0).addSecs(second))), event.code,
                             QString::fromUtf8(event.text).replace(QLatin1String("%1"), QString::number(address)));
}

QString dailyPath(const WorkDir &dir, const QDate &day)
{
    return dir.file(QStringLiteral("QReport/") + day.toString(u"dd.MM.yyyy"));
}

// A console's events of sensor 1001 (Дорван-301ДК).
const Event connected{30, "Датчик <Дорван-301ДК> № %1 подключён. Оператор: Иванов"};
const Event noLink{15, "Нет связи с датчиком <Дорван-301ДК> № %1"};
const Event linkBack{32, "Восстановлена связь с датчиком <Дорван-301ДК> № %1"};
const Event arm1{16, "Установка на охрану первого шлейфа датчика <Дорван-301ДК> № %1"};
const Event arm2{17, "Установка на охрану второго шлейфа датчика <Дорван-301ДК> № %1"};
const Event disarm1{18, "Снятие с охраны первого шлейфа датчика <Дорван-301ДК> № %1"};
const Event trip1{33, "Срабатывание 1 шлейфа датчика <Дорван-301ДК> № %1"};
const Event trip2{33, "Срабатывание 2 шлейфа датчика <Дорван-301ДК> № %1"};
const Event otherTrip1{34, "Срабатывание 1 шлейфа датчика <Дорван-302ДК> № %1"};
const Event normal1{0, "Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № %1"};
const Event standby{0, "Возврат в дежурное состояние датчика <Дорван-301ДК> № %1"};
const Event brokenFlank1{4, "Обрыв чувствительного элемента первого фланга датчика <Дорван-302ДК> № %1"};
const Event startOfWork{20, "Начало работы"};
const Event disconnected{31, "Датчик <Дорван-301ДК> № %1 отключён. Оператор: Иванов"};

UplinkSettings settingsFor(const WorkDir &dir, int window = 4)
{
    UplinkSettings settings;
    settings.workDir = dir.path();
    settings.cursorPath = dir.file(QStringLiteral("data/uplink.cursor"));
    settings.site = QStringLiteral("post1");
    settings.fromStart = true;
    settings.window = window;
    return settings;
}

QJsonObject jsonOf(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// Stands in for the broker connection: records what is published and lets
// the test connect, fail and acknowledge.
class FakeTransport : public mqtt::Transport
{
public:
    void open(const Message &) override { ++opens; }
    int publish(const Message &message) override
    {
        published.append({nextId, message});
        return nextId++;
    }
    void close() override { ++closes; }
    QString brokerName() const override { return QStringLiteral("fake:1883"); }

    struct Sent
    {
        int id;
        Message message;
    };
    // Ids of the events published so far ("08.12.2026#3"), in order.
    QStringList eventIds(int from = 0) const
    {
        QStringList ids;
        for (int i = from; i < published.size(); ++i) {
            if (published[i].message.topic.endsWith(QLatin1String("/event")))
                ids << QString::fromUtf8(published[i].message.payload).section(QLatin1String("\"id\":\""), 1).section(u'"', 0, 0);
        }
        return ids;
    }
    // Acknowledges every message of the event with this id and of the states
    // published with it (up to the next event).
    void acknowledgeEvent(const QString &id)
    {
        for (int i = 0; i < published.size(); ++i) {
            if (!published[i].message.payload.contains(("\"id\":\"" + id + "\"").toUtf8()))
                continue;
            for (int k = i; k < published.size() && (k == i || !published[k].message.topic.endsWith(QLatin1String("/event"))); ++k)
                emit acknowledged(published[k].id);
            return;
        }
    }
    void acknowledgeAll(int from = 0)
    {
        for (int i = from; i < published.size(); ++i)
            emit acknowledged(published[i].id);
    }

    // The payloads published on one topic, in order.
    QList<QByteArray> on(const QString &topic) const
    {
        QList<QByteArray> payloads;
        for (const Sent &sent : published) {
            if (sent.message.topic == topic)
                payloads.append(sent.message.payload);
        }
        return payloads;
    }

    QList<Sent> published;
    int nextId = 1;
    int opens = 0;
    int closes = 0;
};

} // namespace

class TestUplink : public QObject
{
    Q_OBJECT

private slots:
    // The state the console's own grid would show, derived event by event;
    // and the same state after a trip through the cursor file.
    void derivedSensorState_data()
    {
        QTest::addColumn<QList<Event>>("events");
        QTest::addColumn<QString>("expected");

        QTest::newRow("connected") << QList<Event>{connected} << "model=0 link=lost loop1=disarmed loop2=disarmed fault=-1";
        QTest::newRow("link restored") << QList<Event>{connected, noLink, linkBack}
                                       << "model=0 link=up loop1=disarmed loop2=disarmed fault=-1";
        QTest::newRow("armed loop trips") << QList<Event>{connected, linkBack, arm1, trip1}
                                          << "model=0 link=up loop1=alarm loop2=disarmed fault=-1";
        QTest::newRow("and returns") << QList<Event>{connected, linkBack, arm1, trip1, normal1}
                                     << "model=0 link=up loop1=normal loop2=disarmed fault=-1";
        QTest::newRow("disarmed while in alarm") << QList<Event>{connected, linkBack, arm1, trip1, disarm1}
                                                 << "model=0 link=up loop1=disarmed loop2=disarmed fault=-1";
        // Without replies the console shows an armed loop in alarm until the
        // sensor reports it normal again.
        QTest::newRow("link lost") << QList<Event>{connected, linkBack, arm1, noLink}
                                   << "model=0 link=lost loop1=alarm loop2=disarmed fault=-1";
        QTest::newRow("console restarted") << QList<Event>{connected, linkBack, arm2, startOfWork}
                                           << "model=0 link=lost loop1=disarmed loop2=alarm fault=-1";
        // A fault text names Дорван-302ДК whatever the sensor is.
        QTest::newRow("fault") << QList<Event>{connected, linkBack, brokenFlank1}
                               << "model=0 link=up loop1=disarmed loop2=disarmed fault=4";
        QTest::newRow("fault cleared by standby") << QList<Event>{connected, linkBack, brokenFlank1, standby}
                                                  << "model=0 link=up loop1=disarmed loop2=disarmed fault=-1";
        QTest::newRow("first heard of mid-run") << QList<Event>{trip2}
                                                << "model=0 link=unknown loop1=unknown loop2=alarm fault=-1";
        QTest::newRow("trip under the other trip code") << QList<Event>{otherTrip1}
                                                        << "model=1 link=unknown loop1=alarm loop2=unknown fault=-1";
        QTest::newRow("fault of a sensor not yet named") << QList<Event>{brokenFlank1}
                                                         << "model=-1 link=unknown loop1=unknown loop2=unknown fault=4";
        QTest::newRow("disconnected") << QList<Event>{connected, linkBack, arm1, disconnected} << "removed";
    }

    void derivedSensorState()
    {
        QFETCH(QList<Event>, events);
        QFETCH(QString, expected);

        SensorStates states;
        for (int i = 0; i < events.size(); ++i) {
            const EventRecord record = makeRecord(1001, events[i], i);
            states.apply({{today, i}, record, record.textString()});
        }
        QCOMPARE(summary(states, 1001), expected);
        const std::optional<SensorStates> restored = SensorStates::fromJson(states.toJson());
        QVERIFY(restored);
        QVERIFY(restored->sensors() == states.sensors());
    }

    // Which records the follower hands out, step by step, as the clock
    // moves: torn tails wait, a day is finished a little after midnight,
    // days without a file are passed over.
    void followsTheDailyFiles_data()
    {
        QTest::addColumn<QList<int>>("files");   // records per day, today-3 to today; -1: no file
        QTest::addColumn<int>("tornBytes");      // a partial record at the end of one day's file
        QTest::addColumn<int>("tornDay");        // that day, -3 to 0
        QTest::addColumn<QList<QTime>>("clock"); // the time of day at each step (today)
        QTest::addColumn<QStringList>("reads");  // the ids read at each step

        using T = QTime;
        QTest::newRow("torn tail waits") << QList<int>{-1, -1, -1, 2} << 100 << 0 << QList<T>{T(10, 0), T(23, 0)}
                                         << QStringList{"08.12.2026#0 08.12.2026#1", ""};
        QTest::newRow("midnight, after the grace") << QList<int>{-1, -1, 2, 1} << 0 << 0
                                                   << QList<T>{T(0, 0, 1), T(0, 0, 3)}
                                                   << QStringList{"07.12.2026#0 07.12.2026#1", "08.12.2026#0"};
        QTest::newRow("torn tail of a finished day is skipped") << QList<int>{-1, -1, 1, 1} << 200 << -1
                                                                << QList<T>{T(10, 0)}
                                                                << QStringList{"07.12.2026#0 08.12.2026#0"};
        QTest::newRow("days without a file are passed over") << QList<int>{1, -1, 2, -1} << 0 << 0
                                                             << QList<T>{T(10, 0)}
                                                             << QStringList{"05.12.2026#0 07.12.2026#0 07.12.2026#1"};
        // -2: a FIFO in the day's place, which an open would wait on for ever.
        QTest::newRow("a FIFO is passed over") << QList<int>{1, -2, 2, -1} << 0 << 0 << QList<T>{T(10, 0)}
                                               << QStringList{"05.12.2026#0 07.12.2026#0 07.12.2026#1"};
    }

    void followsTheDailyFiles()
    {
        QFETCH(QList<int>, files);
        QFETCH(int, tornBytes);
        QFETCH(int, tornDay);
        QFETCH(QList<QTime>, clock);
        QFETCH(QStringList, reads);

        WorkDir dir;
        for (int i = 0; i < files.size(); ++i) {
            const QDate day = today.addDays(i - 3);
            if (files[i] == -2) {
                QVERIFY(::mkfifo(QFile::encodeName(dailyPath(dir, day)).constData(), 0600) == 0);
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is not read")));
            }
            for (int r = 0; r < files[i]; ++r)
                appendFile(dailyPath(dir, day), bytesOf(makeRecord(1001, trip1, r)));
            if (tornBytes > 0 && i - 3 == tornDay)
                appendFile(dailyPath(dir, day), bytesOf(makeRecord(1001, normal1)).left(tornBytes));
        }
        if (tornDay < 0)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("ends in a partial record .* skipped")));
        FakeClock fakeClock;
        DailyFollower follower(dir.path(), fakeClock);
        follower.seek({today.addDays(-3), 0});
        for (int step = 0; step < clock.size(); ++step) {
            fakeClock.current = QDateTime(today, clock[step]);
            QStringList ids;
            for (QList<StampedRecord> got = follower.read(2); !got.isEmpty(); got = follower.read(2)) {
                for (const StampedRecord &stamped : got)
                    ids << stamped.position.id();
            }
            QCOMPARE(ids.join(u' '), reads[step]);
        }
    }

    // The settings from the file and the command line, and the secrets
    // refused when other users could read them.
    void settings_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("passwordMode"); // octal permissions of the password file
        QTest::addColumn<QString>("expected"); // the settings, or the start of the error

        const QStringList password{"--username", "post1", "--password-file", "PASSWORD"};
        QTest::newRow("password file others may read") << "" << password << 0644 << "password-file PASSWORD is open to every user";
        QTest::newRow("password file the group may read") << "" << password << 0640 << "localhost:1883 tls=0 password=secret";
        QTest::newRow("unknown key in the file") << "host=central\nhots=central\n" << QStringList{} << 0 << "unknown key \"hots\"";
        QTest::newRow("the command line wins") << "host=central\nport=1884\n" << QStringList{"--host", "backup"} << 0
                                               << "backup:1884 tls=0 password=";
        QTest::newRow("a CA file means TLS") << "ca-file=CONFIG\n" << QStringList{} << 0 << "localhost:8883 tls=1 password=";
        QTest::newRow("a time zone the system does not know") << "" << QStringList{"--time-zone", "Mars/Olympus"} << 0
                                                              << "time-zone \"Mars/Olympus\" is not";
        QTest::newRow("a site is one topic level") << "" << QStringList{"--site", "north/gate"} << 0 << "site \"north/gate\" must be";
    }

    void settings()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, arguments);
        QFETCH(int, passwordMode);
        QFETCH(QString, expected);

        WorkDir dir;
        const QString configPath = dir.file(QStringLiteral("uplink.conf"));
        const QString passwordPath = dir.file(QStringLiteral("password"));
        appendFile(passwordPath, "secret\n");
        ::chmod(QFile::encodeName(passwordPath).constData(), mode_t(passwordMode ? passwordMode : 0600));
        appendFile(configPath, file.replace(QLatin1String("CONFIG"), configPath).toUtf8());
        arguments.replaceInStrings(QStringLiteral("PASSWORD"), passwordPath);
        if (!file.isEmpty())
            arguments << QStringLiteral("--config") << configPath;

        QCommandLineParser parser;
        addOptions(parser);
        QVERIFY(parser.parse(QStringList{QStringLiteral("dorvan-uplink")} + arguments));
        QString error;
        const std::optional<UplinkConfig> config = configFrom(parser, &error);
        const QString got = config ? QStringLiteral("%1 tls=%2 password=%3")
                                         .arg(config->broker.name())
                                         .arg(config->broker.tls)
                                         .arg(QString::fromUtf8(config->broker.password))
                                   : error.replace(passwordPath, QStringLiteral("PASSWORD"));
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    // The window against a scripted broker: never more records in flight
    // than allowed, the cursor only over a prefix acknowledged as a whole,
    // a reconnect that publishes again from the cursor, the cursor kept for
    // the next run, and the move to the next day's file.
    void windowAndCursor()
    {
        WorkDir dir;
        for (int i = 0; i < 10; ++i)
            appendFile(dailyPath(dir, today), bytesOf(makeRecord(1001, i % 2 ? normal1 : trip1, i)));
        UplinkSettings settings;
        settings.workDir = dir.path();
        settings.cursorPath = dir.file(QStringLiteral("data/uplink.cursor"));
        settings.site = QStringLiteral("post1");
        settings.fromStart = true;
        settings.window = 4;
        FakeClock clock;
        clock.current = QDateTime(today, QTime(12, 0));
        const QString id = today.toString(u"dd.MM.yyyy") + u'#';

        FakeTransport broker;
        {
            Uplink uplink(settings, broker, clock);
            QString error;
            QVERIFY2(uplink.start(&error), qPrintable(error));
            QCOMPARE(broker.opens, 1);
            emit broker.connected();
            QCOMPARE(broker.published.first().message.topic, QStringLiteral("dorvan/post1/status"));
            QCOMPARE(broker.eventIds(), (QStringList{id + u'0', id + u'1', id + u'2', id + u'3'}));

            broker.acknowledgeEvent(id + u'1');
            QCOMPARE(uplink.cursor().position.id(), id + u'0');
            QCOMPARE(broker.eventIds().size(), 4);
            broker.acknowledgeEvent(id + u'0');
            QCOMPARE(uplink.cursor().position.id(), id + u'2');

            // The connection breaks: everything from the cursor goes out again.
            emit broker.failed(QStringLiteral("connection lost"));
            QCOMPARE(uplink.nextRetryMs(), 2 * Uplink::FirstRetryMs);
            const int mark = int(broker.published.size());
            emit broker.connected();
            QCOMPARE(broker.eventIds(mark).first(), id + u'2');
            QCOMPARE(uplink.nextRetryMs(), Uplink::FirstRetryMs);
            broker.acknowledgeAll(mark);
            QCOMPARE(uplink.cursor().position.id(), id + QStringLiteral("10"));
            QCOMPARE(uplink.inFlight(), 0);

            uplink.stop();
            QCOMPARE(broker.published.last().message.payload, QByteArray("offline"));
            broker.acknowledgeAll(int(broker.published.size()) - 1);
            QCOMPARE(broker.closes, 1);
        }

        // The next run starts at the saved cursor, with the sensor's state.
        appendFile(dailyPath(dir, today), bytesOf(makeRecord(1001, trip1, 20)));
        FakeTransport again;
        Uplink uplink(settings, again, clock);
        QString error;
        QVERIFY2(uplink.start(&error), qPrintable(error));
        QVERIFY(uplink.cursor().states.find(1001));
        QCOMPARE(uplink.cursor().states.find(1001)->loops[0], SensorState::Loop::Normal);
        emit again.connected();
        QCOMPARE(again.eventIds(), QStringList{id + QStringLiteral("10")});
        const QList<FakeTransport::Sent> &sent = again.published;
        QVERIFY(std::any_of(sent.cbegin(), sent.cend(), [](const FakeTransport::Sent &s) {
            return s.message.topic == QLatin1String("dorvan/post1/sensor/1001/state") && s.message.retain
                   && s.message.payload.contains("\"loop1\":\"alarm\"");
        }));
        again.acknowledgeAll();

        // Past midnight and its grace the next day's file is followed.
        clock.current = QDateTime(today.addDays(1), QTime(0, 0, 5));
        appendFile(dailyPath(dir, today.addDays(1)), bytesOf(makeRecord(1001, normal1)));
        const int mark = int(again.published.size());
        uplink.pump();
        QCOMPARE(again.eventIds(mark), QStringList{today.addDays(1).toString(u"dd.MM.yyyy") + QStringLiteral("#0")});
        again.acknowledgeAll(mark);
        QCOMPARE(uplink.cursor().position.id(), today.addDays(1).toString(u"dd.MM.yyyy") + QStringLiteral("#1"));
    }

    // A sensor's retained state never goes back to one older than the
    // station was already sent, whatever acknowledgements were lost: on a
    // reconnection, and on a restart from a cursor that lags behind.
    void statesOnlyMoveForward_data()
    {
        QTest::addColumn<int>("acknowledged"); // records acknowledged before the break
        QTest::addColumn<bool>("killed");      // a new uplink starts from the cursor instead of a reconnection

        QTest::newRow("nothing acknowledged, reconnected") << 0 << false;
        QTest::newRow("some acknowledged, reconnected") << 4 << false;
        QTest::newRow("killed with the cursor behind") << 4 << true;
    }

    void statesOnlyMoveForward()
    {
        QFETCH(int, acknowledged);
        QFETCH(bool, killed);

        WorkDir dir;
        const QList<Event> script{connected, linkBack, arm1, trip1, normal1, trip1, arm2, trip2, normal1, disarm1};
        for (int i = 0; i < script.size(); ++i)
            appendFile(dailyPath(dir, today), bytesOf(makeRecord(1001, script[i], i)));
        FakeClock clock;
        clock.current = QDateTime(today, QTime(12, 0));
        const QString topic = QStringLiteral("dorvan/post1/sensor/1001/state");
        const auto acknowledgeUntilDone = [](FakeTransport &broker, Uplink &uplink) {
            for (int round = 0; round < 10 && (round == 0 || uplink.inFlight() > 0); ++round)
                broker.acknowledgeAll();
        };

        FakeTransport first;
        FakeTransport second;
        auto uplink = std::make_unique<Uplink>(settingsFor(dir, 10), first, clock);
        QString error;
        QVERIFY2(uplink->start(&error), qPrintable(error));
        emit first.connected();
        QCOMPARE(first.eventIds().size(), script.size());
        for (int i = 0; i < acknowledged; ++i)
            first.acknowledgeEvent(QStringLiteral("08.12.2026#%1").arg(i));
        if (killed) {
            // The cursor saved a moment before the kill, behind what was sent.
            uplink.reset();
            Cursor behind{{today, acknowledged}, {}, {}};
            for (int i = 0; i < acknowledged; ++i) {
                const EventRecord record = makeRecord(1001, script[i], i);
                behind.states.apply({{today, i}, record, record.textString()});
            }
            QVERIFY(CursorFile(dir.file(QStringLiteral("data/uplink.cursor"))).save(behind, &error));
            uplink = std::make_unique<Uplink>(settingsFor(dir, 3), second, clock);
            QVERIFY2(uplink->start(&error), qPrintable(error));
            emit second.connected();
            acknowledgeUntilDone(second, *uplink);
        } else {
            emit first.failed(QStringLiteral("connection lost"));
            emit first.connected();
            acknowledgeUntilDone(first, *uplink);
        }
        const QList<QByteArray> states = first.on(topic) + second.on(topic);
        int newest = -1;
        for (const QByteArray &state : states) {
            const int record = jsonOf(state).value(QStringLiteral("event")).toString().section(u'#', 1).toInt();
            QVERIFY2(record >= newest, state.constData());
            newest = record;
        }
        QCOMPARE(newest, script.size() - 1);
        QCOMPARE(uplink->inFlight(), 0);
        QCOMPARE(uplink->cursor().position.record, script.size());
    }

    // The status renewed with the time it is sent, and the console's
    // liveness: whether a console holds the directory, whether its line made
    // a pass lately by the heartbeat it keeps.
    void heartbeatAndConsole_data()
    {
        QTest::addColumn<bool>("alive");        // a console holds the working directory
        QTest::addColumn<bool>("keepsHeartbeat");
        QTest::addColumn<int>("lastPassAgo");   // seconds
        QTest::addColumn<QString>("line");

        QTest::newRow("console not running") << false << true << 1 << "stopped";
        QTest::newRow("line running") << true << true << 3 << "running";
        QTest::newRow("line stopped") << true << true << 13 << "stopped";
        QTest::newRow("console keeps no heartbeat") << true << false << 0 << "unknown";
        QTest::newRow("clock set back since the last pass") << true << true << -3600 << "stopped";
    }

    void heartbeatAndConsole()
    {
        QFETCH(bool, alive);
        QFETCH(bool, keepsHeartbeat);
        QFETCH(int, lastPassAgo);
        QFETCH(QString, line);

        WorkDir dir;
        FakeClock clock;
        const QDateTime now(today, QTime(12, 0), Qt::UTC);
        LinePasses passes;
        ConsoleHeartbeat console(clock, [&] { return passes; });
        if (keepsHeartbeat) {
            clock.current = now.addSecs(-lastPassAgo - 2);
            console.start(dir.path());
            clock.current = now.addSecs(-lastPassAgo);
            passes = {1, clock.nowUtcMs()};
            console.beat();
            clock.current = now;
            console.beat();
            console.stop();
        }
        clock.current = now;

        FakeTransport broker;
        Uplink uplink(settingsFor(dir), broker, clock);
        bool consoleAlive = alive;
        uplink.setConsoleProbe([&] { return consoleAlive; });
        QString error;
        QVERIFY2(uplink.start(&error), qPrintable(error));
        emit broker.connected();

        const QString consoleTopic = QStringLiteral("dorvan/post1/console");
        QCOMPARE(broker.on(consoleTopic).size(), 1);
        const QJsonObject shown = jsonOf(broker.on(consoleTopic).last());
        QCOMPARE(shown.value(QStringLiteral("running")).toBool(), alive);
        QCOMPARE(shown.value(QStringLiteral("line")).toString(), line);
        QCOMPARE(shown.value(QStringLiteral("last_poll")).toString(),
                 keepsHeartbeat ? now.addSecs(-lastPassAgo).toString(Qt::ISODateWithMs) : QString());
        const auto statusTime = [&] {
            const QJsonObject status = jsonOf(broker.on(QStringLiteral("dorvan/post1/status")).last());
            return QDateTime::fromString(status.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        };
        QCOMPARE(statusTime(), now);
        QCOMPARE(jsonOf(broker.on(QStringLiteral("dorvan/post1/status")).last()).value(QStringLiteral("interval")).toInt(), 30);

        // Unchanged, the console's liveness waits for the heartbeat.
        uplink.checkConsole();
        QCOMPARE(broker.on(consoleTopic).size(), 1);
        clock.advanceMs(30000);
        uplink.heartbeat();
        QCOMPARE(statusTime(), now.addSecs(30));
        QCOMPARE(broker.on(consoleTopic).size(), 2);
        QVERIFY(std::all_of(broker.published.cbegin(), broker.published.cend(), [&](const FakeTransport::Sent &sent) {
            return sent.message.retain || sent.message.topic.endsWith(QLatin1String("/event"));
        }));

        // A console that ends is told at the next look.
        consoleAlive = false;
        uplink.checkConsole();
        QCOMPARE(broker.on(consoleTopic).size(), alive ? 3 : 2);
        QCOMPARE(jsonOf(broker.on(consoleTopic).last()).value(QStringLiteral("running")).toBool(), false);
    }

    // A console that hangs between two beats has made passes its heartbeat
    // never told: wherever in the beat it hangs and wherever the uplink's
    // looks fall, its line is shown stopped 10 to 14 s after the real last pass.
    void hungConsoleShownStoppedInTime_data()
    {
        QTest::addColumn<int>("hangsAfterBeatMs");
        QTest::addColumn<int>("looksAfterBeatMs");

        QTest::newRow("hangs just after a beat") << 50 << 0;
        QTest::newRow("hangs before a beat, looks just after one") << 1950 << 100;
        QTest::newRow("hangs mid-beat, looks just before one") << 1000 << 1950;
    }

    void hungConsoleShownStoppedInTime()
    {
        QFETCH(int, hangsAfterBeatMs);
        QFETCH(int, looksAfterBeatMs);
        WorkDir dir;
        FakeClock clock;
        LinePasses passes{1, clock.nowUtcMs()};
        ConsoleHeartbeat console(clock, [&] { return passes; });
        console.start(dir.path());
        FakeTransport broker;
        Uplink uplink(settingsFor(dir), broker, clock);
        uplink.setConsoleProbe([] { return true; });
        QString error;
        QVERIFY2(uplink.start(&error), qPrintable(error));
        emit broker.connected();

        const int hangsAtMs = 5 * ConsoleHeartbeat::IntervalMs + hangsAfterBeatMs;
        qint64 lastPassAtMs = 0;
        for (int ms = 50; ms <= 30000; ms += 50) {
            clock.advanceMs(50);
            if (ms <= hangsAtMs && ms % 100 == 0) { // the line's 100 ms tick
                passes = {passes.count + 1, clock.nowUtcMs()};
                lastPassAtMs = ms;
            }
            if (ms <= hangsAtMs && ms % ConsoleHeartbeat::IntervalMs == 0)
                console.beat();
            if ((ms - looksAfterBeatMs) % Uplink::ConsoleCheckMs == 0)
                uplink.checkConsole();
            if (broker.on(QStringLiteral("dorvan/post1/console")).last().contains("\"line\":\"stopped\"")) {
                const qint64 afterMs = ms - lastPassAtMs;
                QVERIFY2(ms > hangsAtMs && afterMs >= 10000 && afterMs <= 14000, qPrintable(QString::number(afterMs)));
                return;
            }
        }
        QFAIL("a hung console's line never shown stopped");
    }

    // Whether a console holds a working directory: the process its lock
    // file names must be alive and be dorvan-console.
    void consoleLockProbe_data()
    {
        QTest::addColumn<QString>("holder"); // none, ended, other, console
        QTest::addColumn<bool>("held");

        QTest::newRow("no lock file") << "none" << false;
        QTest::newRow("its process has ended") << "ended" << false;
        QTest::newRow("its number taken by another program") << "other" << false;
        QTest::newRow("a console") << "console" << true;
    }

    void consoleLockProbe()
    {
        QFETCH(QString, holder);
        QFETCH(bool, held);

        WorkDir dir;
        const QString sleeper = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        const QString console = dir.file(QStringLiteral("dorvan-console"));
        QVERIFY(QFile::link(sleeper, console));
        QProcess process;
        if (holder != QLatin1String("none")) {
            process.start(holder == QLatin1String("console") ? console : sleeper, {QStringLiteral("30")});
            QVERIFY(process.waitForStarted());
            appendFile(dir.file(ConsoleLock::fileName()), QByteArray::number(process.processId()) + "\ndorvan-console\nhost\n");
            if (holder == QLatin1String("ended")) {
                process.kill();
                QVERIFY(process.waitForFinished());
            }
        }
        // The new process may show its parent's command line for a moment.
        if (held)
            QVERIFY(QTest::qWaitFor([&] { return consoleHoldsLock(dir.path()); }, 5000));
        QCOMPARE(consoleHoldsLock(dir.path()), held);
        process.kill();
        process.waitForFinished();
    }

    // One uplink per working directory; the lock goes with the uplink.
    void secondUplinkRefused()
    {
        WorkDir dir;
        FakeClock clock;
        FakeTransport broker;
        QString error;
        {
            Uplink first(settingsFor(dir), broker, clock);
            QVERIFY2(first.start(&error), qPrintable(error));
            Uplink second(settingsFor(dir), broker, clock);
            QVERIFY(!second.start(&error));
            QVERIFY2(error.startsWith(QStringLiteral("another dorvan-uplink (process %1) already publishes").arg(::getpid())),
                     qPrintable(error));
            QCOMPARE(broker.opens, 1);
        }
        Uplink after(settingsFor(dir), broker, clock);
        QVERIFY2(after.start(&error), qPrintable(error));
    }

    // A console whose clock was set back writes into a day the cursor has
    // passed: those records are published all the same, once.
    void lateRecords_data()
    {
        QTest::addColumn<int>("day");         // the late day, from today
        QTest::addColumn<int>("before");      // records in its file at the start
        QTest::addColumn<int>("acknowledged"); // of them, as the cursor says; -1: the cursor does not name it
        QTest::addColumn<int>("appended");
        QTest::addColumn<QString>("expected");

        QTest::newRow("a cursor a day ahead") << 0 << 3 << -1 << 2 << "08.12.2026#3 08.12.2026#4";
        QTest::newRow("a day without a file yet") << -7 << 0 << -1 << 2 << "01.12.2026#0 01.12.2026#1";
        QTest::newRow("written while the uplink was down") << -1 << 3 << 1 << 1
                                                           << "07.12.2026#1 07.12.2026#2 07.12.2026#3";
    }

    void lateRecords()
    {
        QFETCH(int, day);
        QFETCH(int, before);
        QFETCH(int, acknowledged);
        QFETCH(int, appended);
        QFETCH(QString, expected);

        WorkDir dir;
        const QString late = dailyPath(dir, today.addDays(day));
        for (int i = 0; i < before; ++i)
            appendFile(late, bytesOf(makeRecord(1001, trip1, i)));
        Cursor ahead{{today.addDays(1), 0}, {}, {}};
        if (acknowledged >= 0)
            ahead.passed[today.addDays(day)] = acknowledged;
        QString error;
        QVERIFY(CursorFile(dir.file(QStringLiteral("data/uplink.cursor"))).save(ahead, &error));
        FakeClock clock;
        clock.current = QDateTime(today, QTime(12, 0));

        QStringList published;
        for (int run = 0; run < 2; ++run) {
            FakeTransport broker;
            Uplink uplink(settingsFor(dir), broker, clock);
            QVERIFY2(uplink.start(&error), qPrintable(error));
            emit broker.connected();
            for (int i = 0; run == 0 && i < appended; ++i)
                appendFile(late, bytesOf(makeRecord(1001, normal1, before + i)));
            clock.advanceMs(Uplink::LateCheckMs);
            uplink.pump();
            published += broker.eventIds();
            broker.acknowledgeAll();
            QCOMPARE(uplink.cursor().position, ahead.position);
            uplink.stop();
            broker.acknowledgeAll();
        }
        QCOMPARE(published.join(u' '), expected);
    }

    // A publish the broker refuses is not delivered: the cursor stays before
    // its record, which goes out again on a new connection. A refused status
    // is only logged.
    void refusedPublish_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<bool>("held");

        QTest::newRow("an event") << "dorvan/post1/event" << true;
        QTest::newRow("the status") << "dorvan/post1/status" << false;
    }

    void refusedPublish()
    {
        QFETCH(QString, topic);
        QFETCH(bool, held);

        WorkDir dir;
        for (int i = 0; i < 3; ++i)
            appendFile(dailyPath(dir, today), bytesOf(makeRecord(1001, trip1, i)));
        FakeClock clock;
        clock.current = QDateTime(today, QTime(12, 0));
        FakeTransport broker;
        Uplink uplink(settingsFor(dir), broker, clock);
        QString error;
        QVERIFY2(uplink.start(&error), qPrintable(error));
        emit broker.connected();
        const auto refused = std::find_if(broker.published.cbegin(), broker.published.cend(),
                                          [&](const FakeTransport::Sent &sent) { return sent.message.topic == topic; });
        QVERIFY(refused != broker.published.cend());
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("refused a publish")));
        emit broker.refused(refused->id, QStringLiteral("fake:1883 refused a publish: not authorised (reason code 0x87)"));
        broker.acknowledgeAll();
        QCOMPARE(broker.closes, held ? 1 : 0);
        QCOMPARE(uplink.cursor().position.record, held ? 0 : 3);
        if (held) {
            // Again, with a longer wait each time it is refused.
            const int mark = int(broker.published.size());
            emit broker.connected();
            QCOMPARE(broker.eventIds(mark).first(), QStringLiteral("08.12.2026#0"));
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("refused a publish")));
            const auto again = std::find_if(broker.published.cbegin() + mark, broker.published.cend(),
                                            [&](const FakeTransport::Sent &sent) { return sent.message.topic == topic; });
            emit broker.refused(again->id, QStringLiteral("fake:1883 refused a publish"));
            QCOMPARE(uplink.nextRetryMs(), 4 * Uplink::FirstRetryMs);
        }
    }

    // A message id given again while the first message with it is in
    // flight: neither acknowledgement can be trusted, so the uplink
    // reconnects and sends again from the cursor, which has not moved.
    void reusedMessageIdSendsAgain()
    {
        WorkDir dir;
        for (int i = 0; i < 2; ++i)
            appendFile(dailyPath(dir, today), bytesOf(makeRecord(1001, trip1, i)));
        FakeClock clock;
        clock.current = QDateTime(today, QTime(12, 0));
        FakeTransport broker;
        Uplink uplink(settingsFor(dir), broker, clock);
        QString error;
        QVERIFY2(uplink.start(&error), qPrintable(error));
        emit broker.connected();
        const auto first = std::find_if(broker.published.cbegin(), broker.published.cend(), [](const FakeTransport::Sent &sent) {
            return sent.message.topic.endsWith(QLatin1String("/event"));
        });
        QVERIFY(first != broker.published.cend());
        broker.nextId = first->id;

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("message id \\d+ given again")));
        appendFile(dailyPath(dir, today), bytesOf(makeRecord(1001, trip1, 2)));
        uplink.pump();
        QCoreApplication::processEvents();
        QCOMPARE(broker.closes, 1);
        broker.acknowledgeAll();
        QCOMPARE(uplink.cursor().position.record, 0);

        const int mark = int(broker.published.size());
        emit broker.connected();
        QCOMPARE(broker.eventIds(mark), (QStringList{"08.12.2026#0", "08.12.2026#1", "08.12.2026#2"}));
    }

    // No exception of a handler unwinds into the event loop: it is logged.
    void handlerExceptionIsLogged()
    {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^poll timer: boom; going on$")));
        guarded("poll timer", [] { throw std::runtime_error("boom"); })();
    }

    // A cursor save that the disk cuts short leaves the cursor as it was.
    void cursorSurvivesAFailedSave()
    {
        WorkDir dir;
        const CursorFile file(dir.file(QStringLiteral("data/uplink.cursor")));
        SensorStates states;
        const EventRecord record = makeRecord(1001, connected);
        states.apply({{today, 0}, record, record.textString()});
        QString error;
        QVERIFY(file.save({{today, 5}, states, {}}, &error));
        {
            const FileSizeLimit limit(40);
            QVERIFY(!file.save({{today, 6}, states, {}}, &error));
        }
        const std::optional<Cursor> loaded = file.load(&error);
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(loaded->position, (EventPosition{today, 5}));
        QVERIFY(loaded->states.sensors() == states.sensors());
    }

    // Event times in the console's zone, whatever the uplink's own; the hour
    // repeated in autumn gets the later (standard time) offset.
    void eventTimeInTheConsolesZone_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QDateTime>("local");
        QTest::addColumn<QString>("expected");

        QTest::newRow("Moscow") << "Europe/Moscow" << QDateTime(today, QTime(9, 0, 0, 125)) << "2026-12-08T09:00:00.125+03:00";
        QTest::newRow("Berlin, winter") << "Europe/Berlin" << QDateTime(today, QTime(9, 0)) << "2026-12-08T09:00:00.000+01:00";
        QTest::newRow("Berlin, the repeated hour") << "Europe/Berlin" << QDateTime(QDate(2026, 10, 25), QTime(2, 30))
                                                   << "2026-10-25T02:30:00.000+01:00";
    }

    void eventTimeInTheConsolesZone()
    {
        QFETCH(QString, zone);
        QFETCH(QDateTime, local);
        QFETCH(QString, expected);

        WorkDir dir;
        appendFile(dailyPath(dir, today),
                    bytesOf(EventRecord::make(1001, toDayCount(local), trip1.code, QString::fromUtf8(trip1.text))));
        UplinkSettings settings = settingsFor(dir);
        settings.timeZone = zone;
        FakeClock clock;
        clock.current = QDateTime(today, QTime(12, 0));
        FakeTransport broker;
        Uplink uplink(settings, broker, clock);
        QString error;
        QVERIFY2(uplink.start(&error), qPrintable(error));
        emit broker.connected();
        QCOMPARE(jsonOf(broker.on(QStringLiteral("dorvan/post1/event")).value(0)).value(QStringLiteral("time")).toString(), expected);
    }

    // The console's heartbeat never stops the console: a write that fails
    // is logged once until one succeeds again.
    void heartbeatWriteFailureLoggedOnce()
    {
        WorkDir dir(false);
        FakeClock clock;
        ConsoleHeartbeat heartbeat(clock, [] { return LinePasses{1, 0}; });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot write .*console.heartbeat")));
        heartbeat.start(dir.path());
        QTest::failOnWarning(QRegularExpression(QStringLiteral("cannot write")));
        heartbeat.beat();
        heartbeat.stop();
        QVERIFY(!ConsoleHeartbeat::read(dir.path()));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data")));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("written again")));
        heartbeat.beat();
        QVERIFY(ConsoleHeartbeat::read(dir.path()));
    }

    // The heartbeat file gets the mode a file made by open(2) would: 0644
    // less the process's umask, whatever the umask.
    void heartbeatFileMode_data()
    {
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("mode");
        QTest::newRow("022") << 022 << 0644;
        QTest::newRow("027") << 027 << 0640;
        QTest::newRow("077") << 077 << 0600;
    }

    void heartbeatFileMode()
    {
        QFETCH(int, umask);
        QFETCH(int, mode);
        WorkDir dir;
        FakeClock clock;
        const mode_t previous = ::umask(mode_t(umask));
        ConsoleHeartbeat heartbeat(clock, [] { return LinePasses{1, 0}; });
        heartbeat.start(dir.path());
        heartbeat.beat();
        heartbeat.stop();
        ::umask(previous);
        QVERIFY(ConsoleHeartbeat::read(dir.path()));
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(dir.file(ConsoleHeartbeat::fileName())).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), mode);
    }
};

QTEST_GUILESS_MAIN(TestUplink)
#include "test_uplink.moc"
