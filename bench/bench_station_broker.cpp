// The central station against a real mosquitto on a free localhost port,
// wired as dorvan-station wires it (MqttClient, BrokerLink, Station) on a
// journal of its own. The posts' uplinks are this program again in a child
// process (--publish PORT RATE FILE...: libmosquitto, QoS as each line says), so
// that the station's resident memory is its own. A phase ends when its last
// message, a trip of a post of its own, has its row in the alarm list.
// Figures:
//  - intake with deduplication: 100,000 events of 200 posts (and their
//    trips' states) kept by the broker for the station's session while it was
//    away, then drained; the same once more, every one a duplicate; then
//    100,000 new ones published while the station is connected;
//  - a trip's event published (by a client on the station's thread) to its
//    row in the alarm list, on a quiet station and under 1,000 signals/s;
//  - 200 posts x 32 sensors: a burst of 10,000 states and signals, the
//    worst lateness of a 1 ms timer and the longest single Station::receive.
// Each phase also gives the station process's CPU time, which a machine
// shared with other work does not inflate as it does the wall-clock times.

#include "base/clock.h"
#include "mqtt/mqttclient.h"
#include "station/brokerlink.h"
#include "station/station.h"
#include "station/stationlog.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using namespace dorvan;
using namespace dorvan::station;

namespace {

constexpr int Posts = 200;
constexpr int SensorsPerPost = 32;
constexpr int IntakeEventsPerPost = 500;
constexpr int Trips = 200;
constexpr int BurstMessages = 10000;

// ---------------------------------------------------------------- the posts

// A file of messages for the publisher: "qos retain topic payload" a line.
// Written out as it grows, so that the station's process holds no plan.
class Plan
{
public:
    Plan() : file_(std::make_shared<QTemporaryFile>()) { file_->open(); }

    void add(int qos, bool retain, const QString &topic, const QByteArray &payload)
    {
        buffer_ += QByteArray::number(qos) + (retain ? " 1 " : " 0 ") + topic.toUtf8() + ' ' + payload + '\n';
        ++count_;
        if (topic.endsWith(QLatin1StringView("/event")))
            ++events_;
        if (buffer_.size() > 256 * 1024)
            flush();
    }
    // The file with everything added so far.
    QString path() const
    {
        flush();
        return file_->fileName();
    }
    int count() const { return count_; }
    int events() const { return events_; }

private:
    void flush() const
    {
        file_->write(buffer_);
        file_->flush();
        buffer_.clear();
    }

