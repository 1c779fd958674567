// The uplink's per-minute signal telemetry, read from the console's trend
// store: which minutes go out, when, and what a message says.

#include "fakes.h"
#include "workdir.h"

#include "trends/trendrecorder.h"
#include "trends/trendstore.h"
#include "uplink/signalpublisher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;
using namespace dorvan::uplink;

namespace {

constexpr qint64 MinuteMs = 60 * 1000;

class TelemetrySink : public mqtt::Transport
{
public:
    void open(const Message &) override {}
    int publish(const Message &) override { return -1; }
    bool publishTelemetry(const Message &message) override
    {
        sent.append(message);
        return true;
    }
    void close() override {}
    QString brokerName() const override { return QStringLiteral("sink"); }
    void up() { emit connected(); }
    void down() { emit failed(QStringLiteral("gone")); }

    QList<Message> sent;
};

// The UTC minutes of the messages sent, in order.
QList<qint64> sentMinutes(const TelemetrySink &sink)
{
    QList<qint64> minutes;
    for (const Message &m : sink.sent)
        minutes.append(QJsonDocument::fromJson(m.payload).object().value(QStringLiteral("utcMs")).toInteger()
                       / MinuteMs);
    return minutes;
}

} // namespace

class TestUplinkSignals : public QObject
{
    Q_OBJECT

private slots:
    void minutesGoOutOnceWhenOver_data();
    void minutesGoOutOnceWhenOver();
};

void TestUplinkSignals::minutesGoOutOnceWhenOver_data()
{
    // Replies every 10 s from 3 minutes before the start to 5 minutes after
    // it; the broker away from `downFrom` to `downTo` (minutes after the
    // start, -1: never); the publisher asked every 10 s until `until`.
    QTest::addColumn<int>("downFrom");
    QTest::addColumn<int>("downTo");
    QTest::addColumn<int>("until");
    QTest::addColumn<QList<qint64>>("expected"); // minutes after the start's minute

    QTest::newRow("each minute once, the one under way not yet") << -1 << -1 << 4 << QList<qint64>{0, 1, 2, 3};
    QTest::newRow("minutes missed while away go on reconnecting") << 1 << 3 << 4 << QList<qint64>{0, 1, 2, 3};
    QTest::newRow("all over") << -1 << -1 << 7 << QList<qint64>{0, 1, 2, 3, 4, 5, 6};
}

void TestUplinkSignals::minutesGoOutOnceWhenOver()
{
    QFETCH(int, downFrom);
    QFETCH(int, downTo);
    QFETCH(int, until);
    QFETCH(QList<qint64>, expected);

    WorkDir dir;
    FakeClock clock;
    clock.current = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 10), QTimeZone::utc());
    const qint64 start = clock.nowUtcMs();
    const qint64 startMinute = (start - SignalPublisher::SettleMs) / MinuteMs;
    {
        TrendStore store(TrendRecorder::storePath(dir.path()));
        QVERIFY(store.open());
        std::vector<TrendSample> samples;
        for (qint64 t = start - 3 * MinuteMs; t < start + 6 * MinuteMs; t += 10000) {
            TrendSample s;
            s.utcMs = t;
            s.address = 2001;
            s.model = 1;
            s.threshold1 = s.threshold2 = 1.5f;
            s.signal1 = float(t % 7);
            s.replyMs = 5;
            samples.push_back(s);
        }
        QVERIFY(store.write(samples, start));
    }
    TelemetrySink sink;
    const Topics topics{QStringLiteral("dorvan"), QStringLiteral("north")};
    SignalPublisher publisher(dir.path(), topics, sink, clock);
    publisher.start();
    sink.up();
    for (qint64 at = 0; at <= until * MinuteMs; at += 10000) {
        const int minute = int(at / MinuteMs);
        if (minute == downFrom && at % MinuteMs == 0)
            sink.down();
        if (minute == downTo && at % MinuteMs == 0)
            sink.up();
        clock.current = QDateTime::fromMSecsSinceEpoch(start + at, QTimeZone::utc());
        publisher.publishDue();
    }
    QList<qint64> got = sentMinutes(sink);
    for (qint64 &m : got)
        m -= startMinute;
    QCOMPARE(got, expected);
    const QJsonObject first = QJsonDocument::fromJson(sink.sent.value(0).payload).object();
    QCOMPARE(sink.sent.value(0).topic, QStringLiteral("dorvan/north/sensor/2001/signal"));
    QCOMPARE(sink.sent.value(0).retain, false);
    QCOMPARE(first.value(QStringLiteral("address")).toInt(), 2001);
    QCOMPARE(first.value(QStringLiteral("replies")).toInt(), 6);
    QCOMPARE(first.value(QStringLiteral("threshold1")).toObject().value(QStringLiteral("max")).toDouble(), 1.5);
}

QTEST_GUILESS_MAIN(TestUplinkSignals)
#include "test_uplinksignals.moc"
