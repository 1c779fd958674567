#include "base/consoleheartbeat.h"

#include "base/log.h"
#include "base/replacefile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace dorvan {

namespace {

// The process's umask, which a file made with open(2) gets and one made by
// replaceFile does not; read, not set, as other threads may be creating files.
mode_t creationMask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

QString utc(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

} // namespace

QByteArray HeartbeatRecord::toJson() const
{
    QJsonObject object{{QStringLiteral("time"), utc(written)}, {QStringLiteral("passes"), double(passes)}};
    object.insert(QStringLiteral("last_poll"), lastPoll.isValid() ? QJsonValue(utc(lastPoll)) : QJsonValue());
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<HeartbeatRecord> HeartbeatRecord::fromJson(const QByteArray &bytes)
{
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    HeartbeatRecord record;
    record.written = QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    record.lastPoll = QDateTime::fromString(object.value(QStringLiteral("last_poll")).toString(), Qt::ISODateWithMs);
    record.passes = quint64(object.value(QStringLiteral("passes")).toDouble());
    if (!record.written.isValid())
        return std::nullopt;
    return record;
}

ConsoleHeartbeat::ConsoleHeartbeat(const Clock &clock, std::function<LinePasses()> passes, QObject *parent)
    : QObject(parent), clock_(clock), passes_(std::move(passes))
{
    // On time, not coarse: the lag of the last pass a reader sees stays within IntervalMs.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(IntervalMs);
    connect(&timer_, &QTimer::timeout, this, &ConsoleHeartbeat::beat);
}

void ConsoleHeartbeat::start(const QString &workDir)
{
    path_ = workDir + u'/' + fileName();
    newFileMode_ = 0644 & ~creationMask();
    beat();
    timer_.start();
}

void ConsoleHeartbeat::stop()
{
    timer_.stop();
}

void ConsoleHeartbeat::beat()
{
    if (path_.isEmpty())
        return;
    const LinePasses passes = passes_();
    record_.passes = passes.count;
    record_.lastPoll = passes.count > 0 ? QDateTime::fromMSecsSinceEpoch(passes.lastUtcMs, Qt::UTC) : QDateTime();
    record_.written = clock_.now();

    // A reader sees the old file or the new one, never half of one.
    const FileReplace written = replaceFile(path_, record_.toJson(), newFileMode_, false, {}, Sync::No);
    if (written.result == FileReplace::Result::Replaced) {
        if (failing_)
            qCInfo(lcHeartbeat, "%s is written again", qUtf8Printable(path_));
        failing_ = false;
        return;
    }
    if (!failing_)
        qCWarning(lcHeartbeat, "cannot write %s: %s; the line goes on, programs beside the console will see it as stopped",
                  qUtf8Printable(path_), std::strerror(written.error));
    failing_ = true;
}

std::optional<HeartbeatRecord> ConsoleHeartbeat::read(const QString &workDir)
{
    QFile file(workDir + u'/' + fileName());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return HeartbeatRecord::fromJson(file.read(4096));
}

// The lock file names its process on its first line. Kept in one place so
// that a change of the console's lock changes only this.
bool consoleHoldsLock(const QString &workDir)
{
    QFile lock(workDir + u'/' + consoleLockFileName());
    if (!lock.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const qint64 pid = lock.readLine(64).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
    // A process id reused by another program after a crash is no console.
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly))
        return false;
    const QByteArray program = commandLine.read(4096).split('\0').value(0);
    return QFileInfo(QFile::decodeName(program)).fileName() == QLatin1String("dorvan-console");
}

} // namespace dorvan
