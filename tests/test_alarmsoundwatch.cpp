// Whether the alarm is heard is judged by the output's progress: an output
// that stalls, fails or has gone is beeped over at once, and tried again.

#include "sound/alarmsoundwatch.h"

#include "fakes.h"
#include "logcapture.h"

#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

using Stream = FakeAlarmOutput::Stream;

struct Fixture
{
    FakeAlarmOutput output;
    AlarmSoundWatch watch{output};

    // Ticks as the sound's timer would, up to and including untilMs.
    void runUntil(qint64 untilMs)
    {
        while (output.nowMs + AlarmSoundWatch::TickMs <= untilMs) {
            output.nowMs += AlarmSoundWatch::TickMs;
            watch.tick(output.nowMs);
        }
    }
    void start()
    {
        const int opens = output.opens;
        watch.start(QStringLiteral("Error.wav"), output.nowMs);
        QCOMPARE(output.opens, opens); // nothing on the caller's path
        watch.tick(output.nowMs);      // the queued first tick
    }
};

QList<qint64> everySecond(qint64 from, qint64 to)
{
    QList<qint64> times;
    for (qint64 t = from; t <= to; t += 1000)
        times.append(t);
    return times;
}

} // namespace

Q_DECLARE_METATYPE(dorvan::test::FakeAlarmOutput::Stream)

class TestAlarmSoundWatch : public QObject
{
    Q_OBJECT

private slots:
    // One alarm of 15 s: the first stream, then every stream opened before
    // recoverMs behaves as `later`, every one after it plays.
    void oneAlarm_data()
    {
        QTest::addColumn<Stream>("first");
        QTest::addColumn<Stream>("later");
        QTest::addColumn<qint64>("recoverMs");
        QTest::addColumn<QList<qint64>>("beeps");
        QTest::addColumn<int>("opens");
        QTest::addColumn<bool>("heardAtEnd");

        const qint64 never = 1'000'000;
        QTest::newRow("plays") << Stream{} << Stream{} << never << QList<qint64>() << 1 << true;
        // "Playing" but nothing goes out from 2 s on: beep a second later and
        // a new stream at once, which plays.
        QTest::newRow("stalls while playing") << Stream{2000, -1} << Stream{} << qint64(0) << QList<qint64>{3000}
                                              << 2 << true;
        // Retries at once, then every 5 s: 1.25 s, 7.25 s, 13.25 s.
        QTest::newRow("never starts") << Stream{0, -1} << Stream{0, -1} << never << everySecond(1000, 15000) << 4
                                      << false;
        // The server dies at 1.5 s and is back at 7 s: the retry at once
        // still fails, the one at 7 s plays.
        QTest::newRow("server gone and back") << Stream{-1, 1500} << Stream{-1, 0} << qint64(7000)
                                              << everySecond(1500, 6500) << 3 << true;
        QTest::newRow("no output device") << Stream{-1, 0} << Stream{-1, 0} << never << everySecond(250, 14250)
                                          << 4 << false;
    }

    void oneAlarm()
    {
        QFETCH(Stream, first);
        QFETCH(Stream, later);
        QFETCH(qint64, recoverMs);
        QFETCH(QList<qint64>, beeps);
        QFETCH(int, opens);
        QFETCH(bool, heardAtEnd);

        Fixture f;
        f.output.nextStream = [&, firstDone = false](qint64 openedMs) mutable {
            const bool isFirst = !firstDone;
            firstDone = true;
            return isFirst ? first : openedMs < recoverMs ? later : Stream{};
        };
        LogCapture log;
        f.start();
        f.runUntil(15000);

        QCOMPARE(f.output.beeps, beeps);
        QCOMPARE(f.output.opens, opens);
        QCOMPARE(f.watch.heard(), heardAtEnd);
        QCOMPARE(f.watch.beeping(), !heardAtEnd);
        // One warning per failure, however many retries fail.
        const int warnings = int(log.linesWith({QStringLiteral("dorvan.events"), QStringLiteral("сервер недоступен")}).size()
                                 + log.linesWith({QStringLiteral("dorvan.events"), QStringLiteral("не начался")}).size()
                                 + log.linesWith({QStringLiteral("dorvan.events"), QStringLiteral("остановился")}).size());
        QCOMPARE(warnings, beeps.isEmpty() ? 0 : 1);

        f.watch.stop();
        QCOMPARE(f.output.closes, f.output.opens);
        f.runUntil(20000);
        QCOMPARE(f.output.beeps, beeps);
        QCOMPARE(f.output.opens, opens);
    }

    // 30 alarms, each given the all-clear after 3 s, on an output that plays,
    // stalls or is gone in turn: every alarm is heard or beeped within the
    // stall time, every one gets a stream of its own, and the all-clear ends
    // every stream and every beep.
    void thirtyAlarmsAndAllClears()
    {
        Fixture f;
        int cycle = 0;
        f.output.nextStream = [&cycle](qint64) {
            switch (cycle % 3) {
            case 0: return Stream{};
            case 1: return Stream{500, -1};
            default: return Stream{-1, 0};
            }
        };
        int silent = 0;
        for (cycle = 0; cycle < 30; ++cycle) {
            const qint64 startMs = f.output.nowMs;
            const int opens = f.output.opens;
            const qsizetype beepsBefore = f.output.beeps.size();
            f.start();
            QCOMPARE(f.output.opens, opens + 1);
            bool heardOrBeeped = false;
            while (f.output.nowMs < startMs + 3000) {
                f.runUntil(f.output.nowMs + AlarmSoundWatch::TickMs);
                const bool inTime = f.output.nowMs <= startMs + 500 + AlarmSoundWatch::StallMs + AlarmSoundWatch::TickMs;
                heardOrBeeped = heardOrBeeped || (inTime && (f.watch.heard() || f.output.beeps.size() > beepsBefore));
            }
            silent += heardOrBeeped ? 0 : 1;
            QCOMPARE(f.output.beeps.size() > beepsBefore, cycle % 3 != 0);
            f.watch.stop();
            QVERIFY(!f.watch.beeping());
            QCOMPARE(f.output.closes, f.output.opens);
            const qsizetype beepsAtAllClear = f.output.beeps.size();
            f.runUntil(f.output.nowMs + 1000);
            QCOMPARE(f.output.beeps.size(), beepsAtAllClear);
        }
        QCOMPARE(silent, 0);
        QCOMPARE(f.output.opens, 30 + 20); // the failed ones were retried at once
    }
};

QTEST_GUILESS_MAIN(TestAlarmSoundWatch)
#include "test_alarmsoundwatch.moc"
