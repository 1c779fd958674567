// Intake of the central station into its journal: events of 200 posts, a
// fifth of them trips and returns with their sensors' states, handed over
// in batches of 100 as one read of the broker's socket brings them, each
// batch one transaction. Then the same messages again, as an uplink that
// resends after a reconnection: every one a duplicate to drop.

#include "station/payloads.h"
#include "station/station.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

using namespace dorvan;
using namespace dorvan::station;

namespace {

constexpr int Posts = 200;
constexpr int EventsPerPost = 500;
constexpr int BatchSize = 100;

class SilentSound : public AlarmSound
{
public:
    void startLoop(const QString &) override {}
    void stop() override {}
};

QByteArray eventPayload(const QString &site, int number, const char *kind, int code, int loop)
{
    return QStringLiteral(R"({"id":"08.12.2026#%1","site":"%2","time":"2026-12-08T05:33:58.346+00:00","code":%3,)"
                          R"("kind":"%4","model":"Дорван-301ДК","address":1001,"loop":%5,)"
                          R"("text":"Срабатывание %5 шлейфа датчика <Дорван-301ДК> № 1001"})")
        .arg(number)
        .arg(site)
        .arg(code)
        .arg(QLatin1StringView(kind))
        .arg(loop)
        .toUtf8();
}

QByteArray statePayload(const QString &site, int number, const char *loop1)
{
    return QStringLiteral(R"({"site":"%1","address":1001,"model":"Дорван-301ДК","link":"up","loop1":"%2",)"
                          R"("loop2":"normal","fault":null,"fault_code":null,"changed":"2026-12-08T05:33:58.346+00:00",)"
                          R"("event":"08.12.2026#%3"})")
        .arg(site, QLatin1StringView(loop1))
        .arg(number)
        .toUtf8();
}

// Interleaved by post, as many uplinks publish at once.
QList<mqtt::Received> messages(int *events)
{
    QList<mqtt::Received> all;
    *events = 0;
    for (int number = 0; number < EventsPerPost; ++number) {
        for (int post = 0; post < Posts; ++post) {
            const QString site = QStringLiteral("post%1").arg(post);
            const QString prefix = QStringLiteral("dorvan/") + site;
            const int phase = number % 10;
            const bool trip = phase == 3, back = phase == 4;
            const char *kind = trip ? "alarm" : back ? "normal" : "threshold";
            all.append({prefix + QStringLiteral("/event"), eventPayload(site, number, kind, trip ? 33 : back ? 0 : 35, 1),
                        false, 1});
            ++*events;
            if (trip || back)
                all.append({prefix + QStringLiteral("/sensor/1001/state"),
                            statePayload(site, number, trip ? "alarm" : "normal"), true, 1});
        }
    }
    return all;
}

double feed(Station &station, const QList<mqtt::Received> &all, int events, QTextStream &out, const char *what)
{
    QElapsedTimer timer;
    timer.start();
    qint64 worstBatchUs = 0;
    for (qsizetype at = 0; at < all.size(); at += BatchSize) {
        QElapsedTimer batch;
        batch.start();
        station.receive(all.mid(at, BatchSize));
        worstBatchUs = qMax(worstBatchUs, batch.nsecsElapsed() / 1000);
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    out << what << ": " << events << " events (" << all.size() << " messages) in " << QString::number(seconds, 'f', 2)
        << " s: " << qRound(events / seconds) << " events/s; slowest batch " << worstBatchUs / 1000.0 << " ms\n";
    out.flush();
    return events / seconds;
}

// The parsing alone, for how much of the intake it is.
void parseOnly(const QList<mqtt::Received> &all, QTextStream &out)
{
    const QStringList prefixes{QStringLiteral("dorvan")};
    QElapsedTimer timer;
    timer.start();
    int parsed = 0;
    for (const mqtt::Received &message : all)
        parsed += parseMessage(message.topic, message.payload, prefixes).message.has_value();
    out << "parsing alone: " << parsed << " messages in " << QString::number(timer.nsecsElapsed() / 1e9, 'f', 2) << " s\n";
}

// 200 posts of 32 sensors: a burst of 10,000 states and signals in one read,
// as after a reconnection; how long the thread is held at a time.
void burst(Station &station, QTextStream &out)
{
    QList<mqtt::Received> messages;
    for (int i = 0; messages.size() < 10000; ++i) {
        const QString site = QStringLiteral("post%1").arg(i % Posts);
        const int address = 2001 + (i / Posts) % 32;
        const QString prefix = QStringLiteral("dorvan/%1/sensor/%2/").arg(site).arg(address);
        messages.append({prefix + QStringLiteral("state"),
                         statePayload(site, 1000 + i, i % 7 == 0 ? "alarm" : "normal")
                             .replace("\"address\":1001", "\"address\":" + QByteArray::number(address)),
                         true, 1});
        messages.append({prefix + QStringLiteral("signal"),
                         QStringLiteral(R"({"address":%1,"model":"Дорван-302ДК","time":"08.12.2026 15:33:00.000",)"
                                        R"("utcMs":1796743980000,"replies":40,"timeouts":0,)"
                                        R"("signal1":{"min":0.27,"mean":0.35,"max":0.42},"signal2":null,)"
                                        R"("threshold1":{"min":1.25,"mean":1.25,"max":1.5},"threshold2":null,)"
                                        R"("replyMs":{"min":2,"mean":3.2,"max":9}})")
                             .arg(address)
                             .toUtf8(),
                         false, 0});
    }
    QElapsedTimer total, step;
    total.start();
    step.start();
    station.receive(messages);
    qint64 longestUs = step.nsecsElapsed() / 1000;
    int steps = 1;
    while (station.backlog() > 0) {
        step.restart();
        QCoreApplication::processEvents();
        longestUs = qMax(longestUs, step.nsecsElapsed() / 1000);
        ++steps;
    }
    out << "burst of " << messages.size() << " states and signals: " << QString::number(total.nsecsElapsed() / 1e6, 'f', 0)
        << " ms in " << steps << " steps, the longest " << QString::number(longestUs / 1000.0, 'f', 1)
        << " ms (goal: never more than 100 ms at a time)\n";
    out.flush();
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    SystemClock clock;
    SilentSound sound;
    Journal journal(dir.filePath(QStringLiteral("journal.sqlite")));
    Operators operators(dir.filePath(QStringLiteral("operators")));
    StationSettings settings;
    settings.dataDir = dir.path();
    settings.stationName = QStringLiteral("bench");
    Station station({journal, operators, clock, sound, settings});
    QString error;
    if (!station.open(&error)) {
        out << error << '\n';
        return 1;
    }
    station.setBrokerConnected(true);

    int events = 0;
    const QList<mqtt::Received> all = messages(&events);
    out << "journal " << journal.path() << ", " << Posts << " posts, batches of " << BatchSize << "\n";
    parseOnly(all, out);
    const qint64 before = residentKb();
    const double fresh = feed(station, all, events, out, "new");
    const qint64 afterFresh = residentKb();
    feed(station, all, events, out, "duplicates");
    const qint64 afterAgain = residentKb();
    burst(station, out);
    out << "resident: " << before / 1024 << " MB before, " << afterFresh / 1024 << " MB after the new ones, "
        << afterAgain / 1024 << " MB after the duplicates (the messages themselves hold about "
        << all.size() * 400 / 1024 / 1024 << " MB)\n";
    out << "open alarms " << station.alarmList().rowCount() << "; goal 20000 events/s: "
        << (fresh >= 20000 ? "met" : "NOT met") << '\n';
    return 0;
}