    std::shared_ptr<QTemporaryFile> file_;
    mutable QByteArray buffer_;
    int count_ = 0;
    int events_ = 0;
};

QString siteName(int post) { return QStringLiteral("post%1").arg(post, 3, 10, QLatin1Char('0')); }
QString topicOf(int post, const QString &channel) { return QStringLiteral("dorvan/") + siteName(post) + u'/' + channel; }
QString today() { return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")); }
QString utcNow() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

QString tripText(int loop, int address)
{
    return QStringLiteral("Срабатывание %1 шлейфа датчика <Дорван-301ДК> № %2").arg(loop).arg(address);
}

QByteArray eventPayload(int post, int number, const QString &kind, int code, int address, int loop, const QString &text)
{
    return QStringLiteral(R"({"id":"%1#%2","site":"%3","time":"%4","code":%5,"kind":"%6","model":"Дорван-301ДК",)"
                          R"("address":%7,"loop":%8,"text":"%9"})")
        .arg(today())
        .arg(number)
        .arg(siteName(post), utcNow())
        .arg(code)
        .arg(kind)
        .arg(address)
        .arg(loop)
        .arg(text)
        .toUtf8();
}

QByteArray statePayload(int post, int address, const QString &link, const QString &loop1, const QString &loop2, int event)
{
    return QStringLiteral(R"({"site":"%1","address":%2,"model":"Дорван-301ДК","link":"%3","loop1":"%4","loop2":"%5",)"
                          R"("fault":null,"fault_code":null,"changed":"%6","event":"%7#%8"})")
        .arg(siteName(post))
        .arg(address)
        .arg(link, loop1, loop2, utcNow(), today())
        .arg(event)
        .toUtf8();
}

QByteArray signalPayload(int address, double signal)
{
    const QString figure = QStringLiteral(R"({"min":%1,"mean":%1,"max":%1})");
    return QStringLiteral(R"({"address":%1,"model":"Дорван-301ДК","time":"%2","utcMs":%3,"replies":40,"timeouts":0,)"
                          R"("signal1":%4,"signal2":%5,"threshold1":%6,"threshold2":%6,"replyMs":{"min":2,"mean":3,"max":9}})")
        .arg(address)
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:00.000")))
        .arg(QDateTime::currentMSecsSinceEpoch())
        .arg(figure.arg(signal), figure.arg(signal / 2), figure.arg(1.25))
        .toUtf8();
}

// Events numbered first..last of every post, interleaved by post as many
// uplinks publish at once; a tenth of them trips and a tenth returns, each
// followed by its sensor's state.
Plan intakePlan(int first, int last)
{
    Plan plan;
    for (int number = first; number <= last; ++number) {
        for (int post = 0; post < Posts; ++post) {
            const int phase = number % 10;
            const bool trip = phase == 3, back = phase == 4;
            const QString kind = trip ? QStringLiteral("alarm") : back ? QStringLiteral("normal") : QStringLiteral("threshold");
            plan.add(1, false, topicOf(post, QStringLiteral("event")),
                     eventPayload(post, number, kind, trip ? 33 : back ? 0 : 35, 1001, 1, tripText(1, 1001)));
            if (trip || back)
                plan.add(1, true, topicOf(post, QStringLiteral("sensor/1001/state")),
                         statePayload(post, 1001, QStringLiteral("up"), trip ? QStringLiteral("alarm") : QStringLiteral("normal"),
                                      QStringLiteral("normal"), number));
        }
    }
    return plan;
}

int addressOf(int sensor) { return 1001 + sensor; }

// Every post online with its console running, its start of work as record
// #0, and 32 sensors armed and quiet.
Plan boardPlan()
{
    Plan plan;
    for (int post = 0; post < Posts; ++post) {
        plan.add(1, true, topicOf(post, QStringLiteral("status")),
                 QStringLiteral(R"({"state":"online","time":"%1","interval":30})").arg(utcNow()).toUtf8());
        plan.add(1, true, topicOf(post, QStringLiteral("console")),
                 QStringLiteral(R"({"last_poll":"%1","line":"running","running":true,"time":"%1"})").arg(utcNow()).toUtf8());
        plan.add(1, false, topicOf(post, QStringLiteral("event")),
                 QStringLiteral(R"({"id":"%1#0","site":"%2","time":"%3","code":20,"kind":"system","model":null,)"
                                R"("address":null,"loop":null,"text":"Начало работы"})")
                     .arg(today(), siteName(post), utcNow())
                     .toUtf8());
        for (int sensor = 0; sensor < SensorsPerPost; ++sensor)
            plan.add(1, true, topicOf(post, QStringLiteral("sensor/%1/state").arg(addressOf(sensor))),
                     statePayload(post, addressOf(sensor), QStringLiteral("up"), QStringLiteral("normal"),
                                  QStringLiteral("normal"), 0));
    }
    return plan;
}

// Each minute's signal of every sensor, rounds times over.
Plan signalPlan(int rounds)
{
    Plan plan;
    for (int round = 0; round < rounds; ++round) {
        for (int sensor = 0; sensor < SensorsPerPost; ++sensor) {
            for (int post = 0; post < Posts; ++post)
                plan.add(0, false, topicOf(post, QStringLiteral("sensor/%1/signal").arg(addressOf(sensor))),
                         signalPayload(addressOf(sensor), 0.4 + 0.01 * round));
        }
    }
    return plan;
}

// Every sensor's state changed, interleaved with signals: with lineDown, the
// second loop disarmed and at the first 20 posts the link lost (each an
// alarm); else every link up and every loop armed again.
Plan burstPlan(bool lineDown)
{
    Plan plan;
    int signalSensor = 0;
    for (int sensor = 0; sensor < SensorsPerPost; ++sensor) {
        for (int post = 0; post < Posts; ++post) {
            const bool lost = lineDown && post < 20;
            plan.add(1, true, topicOf(post, QStringLiteral("sensor/%1/state").arg(addressOf(sensor))),
                     statePayload(post, addressOf(sensor), lost ? QStringLiteral("lost") : QStringLiteral("up"),
                                  QStringLiteral("normal"), lineDown ? QStringLiteral("disarmed") : QStringLiteral("normal"), 0));
            // 3,600 signals among the 6,400 states.
            if ((sensor * Posts + post) % 16 < 9 && plan.count() < BurstMessages) {
                const int at = signalSensor++;
                plan.add(0, false, topicOf(at % Posts, QStringLiteral("sensor/%1/signal").arg(addressOf(at / Posts % SensorsPerPost))),
                         signalPayload(addressOf(at / Posts % SensorsPerPost), 0.6));
            }
        }
    }
    return plan;
}

// ------------------------------------------------ the publisher (child side)

struct PublisherState
{
    std::atomic<bool> connected = false;
    std::atomic<int> done = 0;
};

int publishFiles(int port, int perSecond, const QStringList &paths)
{
    QList<QByteArray> lines;
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        lines += file.readAll().split('\n');
    }
    mosquitto_lib_init();
    PublisherState state;
    mosquitto *client = mosquitto_new(QStringLiteral("bench-posts-%1").arg(::getpid()).toUtf8().constData(), true, &state);
    mosquitto_max_inflight_messages_set(client, 0);
    mosquitto_connect_callback_set(client, [](mosquitto *, void *self, int) {
        static_cast<PublisherState *>(self)->connected = true;
    });
    mosquitto_publish_callback_set(client, [](mosquitto *, void *self, int) { ++static_cast<PublisherState *>(self)->done; });
    if (mosquitto_connect(client, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS || mosquitto_loop_start(client) != MOSQ_ERR_SUCCESS)
        return 3;
    const auto waitFor = [](const std::function<bool()> &done, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    };
    if (!waitFor([&] { return state.connected.load(); }, std::chrono::seconds(10)))
        return 4;
    const auto start = std::chrono::steady_clock::now();
    int sent = 0;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 4)
            continue;
        const qsizetype payloadAt = parts[0].size() + parts[1].size() + parts[2].size() + 3;
        if (perSecond > 0)
            std::this_thread::sleep_until(start + std::chrono::microseconds(qint64(sent) * 1000000 / perSecond));
        mosquitto_publish(client, nullptr, parts[2].constData(), int(line.size() - payloadAt), line.constData() + payloadAt,
                          parts[0].toInt(), parts[1] == "1");
        ++sent;
    }
    const bool acknowledged = waitFor([&] { return state.done.load() >= sent; }, std::chrono::seconds(300));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("  (publisher: %d messages in %.2f s, %.0f/s)\n", sent, seconds, sent / seconds);
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
    mosquitto_lib_cleanup();
    return acknowledged ? 0 : 5;
}

// ------------------------------------------------------ the station (parent)

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

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// Runs the event loop until done() or the time is up.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || timer.elapsed() >= timeoutMs)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    return done();
}

