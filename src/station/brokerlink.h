#pragma once

#include "mqtt/supervisor.h"
#include "mqtt/transport.h"

#include <QObject>

namespace dorvan::station {

class Station;

// Keeps the station connected through the broker transport's supervisor
// (no will: the station publishes nothing; the uplink's jittered back-off),
// hands each received batch to the station and tells it when the
// connection comes and goes.
class BrokerLink final : public QObject
{
    Q_OBJECT

public:
    BrokerLink(mqtt::Transport &transport, Station &station, QObject *parent = nullptr);

    void start();
    void stop();
    int nextRetryMs() const { return supervisor_.retryInMs(); }

private:
    mqtt::Transport &transport_;
    Station &station_;
    mqtt::Supervisor supervisor_;
    bool running_ = false;
};

} // namespace dorvan::station
