// The real dorvan-uplink against a real mosquitto on a free localhost port,
// with a subscriber of our own (libmosquitto, its own thread) that stamps
// each event's arrival:
//  - latency from a record appended to the daily file to its message at the
//    subscriber, over 1,000 records appended 10 ms apart;
//  - a backlog of 10,000 and of 100,000 records delivered with QoS 1: events
//    per second at the subscriber and the uplink's peak resident memory.
// Needs mosquitto (scripts/install-deps.sh) and dorvan-uplink beside it.

#include "base/daycount.h"
#include "events/eventrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace dorvan;
using Clock = std::chrono::steady_clock;

namespace {

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

// Arrival times of the events by record number, and the status.
class Subscriber
{
public:
    explicit Subscriber(std::size_t records) : arrived_(records) {}
    ~Subscriber()
    {
        if (client_) {
            mosquitto_disconnect(client_);
            mosquitto_loop_stop(client_, false);
            mosquitto_destroy(client_);
        }
    }

    bool start(int port)
    {
        client_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(client_, [](mosquitto *, void *self, const mosquitto_message *message) {
            static_cast<Subscriber *>(self)->received(message);
        });
        mosquitto_connect_callback_set(client_, [](mosquitto *client, void *, int) {
            mosquitto_subscribe(client, nullptr, "bench/site/event", 0);
            mosquitto_subscribe(client, nullptr, "bench/site/status", 0);
        });
        return mosquitto_connect(client_, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS
               && mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
    }

    bool online() const { return online_; }
    std::size_t count() const { return count_; }
    std::vector<Clock::time_point> arrivals()
    {
        std::lock_guard lock(mutex_);
        return arrived_;
    }

private:
    void received(const mosquitto_message *message)
    {
        const std::string_view payload(static_cast<const char *>(message->payload), std::size_t(message->payloadlen));
        if (std::string_view(message->topic).ends_with("status")) {
            online_ = payload.starts_with(R"({"state":"online")");
            return;
        }
        const auto at = Clock::now();
        const std::size_t hash = payload.find('#');
        if (hash == std::string_view::npos)
            return;
        const std::size_t number = std::size_t(std::atoll(payload.data() + hash + 1));
        std::lock_guard lock(mutex_);
        if (number < arrived_.size() && arrived_[number] == Clock::time_point()) {
            arrived_[number] = at;
            ++count_;
        }
    }

    mosquitto *client_ = nullptr;
    std::mutex mutex_;
    std::vector<Clock::time_point> arrived_;
    std::atomic<std::size_t> count_ = 0;
    std::atomic<bool> online_ = false;
};

QByteArray recordBytes(int i)
{
    const int address = 1001 + i % 32;
    const bool trip = (i / 32) % 2 == 0;
    const QString text = (trip ? QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № %1")
                               : QStringLiteral("Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № %1"))
                             .arg(address);
    const EventRecord record = EventRecord::make(address, toDayCount(QDateTime::currentDateTime()), trip ? 33 : 0, text);
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

QString dailyFile(const QString &workDir)
{
    return workDir + QStringLiteral("/QReport/") + QDate::currentDate().toString(u"dd.MM.yyyy");
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QThread::msleep(2);
    }
    return true;
}

long peakResidentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(' ');
    return double(fields.value(13).toLongLong() + fields.value(14).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

class Run
{
public:
    Run(int port, std::size_t records) : port_(port), subscriber_(records)
    {
        QDir(dir_.path()).mkpath(QStringLiteral("QReport"));
        QDir(dir_.path()).mkpath(QStringLiteral("data"));
    }
    ~Run()
    {
        uplink_.terminate();
        uplink_.waitForFinished(5000);
    }
    QString workDir() const { return dir_.path(); }
    bool start(bool fromStart)
    {
        QStringList arguments{QStringLiteral("--workdir"), dir_.path(), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"), QString::number(port_), QStringLiteral("--prefix"),
                              QStringLiteral("bench"), QStringLiteral("--site"), QStringLiteral("site")};
        if (fromStart)
            arguments << QStringLiteral("--from-start");
        if (!subscriber_.start(port_))
            return false;
        QThread::msleep(200); // the subscription on its way before the first event
        uplink_.setProcessChannelMode(QProcess::ForwardedChannels);
        uplink_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/dorvan-uplink"), arguments);
        started_ = Clock::now();
        return uplink_.waitForStarted(5000);
    }
    Subscriber &subscriber() { return subscriber_; }
    QProcess &uplink() { return uplink_; }
    Clock::time_point started() const { return started_; }

private:
    QTemporaryDir dir_;
    int port_;
    Subscriber subscriber_;
    QProcess uplink_;
    Clock::time_point started_;
};

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

bool latency(int port)
{
    constexpr int Events = 1000;
    Run run(port, Events);
    if (!run.start(false) || !waitFor([&] { return run.subscriber().online(); }, 10000))
        return false;
    std::vector<Clock::time_point> appended(Events);
    QFile file(dailyFile(run.workDir()));
    for (int i = 0; i < Events; ++i) {
        const QByteArray bytes = recordBytes(i);
        // As the console appends: open, one write, close.
        appended[std::size_t(i)] = Clock::now();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size())
            return false;
        file.close();
        QThread::msleep(10);
    }
    if (!waitFor([&] { return run.subscriber().count() == Events; }, 30000))
        return false;
    std::vector<double> latencies;
    const std::vector<Clock::time_point> arrived = run.subscriber().arrivals();
    for (int i = 0; i < Events; ++i)
        latencies.push_back(ms(arrived[std::size_t(i)] - appended[std::size_t(i)]));
    std::sort(latencies.begin(), latencies.end());
    std::printf("latency, record appended to message at the subscriber (%d records 10 ms apart): "
                "median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Events, latencies[Events / 2], latencies[Events * 99 / 100], latencies.back());
    return true;
}

bool backlog(int port, int records)
{
    Run run(port, std::size_t(records));
    QByteArray bytes;
    bytes.reserve(records * int(sizeof(EventRecord)));
    for (int i = 0; i < records; ++i)
        bytes += recordBytes(i);
    QFile file(dailyFile(run.workDir()));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    if (!run.start(true))
        return false;
    if (!waitFor([&] { return run.subscriber().count() == std::size_t(records); }, 120000)) {
        std::printf("backlog of %d: only %zu arrived\n", records, run.subscriber().count());
        return false;
    }
    const std::vector<Clock::time_point> arrived = run.subscriber().arrivals();
    const auto [first, last] = std::minmax_element(arrived.begin(), arrived.end());
    const double seconds = ms(*last - *first) / 1000;
    const double sinceStart = ms(*last - run.started()) / 1000;
    const qint64 pid = run.uplink().processId();
    std::printf("backlog of %d records (QoS 1): %.0f events/s at the subscriber (%.2f s from the first to the last; "
                "%.2f s from the uplink's start), uplink CPU %.2f s, peak resident memory (VmHWM) %.1f MB\n",
                records, double(records - 1) / seconds, seconds, sinceStart, cpuSeconds(pid),
                double(peakResidentKb(pid)) / 1024);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString broker = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (broker.isEmpty()) {
        std::printf("mosquitto is not installed (scripts/install-deps.sh)\n");
        return 1;
    }
    QTemporaryDir brokerDir;
    const int port = freePort();
    QFile config(brokerDir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return 1;
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nmax_queued_messages 0\nmax_inflight_messages 0\n%2")
                     .arg(port)
                     .arg(::getuid() == 0 ? QStringLiteral("user root\n") : QString())
                     .toUtf8());
    config.close();
    QProcess mosquittoProcess;
    mosquittoProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mosquittoProcess.setStandardOutputFile(QProcess::nullDevice());
    mosquittoProcess.start(broker, {QStringLiteral("-c"), config.fileName()});
    if (!mosquittoProcess.waitForStarted(5000))
        return 1;
    QThread::msleep(300);

    mosquitto_lib_init();
    const bool ok = latency(port) && backlog(port, 10000) && backlog(port, 100000);
    mosquitto_lib_cleanup();
    mosquittoProcess.terminate();
    mosquittoProcess.waitForFinished(5000);
    return ok ? 0 : 1;
}