double percentile(QList<double> values, double fraction)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(std::min(values.size() - 1, qsizetype(fraction * double(values.size()))));
}

QString mb(qint64 kb) { return QString::number(kb / 1024.0, 'f', 1) + QStringLiteral(" MB"); }

double processCpuSeconds()
{
    timespec used{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

// The thread's time on the CPU and waiting for one, from the scheduler.
struct SchedTimes
{
    double runMs = 0;
    double waitMs = 0;
};

SchedTimes threadSched()
{
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = file.readAll().split(' ');
    return {fields.value(0).toDouble() / 1e6, fields.value(1).toDouble() / 1e6};
}

// The worst lateness of a 1 ms timer on the station's thread: the longest
// the event loop was kept from running, and how much of it the thread spent
// on the CPU and waiting for a core (the rest, blocked: the disk, a lock).
class StallWatch
{
public:
    StallWatch()
    {
        tick_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const qint64 now = timer_.nsecsElapsed();
            const SchedTimes sched = threadSched();
            if (now - lastNs_ - 1000000 > worstNs_) {
                worstNs_ = now - lastNs_ - 1000000;
                worst_ = {sched.runMs - last_.runMs, sched.waitMs - last_.waitMs};
            }
            lastNs_ = now;
            last_ = sched;
        });
    }
    void start()
    {
        timer_.start();
        lastNs_ = 0;
        last_ = threadSched();
        worstNs_ = 0;
        worst_ = {};
        tick_.start(1);
    }
    double stopMs()
    {
        tick_.stop();
        return double(worstNs_) / 1e6;
    }
    SchedTimes worst() const { return worst_; }

private:
    QTimer tick_;
    QElapsedTimer timer_;
    qint64 lastNs_ = 0;
    SchedTimes last_;
    qint64 worstNs_ = 0;
    SchedTimes worst_;
};

