#pragma once

// A real mosquitto broker on a free localhost port with a configuration of
// the test's own, a real subscriber (mosquitto_sub) and the real
// dorvan-uplink, for the uplink's end-to-end tests. Waits are polls against
// a deadline, never fixed sleeps.

#include "consolerun.h"

#include "base/daycount.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <csignal>
#include <sys/prctl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dorvan::e2e {

inline QString program(const QString &name)
{
    // mosquitto lives in /usr/sbin, which a user's PATH may lack.
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                                 QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/local/bin")});
}

// A port nothing listens on right now (the kernel's choice).
inline int freePort()
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

inline bool accepts(int port)
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

// A child the test starts ends with the test, even when the test crashes.
inline void tieToTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

inline bool runTool(const QString &name, const QStringList &arguments, const QString &directory)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(name), arguments);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning().noquote() << name << arguments.join(u' ') << "failed:" << process.readAll();
    return ok;
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Records and daily files are dated by the console's own day, which in a test
// that gives the uplink another zone is that zone's, not the test machine's.
inline EventRecord record(qint32 address, quint8 code, const QString &text, int second = 0,
                          QDate day = QDate::currentDate())
{
    const QDateTime at(day, QTime(10, 0, 0, 125).addSecs(second));
    return EventRecord::make(address, toDayCount(at), code, text);
}

inline QString dailyFile(const test::WorkDir &dir, QDate day = QDate::currentDate())
{
    return dir.file(QStringLiteral("QReport/") + day.toString(u"dd.MM.yyyy"));
}

inline void append(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(bytes);
}

class Broker
{
public:
    explicit Broker(const QString &directory) : directory_(directory) {}
    ~Broker() { kill(); }

    // Lines added to the configuration (listeners beyond the first, TLS, ...).
    QStringList extraConfig;
    bool persistence = false;
    QString passwordFile; // clients must log in when set

    bool start()
    {
        if (port_ == 0)
            port_ = freePort();
        QStringList config{QStringLiteral("listener %1 127.0.0.1").arg(port_),
                           passwordFile.isEmpty() ? QStringLiteral("allow_anonymous true")
                                                  : QStringLiteral("password_file %1").arg(passwordFile),
                           // The subscriber must get every message, however far behind it is.
                           QStringLiteral("max_queued_messages 0"), QStringLiteral("max_inflight_messages 0")};
        // As root mosquitto would switch to its own user, who cannot read
        // the test's private directory.
        if (::getuid() == 0)
            config << QStringLiteral("user root");
        if (persistence) {
            // Saved only at a clean stop: a SIGKILL loses what came since.
            config << QStringLiteral("persistence true") << QStringLiteral("persistence_location %1/").arg(directory_)
                   << QStringLiteral("autosave_interval 0");
        }
        config << extraConfig;
        writeFile(directory_ + QStringLiteral("/mosquitto.conf"), config.join(u'\n').toUtf8() + '\n');
        process_.setProcessChannelMode(QProcess::MergedChannels);
        tieToTest(process_);
        process_.start(program(QStringLiteral("mosquitto")), {QStringLiteral("-c"), directory_ + QStringLiteral("/mosquitto.conf")});
        return process_.waitForStarted(5000)
               && waitUntil([this] { return accepts(port_) || process_.state() == QProcess::NotRunning; }, 5000)
               && process_.state() == QProcess::Running;
    }
    void kill()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // A clean stop: the broker saves its sessions.
    void stop()
    {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    int port() const { return port_; }
    QByteArray log() { return process_.readAll(); }

private:
    QString directory_;
    int port_ = 0;
    QProcess process_;
};

// The lines of a regional broker's bridge that forwards the posts' topics
// to the centre's broker at remotePort, as packaging/mosquitto-bridge.conf.example
// has them, without TLS and login and with a restart after 1 s.
inline QStringList bridgeConfig(const QString &name, int remotePort)
{
    return {QStringLiteral("connection %1").arg(name),
            QStringLiteral("address 127.0.0.1:%1").arg(remotePort),
            QStringLiteral("topic dorvan/# out 1"),
            QStringLiteral("cleansession false"),
            QStringLiteral("local_clientid %1-local").arg(name),
            QStringLiteral("remote_clientid %1").arg(name),
            QStringLiteral("bridge_protocol_version mqttv311"),
            QStringLiteral("keepalive_interval 10"),
            QStringLiteral("restart_timeout 1")};
}

struct Received
{
    bool retained = false;
    QString topic;
    QByteArray payload;

    QJsonObject json() const { return QJsonDocument::fromJson(payload).object(); }
};

// mosquitto_sub on dorvan/# (and whatever else it is given).
class Subscriber
{
public:
    ~Subscriber() { stop(); }

    bool start(int port, const QStringList &extra = {}, int qos = 1)
    {
        QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                              QStringLiteral("-q"), QString::number(qos), QStringLiteral("-t"), QStringLiteral("dorvan/#"),
                              QStringLiteral("-F"), QStringLiteral("%r %t %p")};
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tieToTest(process_);
        process_.start(program(QStringLiteral("mosquitto_sub")), arguments + extra);
        return process_.waitForStarted(5000);
    }
    void stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    // Everything received so far, in order.
    const QList<Received> &received()
    {
        pending_ += process_.readAllStandardOutput();
        qsizetype end;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QByteArray line = pending_.left(end);
            pending_.remove(0, end + 1);
            const qsizetype space1 = line.indexOf(' ');
            const qsizetype space2 = line.indexOf(' ', space1 + 1);
            if (space1 < 0 || space2 < 0)
                continue;
            received_.append({line.left(space1) == "1", QString::fromUtf8(line.mid(space1 + 1, space2 - space1 - 1)),
                              line.mid(space2 + 1)});
        }
        return received_;
    }
    QList<Received> on(const QString &topic)
    {
        QList<Received> found;
        for (const Received &message : received()) {
            if (message.topic == topic)
                found.append(message);
        }
        return found;
    }

private:
    QProcess process_;
    QByteArray pending_;
    QList<Received> received_;
};

class UplinkProcess
{
public:
    ~UplinkProcess() { kill(); }

    bool start(const QStringList &arguments, const QString &timeZone = QString())
    {
        if (!timeZone.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("TZ"), timeZone);
            process_.setProcessEnvironment(environment);
        }
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        tieToTest(process_);
        process_.start(binDir() + QStringLiteral("/dorvan-uplink"), arguments);
        return process_.waitForStarted(5000);
    }
    void kill()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // SIGTERM; true when it then ended by itself with status 0.
    bool terminate()
    {
        process_.terminate();
        return process_.waitForFinished(10000) && process_.exitStatus() == QProcess::NormalExit
               && process_.exitCode() == 0;
    }
    bool running() const { return process_.state() == QProcess::Running; }
    void pause() { ::kill(pid_t(process_.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(process_.processId()), SIGCONT); }
    // Processor time used so far, user and system.
    double cpuSeconds() const
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process_.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> fields = stat.readAll().split(' ');
        return fields.size() > 15 ? double(fields[13].toLongLong() + fields[14].toLongLong()) / double(::sysconf(_SC_CLK_TCK)) : -1;
    }
    // Its log (standard error) so far.
    QString log()
    {
        log_ += QString::fromUtf8(process_.readAllStandardError());
        return log_;
    }
    int count(const QString &text) { return int(log().count(text)); }
    QProcess &process() { return process_; }

private:
    QProcess process_;
    QString log_;
};

} // namespace dorvan::e2e
