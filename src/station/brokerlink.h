#pragma once

#include "mqtt/backoff.h"
#include "mqtt/transport.h"

#include <QObject>
#include <QTimer>

namespace dorvan::station {

class Station;

// Keeps the station connected: opens the transport (no will: the station
// publishes nothing), hands each received batch to the station, tells it
// when the connection comes and goes, and tries again after the back-off.
class BrokerLink final : public QObject
{
    Q_OBJECT

public:
    BrokerLink(mqtt::Transport &transport, Station &station, QObject *parent = nullptr);

    void start();
    void stop();
    int nextRetryMs() const { return retry_.isActive() ? retry_.remainingTime() : -1; }

private:
    void onConnected();
    void onFailed(const QString &reason);

    mqtt::Transport &transport_;
    Station &station_;
    mqtt::Backoff backoff_;
    QTimer retry_;
    bool running_ = false;
};

} // namespace dorvan::station