// What the station did in one phase. It ends when the phase's marker, a trip
// of a post of its own published last, has its row in the alarm list: the
// station takes what it receives in order, so everything before it is done.
struct Phase
{
    int messages = 0;
    int batches = 0;
    int largestBatch = 0;
    qint64 longestReceiveNs = 0;
    QElapsedTimer sinceBegin;
    qint64 firstNs = -1;  // the first batch's arrival
    qint64 lastNs = -1;   // the last one's
    double longestReceiveRunMs = 0; // of it on the CPU
    qint64 markerNs = -1; // the marker's row
    double cpuAtBegin = 0;
    double cpuSeconds = 0;
    SchedTimes schedAtBegin, sched; // the station's thread over the phase
    double stallMs = 0;
    SchedTimes stallSched; // of the worst stall

    double secondsFromBegin() const { return double(markerNs) / 1e9; }
    double secondsFromFirst() const { return double(markerNs - firstNs) / 1e9; }
};

const QString MarkerSite = QStringLiteral("zz-marker");

// A broker of its own and a station on a journal of its own, as the program wires them.
class Rig
{
public:
    explicit Rig(const QString &clientId)
        : port_(freePort()), settings_(settingsFor(dir_.path(), port_, clientId)),
          journal_(dir_.filePath(QStringLiteral("journal.sqlite"))), operators_(dir_.filePath(QStringLiteral("operators"))),
          station_({journal_, operators_, clock_, sound_, settings_}), client_(settings_.broker, lcStationMqtt),
          posts_(postsSettings(port_), lcStationMqtt)
    {
        // Stamps around the link's own handler, which is connected in between.
        QObject::connect(&client_, &mqtt::Transport::received, [this] {
            callSched_ = threadSched();
            call_.start();
        });
        link_ = std::make_unique<BrokerLink>(client_, station_);
        QObject::connect(&client_, &mqtt::Transport::received,
                         [this](const QList<mqtt::Received> &batch) { counted(batch); });
        QObject::connect(&station_.alarmList(), &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex &, int first, int last) { noticeMarkers(first, last); });
    }
    ~Rig()
    {
        link_->stop();
        posts_.close();
        broker_.terminate();
        broker_.waitForFinished(5000);
    }

    bool start()
    {
        if (!startBroker())
            return false;
        QString error;
        if (!station_.open(&error)) {
            std::printf("the journal does not open: %s\n", qPrintable(error));
            return false;
        }
        posts_.open({});
        link_->start();
        const bool up = waitUntil([this] { return station_.brokerProblem().isEmpty() && postsConnected_; }, 10000);
        return up && subscribed();
    }

    void begin()
    {
        phase_ = {};
        phase_.sinceBegin.start();
        phase_.cpuAtBegin = processCpuSeconds();
        phase_.schedAtBegin = threadSched();
        watch_.start();
    }
    // Publishes the plan and its marker from a child process; with wait,
    // returns once the child has had them all acknowledged.
    bool publish(const Plan &plan, int perSecond, bool wait)
    {
        plan_ = plan; // its file stays until the publisher has read it
        marker_ = Plan();
        marker_.add(1, false, QStringLiteral("dorvan/") + MarkerSite + QStringLiteral("/event"), markerPayload(++markersSent_));
        publisher_ = std::make_unique<QProcess>();
        publisher_->setProcessChannelMode(QProcess::ForwardedChannels);
        publisher_->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--publish"), QString::number(port_),
                                                                    QString::number(perSecond), plan.path(), marker_.path()});
        if (!publisher_->waitForStarted(5000))
            return false;
        return !wait || publisherDone(300000);
    }
    bool publisherDone(int timeoutMs)
    {
        const bool ended = waitUntil([this] { return publisher_->state() == QProcess::NotRunning; }, timeoutMs);
        return ended && publisher_->exitStatus() == QProcess::NormalExit && publisher_->exitCode() == 0;
    }
    // Until the last plan published is all taken in.
    bool finish(int timeoutMs)
    {
        const bool done = waitUntil([this] { return markersSeen_ >= markersSent_; }, timeoutMs);
        phase_.cpuSeconds = processCpuSeconds() - phase_.cpuAtBegin;
        const SchedTimes now = threadSched();
        phase_.sched = {now.runMs - phase_.schedAtBegin.runMs, now.waitMs - phase_.schedAtBegin.waitMs};
        phase_.stallMs = watch_.stopMs();
        phase_.stallSched = watch_.worst();
        if (!done)
            std::printf("the marker did not come: %d messages arrived\n", phase_.messages);
        return done;
    }

    const Phase &phase() const { return phase_; }
    Station &station() { return station_; }
    BrokerLink &link() { return *link_; }
    mqtt::MqttClient &posts() { return posts_; }

    // What the auditor reads: one row per event.
    qint64 journalledEvents() const
    {
        qint64 found = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("auditor"));
            db.setDatabaseName(journal_.path());
            QSqlQuery query(db);
            if (db.open() && query.exec(QStringLiteral("SELECT count(*) FROM events WHERE site <> '%1'").arg(MarkerSite))
                && query.next())
                found = query.value(0).toLongLong();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("auditor"));
        return found;
    }

