// The uplink's decisions without a broker: the sensor states it derives from
// events, how it follows the daily files across torn tails and midnights,
// the window and the cursor against a scripted broker, and its settings.

#include "uplink/uplink.h"

#include "base/daycount.h"
#include "fakes.h"
#include "workdir.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

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

QByteArray bytesOf(const EventRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

void appendBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
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
const Event normal1{0, "Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № %1"};
const Event standby{0, "Возврат в дежурное состояние датчика <Дорван-301ДК> № %1"};
const Event brokenFlank1{4, "Обрыв чувствительного элемента первого фланга датчика <Дорван-302ДК> № %1"};
const Event startOfWork{20, "Начало работы"};
const Event disconnected{31, "Датчик <Дорван-301ДК> № %1 отключён. Оператор: Иванов"};

QString summary(const SensorStates &states)
{
    const SensorState *state = states.find(1001);
    if (!state)
        return QStringLiteral("removed");
    static const char *const links[] = {"unknown", "up", "lost"};
    static const char *const loops[] = {"unknown", "disarmed", "normal", "alarm"};
    return QStringLiteral("model=%1 link=%2 loop1=%3 loop2=%4 fault=%5")
        .arg(state->model)
        .arg(QLatin1String(links[int(state->link)]), QLatin1String(loops[int(state->loops[0])]),
             QLatin1String(loops[int(state->loops[1])]))
        .arg(state->faultCode);
}

// Stands in for the broker connection: records what is published and lets
// the test connect, fail and acknowledge.
class FakeTransport : public MqttTransport
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
        QCOMPARE(summary(states), expected);
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
            for (int r = 0; r < files[i]; ++r)
                appendBytes(dailyPath(dir, day), bytesOf(makeRecord(1001, trip1, r)));
            if (tornBytes > 0 && i - 3 == tornDay)
                appendBytes(dailyPath(dir, day), bytesOf(makeRecord(1001, normal1)).left(tornBytes));
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
        appendBytes(passwordPath, "secret\n");
        ::chmod(QFile::encodeName(passwordPath).constData(), mode_t(passwordMode ? passwordMode : 0600));
        appendBytes(configPath, file.replace(QLatin1String("CONFIG"), configPath).toUtf8());
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
            appendBytes(dailyPath(dir, today), bytesOf(makeRecord(1001, i % 2 ? normal1 : trip1, i)));
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
        appendBytes(dailyPath(dir, today), bytesOf(makeRecord(1001, trip1, 20)));
        FakeTransport again;
        Uplink uplink(settings, again, clock);
        QString error;
        QVERIFY2(uplink.start(&error), qPrintable(error));
        emit again.connected();
        QCOMPARE(again.eventIds(), QStringList{id + QStringLiteral("10")});
        const QList<FakeTransport::Sent> &sent = again.published;
        QVERIFY(std::any_of(sent.cbegin(), sent.cend(), [](const FakeTransport::Sent &s) {
            return s.message.topic == QLatin1String("dorvan/post1/sensor/1001/state") && s.message.retain
                   && s.message.payload.contains("\"loop1\":\"normal\"");
        }));
        again.acknowledgeAll();

        // Past midnight and its grace the next day's file is followed.
        clock.current = QDateTime(today.addDays(1), QTime(0, 0, 5));
        appendBytes(dailyPath(dir, today.addDays(1)), bytesOf(makeRecord(1001, normal1)));
        const int mark = int(again.published.size());
        uplink.pump();
        QCOMPARE(again.eventIds(mark), QStringList{today.addDays(1).toString(u"dd.MM.yyyy") + QStringLiteral("#0")});
        again.acknowledgeAll(mark);
        QCOMPARE(uplink.cursor().position.id(), today.addDays(1).toString(u"dd.MM.yyyy") + QStringLiteral("#1"));
    }
};

QTEST_GUILESS_MAIN(TestUplink)
#include "test_uplink.moc"
