#pragma once

#include "mqtt/supervisor.h"
#include "mqtt/transport.h"

#include <QHash>
#include <QObject>

namespace dorvan::station {

class Station;

// Keeps the station connected through the broker transport's supervisor
// (no will; the uplink's jittered back-off), hands each received batch to
// the station and tells it when the connection comes and goes, and
// publishes the operators' actions of the station's outbox on the centre's
// topic, each cleared from it once the broker has it.
class BrokerLink final : public QObject
{
    Q_OBJECT

public:
    BrokerLink(mqtt::Transport &transport, Station &station, QObject *parent = nullptr);

    void start();
    void stop();
    int nextRetryMs() const { return supervisor_.retryInMs(); }

private:
    void sendActions();
    bool connected() const;

    mqtt::Transport &transport_;
    Station &station_;
    mqtt::Supervisor supervisor_;
    bool running_ = false;
    QHash<int, QString> inFlight_; // message id: the action's uid
};

} // namespace dorvan::station