private:
    static StationSettings settingsFor(const QString &dataDir, int port, const QString &clientId)
    {
        StationSettings settings;
        settings.dataDir = dataDir;
        settings.stationName = QStringLiteral("bench");
        settings.broker.host = QStringLiteral("127.0.0.1");
        settings.broker.port = port;
        settings.broker.clientId = clientId;
        settings.broker.sessionExpirySeconds = 7 * 24 * 3600;
        settings.broker.subscriptions = stationSubscriptions(settings.prefixes, settings.sites);
        return settings;
    }
    static mqtt::BrokerSettings postsSettings(int port)
    {
        mqtt::BrokerSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = port;
        settings.clientId = QStringLiteral("bench-trips");
        return settings;
    }
    static QByteArray markerPayload(int number)
    {
        return QStringLiteral(R"({"id":"%1#%2","site":"%3","time":"%4","code":33,"kind":"alarm","model":"Дорван-301ДК",)"
                              R"("address":%5,"loop":1,"text":"marker"})")
            .arg(today())
            .arg(number)
            .arg(MarkerSite, utcNow())
            .arg(100 + number)
            .toUtf8();
    }

    bool startBroker()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
        if (program.isEmpty()) {
            std::printf("mosquitto is not installed (scripts/install-deps.sh)\n");
            return false;
        }
        QFile config(dir_.filePath(QStringLiteral("mosquitto.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nmax_queued_messages 0\n"
                                    "max_inflight_messages 0\nlog_dest none\n%2")
                         .arg(port_)
                         .arg(::getuid() == 0 ? QStringLiteral("user root\n") : QString())
                         .toUtf8());
        config.close();
        broker_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        broker_.setStandardOutputFile(QProcess::nullDevice());
        broker_.start(program, {QStringLiteral("-c"), config.fileName()});
        QObject::connect(&posts_, &mqtt::Transport::connected, [this] { postsConnected_ = true; });
        return broker_.waitForStarted(5000) && waitUntil([this] { return accepts(port_); }, 5000);
    }

    // The subscriptions are in place once a probe comes back: a status the
    // station counts as bad input and otherwise ignores.
    bool subscribed()
    {
        const int before = phase_.messages;
        for (int attempt = 0; attempt < 50; ++attempt) {
            posts_.publish({QStringLiteral("dorvan/probe/status"), "probe"});
            if (waitUntil([&] { return phase_.messages > before; }, 200))
                return true;
        }
        return false;
    }

    void counted(const QList<mqtt::Received> &batch)
    {
        const qint64 ns = call_.nsecsElapsed();
        if (ns > phase_.longestReceiveNs)
            phase_.longestReceiveRunMs = threadSched().runMs - callSched_.runMs;
        if (phase_.sinceBegin.isValid()) {
            phase_.lastNs = phase_.sinceBegin.nsecsElapsed();
            if (phase_.firstNs < 0)
                phase_.firstNs = phase_.lastNs;
        }
        phase_.messages += int(batch.size());
        ++phase_.batches;
        phase_.largestBatch = std::max(phase_.largestBatch, int(batch.size()));
        phase_.longestReceiveNs = std::max(phase_.longestReceiveNs, ns);
    }
    void noticeMarkers(int first, int last)
    {
        for (int row = first; row <= last; ++row) {
            if (station_.alarmList().at(row).site == MarkerSite && !station_.alarmList().at(row).sensor.isEmpty()) {
                ++markersSeen_;
                if (phase_.sinceBegin.isValid())
                    phase_.markerNs = phase_.sinceBegin.nsecsElapsed();
            }
        }
    }

    QTemporaryDir dir_;
    int port_;
    QProcess broker_;
    StationSettings settings_;
    SystemClock clock_;
    SilentSound sound_;
    Journal journal_;
    Operators operators_;
    Station station_;
    mqtt::MqttClient client_;
    mqtt::MqttClient posts_; // the trips' publisher, and the probe's
    bool postsConnected_ = false;
    std::unique_ptr<BrokerLink> link_;
    std::unique_ptr<QProcess> publisher_;
    Plan plan_, marker_;
    int markersSent_ = 0;
    int markersSeen_ = 0;
    QElapsedTimer call_;
    SchedTimes callSched_;
    StallWatch watch_;
    Phase phase_;
};

