// Fault drills on the real console and simulator: the maintainer's counters
// on SIGUSR1, the port's device unplugged and plugged back, the day's event
// directory gone bad, SIGKILL in the middle of saving, SIGTERM with an alarm open.

#include "consolerun.h"

#include "console/console.h"
#include "fakes.h"

#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>

#include <csignal>
#include <sys/types.h>

using namespace dorvan;
using namespace dorvan::e2e;

namespace {

const QList<Stored> storedSensors{
    {1001, 0, true, true, 100, 0},
    {2001, 1, true, true, 1.25f, 2.5f},
};

const QString standby301 = QStringLiteral("Возврат в дежурное состояние датчика <Дорван-301ДК> № 1001");
const QString standby302 = QStringLiteral("Возврат в дежурное состояние датчика <Дорван-302ДК> № 2001");
const QString trip1001 = QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 1001");

using Fields = QMap<QString, qint64>;

Fields parseFields(const QString &line)
{
    Fields fields;
    for (const QString &word : line.split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype eq = word.indexOf(u'=');
        if (eq > 0)
            fields.insert(word.left(eq), word.mid(eq + 1).toLongLong());
    }
    return fields;
}

// Collects the lines a process writes on one of its channels.
class LineCollector
{
public:
    LineCollector(QProcess &process, QProcess::ProcessChannel channel) : process_(process), channel_(channel) {}

    // The next line starting with `prefix` that arrives after the call, or
    // an empty text at the deadline.
    QString nextLine(const QString &prefix, const std::function<void()> &ask, int timeoutMs = 5000)
    {
        drain();
        const qsizetype seen = lines_.size();
        ask();
        QString found;
        waitUntil([&] {
            drain();
            for (qsizetype i = seen; i < lines_.size(); ++i) {
                if (lines_[i].startsWith(prefix)) {
                    found = lines_[i];
                    return true;
                }
            }
            return false;
        }, timeoutMs);
        return found;
    }

    void drainAll() { drain(); }
    bool contains(const QString &part) const
    {
        return std::any_of(lines_.cbegin(), lines_.cend(), [&part](const QString &line) { return line.contains(part); });
    }

private:
    void drain()
    {
        process_.setReadChannel(channel_);
        while (process_.canReadLine())
            lines_.append(QString::fromUtf8(process_.readLine()).trimmed());
    }

    QProcess &process_;
    QProcess::ProcessChannel channel_;
    QStringList lines_;
};

// Times in the simulator's log are microseconds of a monotonic clock.
qint64 lastLogMicros(const QByteArray &log)
{
    const QList<QByteArray> lines = log.trimmed().split('\n');
    return lines.isEmpty() ? 0 : lines.last().left(lines.last().indexOf(' ')).toLongLong();
}

// The longest time without a request whose text contains `filter`, from
// `fromMicros` to the end of the log.
qint64 longestGapMicros(const QByteArray &log, const QString &filter, qint64 fromMicros)
{
    qint64 last = fromMicros;
    qint64 longest = 0;
    for (const QByteArray &line : log.split('\n')) {
        const qint64 micros = line.left(line.indexOf(' ')).toLongLong();
        if (micros < fromMicros || !line.contains(" req ") || !QString::fromUtf8(line).contains(filter))
            continue;
        longest = qMax(longest, micros - last);
        last = micros;
    }
    return longest;
}

int countEvents(const QList<StoredEvent> &events, int code, const QString &text)
{
    int n = 0;
    for (const StoredEvent &event : events)
        n += event.code == code && event.text == text;
    return n;
}

QList<Stored> thirtyTwoSensors()
{
    QList<Stored> sensors;
    for (int i = 0; i < 32; ++i)
        sensors.append({quint32(i < 16 ? 1001 + i : 2001 + i - 16), qint16(i < 16 ? 0 : 1), true, i % 2 == 0, 1, 2});
    return sensors;
}

// From the simulator's log (times in microseconds): the replug command to
// the first request after it; -1 when there is none.
qint64 microsFromReplugToNextRequest(const QByteArray &log)
{
    qint64 replug = -1;
    for (const QByteArray &line : log.split('\n')) {
        const qint64 micros = line.left(line.indexOf(' ')).toLongLong();
        if (line.endsWith(" cmd replug"))
            replug = micros;
        else if (replug >= 0 && line.contains(" req "))
            return micros - replug;
    }
    return -1;
}

} // namespace

