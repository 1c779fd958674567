#include "station/escalation.h"

#include "station/stationlog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

namespace dorvan::station {

int EscalationLimits::minutesFor(AlarmPriority priority) const
{
    switch (priority) {
    case AlarmPriority::Trip: return tripMinutes;
    case AlarmPriority::Fault: return faultMinutes;
    case AlarmPriority::Notice: return noticeMinutes;
    }
    return 0;
}

namespace {

QJsonValue isoOrNull(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

QByteArray escalationJson(const AlarmRow &alarm, const QString &station, const QDateTime &escalated)
{
    const QJsonObject object{
        {QStringLiteral("alarm"), alarm.id},
        {QStringLiteral("station"), station},
        {QStringLiteral("kind"), kindName(alarm.kind)},
        {QStringLiteral("priority"), int(priorityOf(alarm.kind))},
        {QStringLiteral("site"), textOrNull(alarm.site)},
        {QStringLiteral("address"), alarm.address >= 0 ? QJsonValue(alarm.address) : QJsonValue()},
        {QStringLiteral("loop"), alarm.loop > 0 ? QJsonValue(alarm.loop) : QJsonValue()},
        {QStringLiteral("sensor"), textOrNull(alarm.sensor)},
        {QStringLiteral("text"), alarm.text},
        {QStringLiteral("state"), stateName(alarm.state)},
        {QStringLiteral("repeats"), alarm.repeats},
        {QStringLiteral("raised"), isoOrNull(alarm.raised)},
        {QStringLiteral("last_activation"), isoOrNull(alarm.lastActivation)},
        {QStringLiteral("unacknowledged_since"), isoOrNull(alarm.unacknowledgedSince)},
        {QStringLiteral("escalated"), isoOrNull(escalated)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

EscalationCommand::EscalationCommand(QString command, int timeLimitMs, QObject *parent)
    : QObject(parent), command_(std::move(command)), timeLimitMs_(timeLimitMs)
{
}

void EscalationCommand::run(qint64 alarmId, const QByteArray &json)
{
    if (command_.isEmpty())
        return;
    auto *process = new QProcess(this);
    auto *limit = new QTimer(process);
    limit->setSingleShot(true);
    connect(process, &QProcess::started, process, [process, json] {
        process->write(json);
        process->closeWriteChannel();
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, alarmId](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // the others end in finished()
        fail(alarmId, QStringLiteral("cannot start: ") + process->errorString(),
             QStringLiteral("не запускается: %1").arg(process->errorString()));
        process->deleteLater();
    });
    connect(limit, &QTimer::timeout, process, [this, process, alarmId] {
        fail(alarmId, QStringLiteral("killed after %1 ms").arg(timeLimitMs_),
             QStringLiteral("не закончилась за %1 с и остановлена").arg(timeLimitMs_ / 1000.0));
        process->setProperty("killed", true);
        // The whole group: what the shell started (a hung curl, a mailer) too.
        ::kill(-pid_t(process->processId()), SIGKILL);
        process->kill();
    });
    connect(process, &QProcess::finished, this, [this, process, alarmId](int code, QProcess::ExitStatus status) {
        if (!process->property("killed").toBool() && (status != QProcess::NormalExit || code != 0)) {
            const QString how = status == QProcess::NormalExit ? QStringLiteral("exit status %1").arg(code)
                                                               : QStringLiteral("crashed");
            fail(alarmId, how + QStringLiteral(": ") + QString::fromLocal8Bit(process->readAllStandardError()).trimmed(),
                 status == QProcess::NormalExit ? QStringLiteral("завершилась с кодом %1").arg(code)
                                                : QStringLiteral("завершилась аварийно"));
        }
        process->deleteLater();
    });
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command_});
    limit->start(timeLimitMs_);
}

void EscalationCommand::fail(qint64 alarmId, const QString &logged, const QString &shown)
{
    qCWarning(lcStation).noquote() << "on-escalation command" << command_ << "for alarm" << alarmId << logged;
    emit failed(QStringLiteral("Команда эскалации (тревога %1) %2.").arg(alarmId).arg(shown));
}

} // namespace dorvan::station