QString stallText(const Phase &phase)
{
    return QStringLiteral("%1 ms (%2 ms of it on the CPU, %3 ms waiting for a core)")
        .arg(phase.stallMs, 0, 'f', 1)
        .arg(phase.stallSched.runMs, 0, 'f', 1)
        .arg(phase.stallSched.waitMs, 0, 'f', 1);
}

QString residentText()
{
    return QStringLiteral("resident %1 (peak %2)").arg(mb(statusKb("VmRSS:")), mb(statusKb("VmHWM:")));
}

// One line for a phase of events; its rate.
double printEvents(const char *what, const Phase &phase, int events, double seconds)
{
    std::printf("%s: %d events (%d messages) in %.2f s (the last arrived after %.2f s): %.0f events/s; the station's "
                "process %.2f s of CPU (%.0f events per CPU second; its thread %.2f s on the CPU, %.2f s waiting for a core); %d batches (largest %d), longest Station::receive "
                "%.1f ms (%.1f on the CPU), worst stall %s; %s\n",
                what, events, phase.messages, seconds, double(phase.lastNs) / 1e9, events / seconds, phase.cpuSeconds,
                events / phase.cpuSeconds, phase.sched.runMs / 1000, phase.sched.waitMs / 1000, phase.batches, phase.largestBatch, double(phase.longestReceiveNs) / 1e6,
                phase.longestReceiveRunMs, qPrintable(stallText(phase)), qPrintable(residentText()));
    return events / seconds;
}

// Drains what the broker kept for the station while it was away.
bool drainBacklog(Rig &rig, const Plan &plan, const char *what, double *rate)
{
    rig.link().stop();
    if (!rig.publish(plan, 0, true))
        return false;
    rig.begin();
    rig.link().start();
    if (!rig.finish(300000))
        return false;
    *rate = printEvents(what, rig.phase(), plan.events(), rig.phase().secondsFromBegin());
    return true;
}

