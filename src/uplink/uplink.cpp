#include "uplink/uplink.h"

#include "uplink/uplinklog.h"

namespace dorvan::uplink {

namespace {

Message offline(const Topics &topics)
{
    return {topics.status(), QByteArrayLiteral("offline"), true};
}

} // namespace

Uplink::Uplink(const UplinkSettings &settings, mqtt::Transport &transport, const Clock &clock, QObject *parent)
    : QObject(parent),
      transport_(transport),
      topics_{settings.prefix, settings.site},
      lock_(settings.workDir),
      pipeline_(settings, topics_, transport, clock),
      liveness_(settings.workDir, topics_, settings.heartbeatSeconds, clock,
                [this](const Message &message) { return pipeline_.publish(message); }),
      supervisor_(transport, offline(topics_), lcUplinkMqtt)
{
    connect(&supervisor_, &mqtt::Supervisor::connected, this, &Uplink::onConnected);
    connect(&supervisor_, &mqtt::Supervisor::lost, this, &Uplink::onLost);
    connect(&pipeline_, &RecordPipeline::reconnectNeeded, &supervisor_, &mqtt::Supervisor::reopen);
    connect(&pipeline_, &RecordPipeline::brokerRefusing, &supervisor_, &mqtt::Supervisor::holdBackoff);
    connect(&transport_, &mqtt::Transport::acknowledged, this, guarded("acknowledged", [this](int messageId) {
        if (state_ == State::Stopping && messageId == offlineMessage_)
            finishStop();
    }));
    stopTimer_.setSingleShot(true);
    connect(&stopTimer_, &QTimer::timeout, this, guarded("stop timer", [this] { finishStop(); }));
}

bool Uplink::start(QString *error)
{
    if (!pipeline_.canFollow(error) || !lock_.acquire(error) || !pipeline_.start(error))
        return false;
    liveness_.start();
    supervisor_.start();
    return true;
}

void Uplink::onConnected()
{
    if (state_ != State::Running)
        return;
    pipeline_.connected();
    liveness_.connected();
    pipeline_.pump();
}

void Uplink::onLost()
{
    if (state_ == State::Stopped)
        return;
    pipeline_.disconnected();
    liveness_.disconnected();
    if (state_ == State::Stopping)
        finishStop();
}

void Uplink::stop()
{
    if (state_ != State::Running)
        return;
    const bool publishing = pipeline_.isPublishing();
    supervisor_.stop();
    pipeline_.stop();
    liveness_.stop();
    state_ = State::Stopping;
    if (publishing) {
        offlineMessage_ = transport_.publish(offline(topics_));
        if (offlineMessage_ >= 0) {
            stopTimer_.start(StopTimeoutMs);
            return;
        }
    }
    finishStop();
}

void Uplink::finishStop()
{
    if (state_ == State::Stopped)
        return;
    state_ = State::Stopped;
    stopTimer_.stop();
    transport_.close();
    pipeline_.saveCursor();
    qCInfo(lcUplink).noquote() << QStringLiteral("stopped; cursor at %1").arg(pipeline_.cursor().position.id());
    emit stopped();
}

} // namespace dorvan::uplink
