#include "uplink/liveness.h"

#include "base/consoleheartbeat.h"
#include "uplink/jsonwriter.h"
#include "uplink/uplinklog.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace dorvan::uplink {

namespace {

QString utc(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

Liveness::Liveness(const QString &workDir, const Topics &topics, int heartbeatSeconds, const Clock &clock,
                   Publish publish, QObject *parent)
    : QObject(parent),
      workDir_(workDir),
      topics_(topics),
      heartbeatSeconds_(heartbeatSeconds),
      clock_(clock),
      publish_(std::move(publish)),
      consoleProbe_([workDir] { return consoleHoldsLock(workDir); })
{
    heartbeatTimer_.setInterval(heartbeatSeconds * 1000);
    connect(&heartbeatTimer_, &QTimer::timeout, this, guarded("heartbeat timer", [this] { heartbeat(); }));
    consoleTimer_.setTimerType(Qt::PreciseTimer); // its step is part of how late a stopped line is shown
    consoleTimer_.setInterval(ConsoleCheckMs);
    connect(&consoleTimer_, &QTimer::timeout, this, guarded("console timer", [this] { checkConsole(); }));
}

void Liveness::start()
{
    consoleTimer_.start();
}

void Liveness::stop()
{
    connected_ = false;
    heartbeatTimer_.stop();
    consoleTimer_.stop();
}

void Liveness::connected()
{
    connected_ = true;
    publish_({topics_.status(), statusPayload(), true});
    heartbeatTimer_.start();
    checkConsole(true);
}

void Liveness::disconnected()
{
    connected_ = false;
    heartbeatTimer_.stop();
}

QByteArray Liveness::statusPayload() const
{
    JsonWriter json;
    json.string("state", QStringLiteral("online")).string("time", utc(clock_.now()));
    return json.number("interval", heartbeatSeconds_).finish();
}

void Liveness::heartbeat()
{
    if (!connected_ || !publish_({topics_.status(), statusPayload(), true}))
        return;
    checkConsole(true);
}

void Liveness::checkConsole(bool force)
{
    if (!connected_)
        return;
    const bool running = consoleProbe_ && consoleProbe_();
    const std::optional<HeartbeatRecord> beat = ConsoleHeartbeat::read(workDir_);
    const QDateTime now = clock_.now();
    QString line = QStringLiteral("stopped");
    if (running && !beat)
        line = QStringLiteral("unknown"); // a console that keeps no heartbeat
    else if (running && beat->lastPoll.isValid() && qAbs(beat->lastPoll.msecsTo(now)) <= LineStoppedMs)
        line = QStringLiteral("running");
    QJsonObject object{{QStringLiteral("running"), running}, {QStringLiteral("line"), line}};
    object.insert(QStringLiteral("last_poll"), beat && beat->lastPoll.isValid() ? QJsonValue(utc(beat->lastPoll)) : QJsonValue());
    const QByteArray shown = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (!force && shown == consoleShown_)
        return;
    object.insert(QStringLiteral("time"), utc(now));
    if (publish_({topics_.console(), QJsonDocument(object).toJson(QJsonDocument::Compact), true}))
        consoleShown_ = shown;
}

} // namespace dorvan::uplink