bool intake()
{
    Rig rig(QStringLiteral("bench-intake"));
    if (!rig.start())
        return false;
    const qint64 startKb = statusKb("VmRSS:");
    std::printf("intake: %d posts, events with deduplication into the journal; resident at the start %s\n", Posts,
                qPrintable(mb(startKb)));
    double backlogRate = 0, duplicateRate = 0;
    const Plan first = intakePlan(0, IntakeEventsPerPost - 1);
    if (!drainBacklog(rig, first, "a backlog of new events kept by the broker", &backlogRate)
        || !drainBacklog(rig, first, "the same again, every one a duplicate", &duplicateRate))
        return false;

    const Plan second = intakePlan(IntakeEventsPerPost, 2 * IntakeEventsPerPost - 1);
    // Begun once the publisher has started: its start (a fork) is not the station's stall.
    if (!rig.publish(second, 0, false))
        return false;
    rig.begin();
    if (!rig.finish(300000) || !rig.publisherDone(10000))
        return false;
    const double liveRate = printEvents("new events published while connected", rig.phase(), second.events(),
                                        rig.phase().secondsFromFirst());
    const qint64 endKb = statusKb("VmRSS:");

    const qint64 journalled = rig.journalledEvents();
    std::printf("journal: %lld events, expected %d (each once)\n", journalled, first.events() + second.events());
    std::printf("FIGURE intake from the broker: backlog %.0f events/s, duplicates %.0f events/s (goal >= 20000: %s); "
                "published live %.0f events/s (the publisher's pace); resident %s at the start, %s at the end, "
                "peak %s (goal flat, within 32 MB: %s)\n\n",
                backlogRate, duplicateRate, std::min(backlogRate, duplicateRate) >= 20000 ? "met" : "NOT met", liveRate,
                qPrintable(mb(startKb)), qPrintable(mb(endKb)), qPrintable(mb(statusKb("VmHWM:"))),
                statusKb("VmHWM:") - startKb <= 32 * 1024 ? "met" : "NOT met");
    return journalled == first.events() + second.events();
}

// Times trips from their publishing to their rows in the alarm list.
class TripClock
{
public:
    explicit TripClock(AlarmListModel &list) : list_(list)
    {
        timer_.start();
        QObject::connect(&list, &QAbstractItemModel::rowsInserted, [this](const QModelIndex &, int first, int last) {
            for (int row = first; row <= last; ++row)
                arrived(row);
        });
        QObject::connect(&list, &QAbstractItemModel::dataChanged, [this](const QModelIndex &from, const QModelIndex &to) {
            for (int row = from.row(); row <= to.row(); ++row)
                arrived(row);
        });
    }

    void published(const QString &key) { pending_.insert(key, timer_.nsecsElapsed()); }
    static QString keyOf(const QString &site, int address, int loop)
    {
        return site + u'|' + QStringLiteral("Дорван-301ДК № %1").arg(address) + u'|' + tripText(loop, address);
    }
    QList<double> takeMs() { return std::exchange(ms_, {}); }
    int arrivedCount() const { return int(ms_.size()); }

private:
    void arrived(int row)
    {
        const AlarmView &alarm = list_.at(row);
        const auto found = pending_.find(alarm.site + u'|' + alarm.sensor + u'|' + alarm.text);
        if (found == pending_.end())
            return;
        ms_.append(double(timer_.nsecsElapsed() - *found) / 1e6);
        pending_.erase(found);
    }

    AlarmListModel &list_;
    QElapsedTimer timer_;
    QHash<QString, qint64> pending_;
    QList<double> ms_;
};

// One trip a post on the given loop, every intervalMs; the record numbers go on.
bool timeTrips(Rig &rig, TripClock &clock, int loop, int intervalMs, int *nextNumber, const char *what)
{
    int sent = 0;
    const int number = (*nextNumber)++;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        const int post = sent++;
        clock.published(TripClock::keyOf(siteName(post), 1001, loop));
        rig.posts().publish({topicOf(post, QStringLiteral("event")),
                             eventPayload(post, number, QStringLiteral("alarm"), 33, 1001, loop, tripText(loop, 1001))});
        if (sent == Trips)
            pace.stop();
    });
    pace.start(intervalMs);
    const bool all = waitUntil([&] { return clock.arrivedCount() == Trips; }, Trips * intervalMs + 10000);
    const QList<double> ms = clock.takeMs();
    const double median = percentile(ms, 0.5), p99 = percentile(ms, 0.99);
    std::printf("FIGURE trip published -> its row in the alarm list, %s: %d of %d trips, median %.2f ms (goal <= 20), "
                "p99 %.2f ms (goal <= 100), worst %.2f ms: %s\n",
                what, int(ms.size()), Trips, median, p99, percentile(ms, 1.0),
                all && median <= 20 && p99 <= 100 ? "met" : "NOT met");
    return all;
}

