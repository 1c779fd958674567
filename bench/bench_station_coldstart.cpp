// The central station's start on a journal of 1,000,000 events and 6,400
// sensors: Station::open() with its board and alarm list filled, and the
// resident memory then, each in a fresh process (this program again with
// --open JOURNAL). The journal is made once through the station itself: 200
// posts of 32 sensors, ten days of 500 records each, trips and returns
// acknowledged by an operator at the end of each day, then every sensor's
// state, a few tripped or faulty and left open. It is kept for later runs
// in $DORVAN_BENCH_CACHE (default: the temporary directory) and copied
// before each start, so that every start sees the same file.

#include "base/clock.h"
#include "station/station.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

using namespace dorvan;
using namespace dorvan::station;

namespace {

constexpr int Posts = 200;
constexpr int SensorsPerPost = 32;
constexpr int Days = 10;
constexpr int RecordsPerDay = 500;
constexpr qint64 Events = qint64(Posts) * Days * RecordsPerDay;

class SilentSound : public AlarmSound
{
public:
    void startLoop(const QString &) override {}
    void stop() override {}
};

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString siteName(int post) { return QStringLiteral("post%1").arg(post, 3, 10, QLatin1Char('0')); }
int addressOf(int sensor) { return 1001 + sensor; }

mqtt::Received message(int post, const QString &channel, const QByteArray &payload, bool retained)
{
    return {QStringLiteral("dorvan/") + siteName(post) + u'/' + channel, payload, retained, 1};
}

// A trip (phase 8 of ten), its return (9), or a threshold's report.
mqtt::Received event(int post, const QDate &day, int number, int address)
{
    const int phase = number % 10;
    const QString kind = phase == 8 ? QStringLiteral("alarm") : phase == 9 ? QStringLiteral("normal") : QStringLiteral("threshold");
    const int code = phase == 8 ? 33 : phase == 9 ? 0 : 35;
    const QString text = phase == 8   ? QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № %1").arg(address)
                         : phase == 9 ? QStringLiteral("Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № %1").arg(address)
                                      : QStringLiteral("Порог 1 шлейфа датчика <Дорван-301ДК> № %1").arg(address);
    const QString time = QDateTime(day, QTime(0, 0).addSecs(number * 150)).toString(Qt::ISODateWithMs);
    return message(post, QStringLiteral("event"),
                   QStringLiteral(R"({"id":"%1#%2","site":"%3","time":"%4","code":%5,"kind":"%6","model":"Дорван-301ДК",)"
                                  R"("address":%7,"loop":1,"text":"%8"})")
                       .arg(day.toString(QStringLiteral("dd.MM.yyyy")))
                       .arg(number)
                       .arg(siteName(post), time)
                       .arg(code)
                       .arg(kind)
                       .arg(address)
                       .arg(text)
                       .toUtf8(),
                   false);
}

mqtt::Received state(int post, int address, const QString &loop1, const QString &fault, const QDate &day, int number)
{
    return message(post, QStringLiteral("sensor/%1/state").arg(address),
                   QStringLiteral(R"({"site":"%1","address":%2,"model":"Дорван-301ДК","link":"up","loop1":"%3",)"
                                  R"("loop2":"normal","fault":%4,"fault_code":%5,"changed":"%6","event":"%7#%8"})")
                       .arg(siteName(post))
                       .arg(address)
                       .arg(loop1, fault.isEmpty() ? QStringLiteral("null") : u'"' + fault + u'"',
                            fault.isEmpty() ? QStringLiteral("null") : QStringLiteral("9"),
                            QDateTime(day, QTime(12, 0)).toString(Qt::ISODateWithMs), day.toString(QStringLiteral("dd.MM.yyyy")))
                       .arg(number)
                       .toUtf8(),
                   true);
}

// Every sensor's state, the posts' statuses and console reports.
QList<mqtt::Received> boardMessages(const QDate &day)
{
    QList<mqtt::Received> batch;
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    for (int post = 0; post < Posts; ++post) {
        batch.append(message(post, QStringLiteral("status"),
                             QStringLiteral(R"({"state":"online","time":"%1","interval":30})").arg(now).toUtf8(), true));
        batch.append(message(post, QStringLiteral("console"),
                             QStringLiteral(R"({"last_poll":"%1","line":"running","running":true,"time":"%1"})").arg(now).toUtf8(),
                             true));
        for (int sensor = 0; sensor < SensorsPerPost; ++sensor) {
            const bool tripped = post % 10 == 0 && sensor < 2;
            const QString fault = post % 25 == 1 && sensor == 5 ? QStringLiteral("Ошибка ППЗУ датчика") : QString();
            batch.append(state(post, addressOf(sensor), tripped ? QStringLiteral("alarm") : QStringLiteral("normal"), fault, day,
                               RecordsPerDay - 1));
        }
    }
    return batch;
}

// One day of records of every post, a batch per record number: every tenth
// a trip, the next its return, each followed by its sensor's state; the
// operator acknowledges every post at the end of the day.
void feedDay(Station &station, const QDate &day)
{
    for (int number = 0; number < RecordsPerDay; ++number) {
        QList<mqtt::Received> batch;
        for (int post = 0; post < Posts; ++post) {
            const int address = addressOf((number / 10 + post) % SensorsPerPost);
            batch.append(event(post, day, number, address));
            if (number % 10 >= 8)
                batch.append(state(post, address, number % 10 == 8 ? QStringLiteral("alarm") : QStringLiteral("normal"), {},
                                   day, number));
        }
        station.receive(batch);
    }
}

qint64 countOf(const QString &path, const QString &table)
{
    qint64 found = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT count(*) FROM ") + table) && query.next())
            found = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    return found;
}

bool makeJournal(const QString &path)
{
    std::printf("making the journal %s (once)...\n", qPrintable(path));
    QFile::remove(path);
    QElapsedTimer timer;
    timer.start();
    const QString dir = QFileInfo(path).absolutePath();
    SystemClock clock;
    SilentSound sound;
    Journal journal(path);
    Operators operators(dir + QStringLiteral("/operators"));
    StationSettings settings;
    settings.dataDir = dir;
    settings.stationName = QStringLiteral("bench");
    Station station({journal, operators, clock, sound, settings});
    QString error;
    QFile::remove(operators.path());
    if (!station.open(&error) || !operators.add(QStringLiteral("bench"), QStringLiteral("bench-password"), &error)
        || !station.signIn(QStringLiteral("bench"), QStringLiteral("bench-password"), &error)) {
        std::printf("cannot make the journal: %s\n", qPrintable(error));
        return false;
    }
    station.setBrokerConnected(true);
    const QDate last = QDate::currentDate();
    for (QDate day = last.addDays(1 - Days); day <= last; day = day.addDays(1)) {
        feedDay(station, day);
        for (int post = 0; post < Posts; ++post)
            station.acknowledgePost(siteName(post), QStringLiteral("конец смены"), &error);
    }
    // In batches as a socket brings them: a larger one would be taken in
    // steps from the event loop, which does not run here.
    const QList<mqtt::Received> board = boardMessages(last);
    for (qsizetype at = 0; at < board.size(); at += Posts)
        station.receive(board.mid(at, Posts));
    std::printf("made in %.0f s: %d open alarms\n", double(timer.elapsed()) / 1000, station.alarmList().rowCount());
    return true;
}

// In a process of its own: the start as dorvan-station makes it.
int openJournal(const QString &path)
{
    const qint64 beforeKb = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    SystemClock clock;
    SilentSound sound;
    Journal journal(path);
    Operators operators(QFileInfo(path).absolutePath() + QStringLiteral("/operators"));
    StationSettings settings;
    settings.dataDir = QFileInfo(path).absolutePath();
    settings.stationName = QStringLiteral("bench");
    Station station({journal, operators, clock, sound, settings});
    QString error;
    if (!station.open(&error)) {
        std::printf("the journal does not open: %s\n", qPrintable(error));
        return 1;
    }
    const double openMs = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    station.sensors().showPost(siteName(0));
    const double postMs = double(timer.nsecsElapsed()) / 1e6;
    const qint64 afterKb = statusKb("VmRSS:");
    const qint64 peakKb = statusKb("VmHWM:");
    std::printf("open() with the board (%d posts) and the alarm list (%d open) filled: %.0f ms; a post's window %.1f ms; "
                "resident %.1f MB before, %.1f MB after (peak %.1f MB)\n",
                station.board().rowCount(), station.alarmList().rowCount(), openMs, postMs, double(beforeKb) / 1024,
                double(afterKb) / 1024, double(peakKb) / 1024);
    std::printf("FIGURE cold start: %.0f ms (goal <= 1000): %s; resident %.1f MB (goal <= 150): %s\n", openMs,
                openMs <= 1000 ? "met" : "NOT met", double(afterKb) / 1024, afterKb <= 150 * 1024 ? "met" : "NOT met");
    return openMs <= 1000 && afterKb <= 150 * 1024 ? 0 : 3;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("dorvan.station*.info=false"));
    if (argc == 3 && QByteArray(argv[1]) == "--open")
        return openJournal(QString::fromLocal8Bit(argv[2]));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString cache = qEnvironmentVariable("DORVAN_BENCH_CACHE", QDir::tempPath()) + QStringLiteral("/dorvan-bench-station");
    const QString fixture = cache + QStringLiteral("/journal-2.sqlite");
    QDir().mkpath(cache);
    if (countOf(fixture, QStringLiteral("events")) != Events && !makeJournal(fixture))
        return 1;
    std::printf("journal: %lld events, %lld sensors, %lld alarm changes, %.0f MB\n", countOf(fixture, QStringLiteral("events")),
                countOf(fixture, QStringLiteral("sensors")), countOf(fixture, QStringLiteral("alarm_changes")),
                double(QFileInfo(fixture).size()) / 1024 / 1024);

    int status = 0;
    for (int run = 1; run <= 3; ++run) {
        QTemporaryDir copy;
        const QString path = copy.filePath(QStringLiteral("journal.sqlite"));
        if (!QFile::copy(fixture, path))
            return 1;
        QProcess start;
        start.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer timer;
        timer.start();
        start.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open"), path});
        if (!start.waitForFinished(60000))
            return 1;
        std::printf("  run %d: the whole process, from its start to its end, %lld ms\n", run, timer.elapsed());
        status = std::max(status, start.exitCode());
    }
    return status;
}