class TestDrills : public QObject
{
    Q_OBJECT

private:
    bool bringUp(ConsoleRun &run, QProcess::ProcessChannelMode mode = QProcess::ForwardedChannels)
    {
        run.storeSensors(storedSensors);
        if (!run.startSimulator({QStringLiteral("1001:0"), QStringLiteral("2001:1")}) || !run.startConsole(mode))
            return false;
        return waitUntil([&] { return run.hasEvent(0, standby301) && run.hasEvent(0, standby302); }, 15000);
    }

    static void signal(ConsoleRun &run, int number) { ::kill(pid_t(run.console().processId()), number); }

    static Fields askConsole(ConsoleRun &run, LineCollector &stderrLines)
    {
        return parseFields(stderrLines.nextLine(QStringLiteral("stats "), [&] { signal(run, SIGUSR1); }));
    }

    static Fields askSimulator(ConsoleRun &run, LineCollector &simLines)
    {
        return parseFields(simLines.nextLine(QStringLiteral("sim-stats "), [&] { run.simCommand(QStringLiteral("stats")); }));
    }

    // The sensor files after a shutdown: state 15, arming and DC components kept.
    static void verifySavedAtShutdown(const ConsoleRun &run)
    {
        for (const Stored &stored : storedSensors) {
            const QByteArray bytes = run.read(ConsoleRun::sensorFile(stored.address, stored.model));
            QCOMPARE(bytes.size(), 232);
            const SensorRecord record = test::lastSensorRecord(bytes);
            QCOMPARE(record.address, stored.address);
            QCOMPARE(record.state, 15);
            QCOMPARE(bool(record.armed1), stored.armed1);
            QCOMPARE(bool(record.armed2), stored.armed2);
            QCOMPARE(record.thresholdDc1, stored.dc1);
        }
    }

private slots:
    // SIGUSR1: one line of counters on standard error; the console goes on.
    void sigusr1WritesTheLineCounters()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run, QProcess::SeparateChannels), "the stored sensors did not come back to standby");
        LineCollector consoleLines(run.console(), QProcess::StandardError);
        LineCollector simLines(run.simulator(), QProcess::StandardOutput);

        const Fields before = askConsole(run, consoleLines);
        QVERIFY2(before.contains(QStringLiteral("tx_frames")), "no stats line on SIGUSR1");
        QCOMPARE(before.value(QStringLiteral("crc_errors")), 0);
        for (int i = 0; i < 2; ++i) {
            const qsizetype spoilt = run.requests().filter(QStringLiteral("+badcrc")).size();
            run.simCommand(QStringLiteral("badcrc"));
            QVERIFY(waitUntil([&] { return run.requests().filter(QStringLiteral("+badcrc")).size() > spoilt; }, 5000));
        }
        QVERIFY(waitUntil([&] { return askConsole(run, consoleLines).value(QStringLiteral("crc_errors")) == 2; }, 5000));

        const Fields sim = askSimulator(run, simLines);
        const Fields after = askConsole(run, consoleLines);
        QCOMPARE(after.value(QStringLiteral("slot_crc_errors")), 2);
        QCOMPARE(sim.value(QStringLiteral("badcrc")), 2);
        QVERIFY(after.value(QStringLiteral("tx_frames")) > before.value(QStringLiteral("tx_frames")));
        QCOMPARE(after.value(QStringLiteral("slot_tx_frames")), after.value(QStringLiteral("tx_frames")));
        QCOMPARE(after.value(QStringLiteral("slot_rx_frames")), after.value(QStringLiteral("rx_frames")));
        QCOMPARE(after.value(QStringLiteral("slot_tx_bytes")), after.value(QStringLiteral("tx_bytes")));
        // Asked one after the other while the line runs: a request or two apart.
        const qint64 drift = after.value(QStringLiteral("tx_frames")) - sim.value(QStringLiteral("requests"));
        QVERIFY2(drift >= 0 && drift <= 3, qPrintable(QString::number(drift)));
        QVERIFY(after.value(QStringLiteral("rx_bytes")) >= after.value(QStringLiteral("slot_rx_bytes")));
        QCOMPARE(run.console().state(), QProcess::Running);
    }

    // The adapter unplugged while polling and plugged back: polling resumes
    // within 5 s by itself, and every link reported lost comes back.
    void unpluggedDeviceComesBackWithoutTheOperator()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run), "the stored sensors did not come back to standby");
        const QString lost301 = QStringLiteral("Нет связи с датчиком <Дорван-301ДК> № 1001");
        const QString lost302 = QStringLiteral("Нет связи с датчиком <Дорван-302ДК> № 2001");
        run.simCommand(QStringLiteral("unplug"));
        // Either the misses reach the loss before the four-second reopen
        // fails, or the failed reopen stops polling first; both are sound.
        waitUntil([&] { return run.hasEvent(15, lost301) && run.hasEvent(15, lost302); }, 8000);
        const int lostLinks = countEvents(run.dailyEvents(), 15, lost301) + countEvents(run.dailyEvents(), 15, lost302);
        const qsizetype before = run.requests().size();
        run.simCommand(QStringLiteral("replug"));
        QVERIFY2(waitUntil([&] { return run.requests().size() > before; }, 8000), "no request after the replug");
        const qint64 resumedMs = microsFromReplugToNextRequest(run.read(QStringLiteral("sim.log"))) / 1000;
        QVERIFY2(resumedMs >= 0 && resumedMs < 5000, qPrintable(QStringLiteral("%1 ms").arg(resumedMs)));
        const auto restored = [&] {
            const QList<StoredEvent> events = run.dailyEvents();
            return countEvents(events, 32, QStringLiteral("Восстановлена связь с датчиком <Дорван-301ДК> № 1001"))
                       + countEvents(events, 32, QStringLiteral("Восстановлена связь с датчиком <Дорван-302ДК> № 2001"));
        };
        QVERIFY(waitUntil([&] { return restored() == 2 + lostLinks; }, 10000));
        QVERIFY(waitUntil([&] { return run.requestsTo(1001).size() > 3 && run.requestsTo(2001).size() > 3; }, 5000));
        qInfo("links lost while unplugged: %d; first request %lld ms after the replug", lostLinks, resumedMs);
    }

    // QReport replaced by a file while two sensors answer and then one falls
    // silent: the day's events cannot be written and the reports of it stay
    // open (nobody presses OK), but the line never waits: the other sensor
    // is polled at the usual cadence, its trip lands in its own event file,
    // no answering sensor is declared lost, and SIGTERM ends the run.
    void unwritableReportDirectoryStopsNothingElse()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run, QProcess::SeparateChannels), "the stored sensors did not come back to standby");
        LineCollector consoleLines(run.console(), QProcess::StandardError);
        QVERIFY(QDir(run.path()).rename(QStringLiteral("QReport"), QStringLiteral("QReport.away")));
        {
            QFile blocker(run.file(QStringLiteral("QReport")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        const auto sensorHas = [&](const QString &file, int code, const QString &text) {
            return countEvents(ConsoleRun::readEvents(run.file(file)), code, text);
        };
        const qint64 blockedAt = lastLogMicros(run.read(QStringLiteral("sim.log")));
        run.simCommand(QStringLiteral("silent 2001"));
        QVERIFY(waitUntil([&] { return sensorHas(QStringLiteral("Dorvan302DK_mess/2001"), 15,
                                                 QStringLiteral("Нет связи с датчиком <Дорван-302ДК> № 2001")) == 1; },
                          10000));
        run.simCommand(QStringLiteral("trip 1001 1"));
        QVERIFY(waitUntil([&] { return sensorHas(QStringLiteral("Dorvan301DK_mess/1001"), 33, trip1001) == 1; }, 10000));
        run.simCommand(QStringLiteral("fault 1001 9"));
        QVERIFY(waitUntil([&] { return sensorHas(QStringLiteral("Dorvan301DK_mess/1001"), 9,
                                                 QStringLiteral("Ошибка ППЗУ датчика <Дорван-301ДК> № 1001")) == 1; },
                          10000));

        const Fields counters = askConsole(run, consoleLines);
        QVERIFY2(!counters.isEmpty(), "no answer to SIGUSR1 while the reports are open");
        // Two sensors and the idle tick: a request to 1001 every 300 ms; the
        // four-second reopen of the port may cost one tick more.
        const qint64 gapMs = longestGapMicros(run.read(QStringLiteral("sim.log")), QStringLiteral("addr=1001 "), blockedAt) / 1000;
        qInfo("longest gap between requests to 1001 with the reports open: %lld ms", gapMs);
        QVERIFY2(gapMs <= 450, qPrintable(QStringLiteral("%1 ms").arg(gapMs)));
        QCOMPARE(sensorHas(QStringLiteral("Dorvan301DK_mess/1001"), 15,
                           QStringLiteral("Нет связи с датчиком <Дорван-301ДК> № 1001")), 0);

        const QString ended = run.endByTerm();
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
        verifySavedAtShutdown(run);
        QCOMPARE(QFileInfo(run.file(QStringLiteral("QReport"))).size(), 0);
        consoleLines.drainAll();
        QVERIFY(consoleLines.contains(QStringLiteral("dorvan.events warning Ошибка: Put_msg: не открылся файл QReport\\")));
    }

    // SIGTERM at moments when a box is open or a file cannot be written: at
    // start-up without data/ (the "Ini_Hw" report), at start-up without
    // QReport/ (which must not hold polling back either), and with hw.dat
    // unwritable at shutdown. The console ends within a second, with status
    // 0, and the shutdown saves what it can.
    void sigtermEndsTheRunAtAnyMoment_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no data/") << "data" << "Ini_Hw: не открылся файл hw.dat";
        QTest::newRow("no QReport/") << "QReport" << "Put_msg: не открылся файл QReport";
        QTest::newRow("hw.dat unwritable") << "hw.dat" << "";
    }

    void sigtermEndsTheRunAtAnyMoment()
    {
        QFETCH(QString, damage);
        QFETCH(QString, logged);
        ConsoleRun run;
        run.storeSensors(storedSensors);
        if (damage == QLatin1String("data"))
            QVERIFY(QDir(run.file(QStringLiteral("data"))).removeRecursively());
        if (damage == QLatin1String("QReport"))
            QVERIFY(QDir(run.path()).rmdir(QStringLiteral("QReport")));
        QVERIFY(run.startSimulator({QStringLiteral("1001:0"), QStringLiteral("2001:1")}));
        QVERIFY(run.startConsole(QProcess::SeparateChannels));
        LineCollector consoleLines(run.console(), QProcess::StandardError);
        if (damage != QLatin1String("data"))
            QVERIFY2(waitUntil([&] { return run.requestsTo(1001).size() >= 3; }, 5000), "nothing polled");
        if (damage == QLatin1String("hw.dat")) {
            // Root may write anywhere: a directory in its place makes the save fail.
            QVERIFY(QFile::remove(run.file(QStringLiteral("data/hw.dat"))));
            QVERIFY(QDir(run.path()).mkdir(QStringLiteral("data/hw.dat")));
            logged = QStringLiteral("Save_Hw: не открылся файл hw.dat");
        } else {
            QVERIFY(waitUntil([&] { consoleLines.drainAll(); return consoleLines.contains(logged); }, 5000));
        }

        QElapsedTimer timer;
        timer.start();
        const QString ended = run.endByTerm(5000);
        const qint64 exitMs = timer.elapsed();
        qInfo("exit %lld ms after SIGTERM", exitMs);
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
        QVERIFY2(exitMs < 1000, qPrintable(QString::number(exitMs)));
        consoleLines.drainAll();
        QVERIFY(consoleLines.contains(logged));
        if (damage == QLatin1String("data"))
            return;
        verifySavedAtShutdown(run);
        // Nothing was polled or decoded once the shutdown began.
        const QList<StoredEvent> events = ConsoleRun::readEvents(run.file(QStringLiteral("Dorvan301DK_mess/1001")));
        QVERIFY(!events.isEmpty());
        QVERIFY(events.last().code != 32);
    }

    // SIGKILL at random moments of a burst of in-place saves: the next start
    // finds a whole hw.dat and a whole record in every sensor file.
    void sigkillDuringSavesLeavesWholeFiles()
    {
        ConsoleRun run;
        const QList<Stored> sensors = thirtyTwoSensors();
        run.storeSensors(sensors);
        int tornRecords = 0;
        // DORVAN_DRILL_KILLS=N runs the drill longer, for a figure rather than a test.
        const int kills = qMax(8, qEnvironmentVariableIntValue("DORVAN_DRILL_KILLS"));
        for (int kill = 0; kill < kills; ++kill) {
            QProcess helper;
            helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            helper.start(binDir() + QStringLiteral("/savebursthelper"), {run.path()});
            QVERIFY(helper.waitForStarted(5000));
            QVERIFY(waitUntil([&] { return helper.canReadLine(); }, 10000));
            QTest::qWait(int(QRandomGenerator::global()->bounded(5, 120)));
            ::kill(pid_t(helper.processId()), SIGKILL);
            QVERIFY(helper.waitForFinished(5000));
            QCOMPARE(helper.exitStatus(), QProcess::CrashExit);

            QCOMPARE(run.read(QStringLiteral("data/hw.dat")).size(), 198);
            for (const Stored &stored : sensors) {
                const QByteArray bytes = run.read(ConsoleRun::sensorFile(stored.address, stored.model));
                QVERIFY2(bytes.size() > 0 && bytes.size() % 232 == 0, qPrintable(QString::number(bytes.size())));
                const SensorRecord record = test::lastSensorRecord(bytes);
                QCOMPARE(record.address, stored.address);
                const bool whole = record.thresholdDc1 == float(record.connectedAt)
                                   && record.thresholdDc2 == record.thresholdDc1;
                tornRecords += !whole;
            }
            test::FakePrompter prompter;
            test::FakeClock clock;
            test::FakeSerialLine line;
            test::FakeAlarmSound sound;
            Console console(prompter, clock, line, sound);
            console.FormCreate(run.path());
            QVERIFY2(prompter.shown.isEmpty(), qPrintable(prompter.texts().join(u'|')));
            QCOMPARE(console.parts().table.Count_sensors(), 32);
        }
        qInfo("torn sensor records after %d kills: %d", kills, tornRecords);
        QCOMPARE(tornRecords, 0);
    }

    // SIGTERM while an armed loop's alarm is open: a clean, quick exit.
    void sigtermDuringAnOpenAlarmShutsDownCleanly()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run), "the stored sensors did not come back to standby");
        run.simCommand(QStringLiteral("trip 1001 1"));
        QVERIFY(waitUntil([&] { return run.hasEvent(33, trip1001); }, 10000));
        QElapsedTimer timer;
        timer.start();
        const QString ended = run.endByTerm(5000);
        qInfo("exit %lld ms after SIGTERM", qint64(timer.elapsed()));
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
        QVERIFY(run.endedWithExitEvent());
        verifySavedAtShutdown(run);
        QCOMPARE(int(test::lastSensorRecord(run.read(QStringLiteral("Dorvan301DK/1001"))).alarm1), 1);
    }
};

QTEST_GUILESS_MAIN(TestDrills)
#include "test_drills.moc"