// A burst live, or kept by the broker while the station was away and
// delivered at once when it comes back (with no publisher running beside it).
bool burst(Rig &rig, bool live)
{
    const Plan plan = burstPlan(live);
    if (live && !rig.publish(plan, 0, false))
        return false;
    if (!live) {
        rig.link().stop();
        if (!rig.publish(plan, 0, true))
            return false;
    }
    rig.begin();
    if (!live)
        rig.link().start();
    if (!rig.finish(60000) || (live && !rig.publisherDone(10000)))
        return false;
    const Phase &phase = rig.phase();
    const double longestMs = double(phase.longestReceiveNs) / 1e6;
    const char *what = live ? "published while connected" : "kept by the broker, delivered at the reconnection";
    // Reconnected, the station also gets every retained status and state
    // again; the broker keeps no signals (QoS 0) for it while it is away.
    std::printf("burst %s: %d states and signals published (%s), %d messages arrived, taken in %.2f s from the first, "
                "%d batches (largest %d), the station's process %.2f s of CPU; %d alarms open after\n",
                what, plan.count(), live ? "640 links lost" : "every link back", phase.messages, phase.secondsFromFirst(), phase.batches,
                phase.largestBatch, phase.cpuSeconds, rig.station().alarmList().rowCount());
    std::printf("FIGURE burst of %d at 200 posts x 32 sensors, %s: worst stall of a 1 ms timer %s, longest single "
                "Station::receive %.1f ms (%.1f ms on the CPU) (goal: never more than 100 ms): %s\n",
                plan.count(), what, qPrintable(stallText(phase)), longestMs, phase.longestReceiveRunMs,
                std::max(longestMs, phase.stallMs) <= 100 ? "met" : "NOT met");
    return true;
}

bool board()
{
    Rig rig(QStringLiteral("bench-board"));
    if (!rig.start())
        return false;
    rig.begin();
    if (!rig.publish(boardPlan(), 0, true) || !rig.finish(60000))
        return false;
    std::printf("board: %d posts x %d sensors, their statuses and states taken in %.2f s; %s\n", Posts, SensorsPerPost,
                rig.phase().secondsFromFirst(), qPrintable(residentText()));

    TripClock clock(rig.station().alarmList());
    int nextNumber = 1;
    const bool quiet = timeTrips(rig, clock, 1, 20, &nextNumber, "a quiet station");
    if (!rig.publish(signalPlan(2), 1000, false))
        return false;
    rig.begin();
    const bool loaded = timeTrips(rig, clock, 2, 50, &nextNumber, "under 1,000 signals/s");
    if (!rig.finish(60000) || !rig.publisherDone(10000))
        return false;
    std::printf("  (worst stall under the signals %s)\n", qPrintable(stallText(rig.phase())));

    // The post's window open, as an operator would have it.
    rig.station().sensors().showPost(siteName(0));
    return burst(rig, true) && burst(rig, false) && quiet && loaded;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 5 && QByteArray(argv[1]) == "--publish") {
        QStringList paths;
        for (int i = 4; i < argc; ++i)
            paths.append(QString::fromLocal8Bit(argv[i]));
        return publishFiles(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt(), paths);
    }
    QCoreApplication app(argc, argv);
    // The intake's own log (new posts, gaps) would be most of the output.
    QLoggingCategory::setFilterRules(QStringLiteral("dorvan.station*.info=false"));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("machine: %d cores (shared with other builds while this ran)\n", int(std::thread::hardware_concurrency()));
    mqtt::MqttClient::Library library;
    // "intake" or "board" runs that part alone (for a profiler).
    const QByteArray only = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const bool intakeOk = only == "board" || intake();
    const bool boardOk = only == "intake" || board();
    return intakeOk && boardOk ? 0 : 1;
}
