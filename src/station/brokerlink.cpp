#include "station/brokerlink.h"

#include "station/station.h"
#include "station/stationconfig.h"
#include "station/stationlog.h"

namespace dorvan::station {

BrokerLink::BrokerLink(mqtt::Transport &transport, Station &station, QObject *parent)
    : QObject(parent), transport_(transport), station_(station), supervisor_(transport, {}, lcStationMqtt)
{
    connect(&supervisor_, &mqtt::Supervisor::connected, this, dorvan::guarded(lcStationMqtt, "broker connected", [this] {
                qCInfo(lcStationMqtt).noquote() << "connected to" << transport_.brokerName();
                inFlight_.clear();
                station_.setBrokerConnected(true);
                sendActions();
            }));
    connect(&supervisor_, &mqtt::Supervisor::lost, this,
            dorvan::guarded(lcStationMqtt, "broker lost", [this](const QString &reason) {
                inFlight_.clear();
                if (running_)
                    station_.setBrokerConnected(false, reason);
            }));
    connect(&station_, &Station::actionsQueued, this, dorvan::guarded(lcStationMqtt, "actions queued", [this] {
                sendActions();
            }));
    connect(&transport_, &mqtt::Transport::acknowledged, this,
            dorvan::guarded(lcStationMqtt, "action taken", [this](int messageId) {
                const QString uid = inFlight_.take(messageId);
                if (!uid.isEmpty())
                    station_.sent(uid);
            }));
    connect(&transport_, &mqtt::Transport::received, this,
            dorvan::guarded(lcStationMqtt, "received batch", [this](const QList<mqtt::Received> &batch) {
                if (running_)
                    station_.receive(batch);
            }));
}

// Every action of the outbox not already on its way; after a reconnection
// all of them again (the other stations take each once, by its uid).
void BrokerLink::sendActions()
{
    const QString topic = station_.settings().centreTopic;
    if (!running_ || !connected() || topic.isEmpty())
        return;
    const QList<QString> sending = inFlight_.values();
    for (const OutboxEntry &entry : station_.outbox()) {
        if (sending.contains(entry.uid))
            continue;
        const int messageId = transport_.publish({centreActionsTopic(topic), entry.payload, false});
        if (messageId < 0) {
            qCWarning(lcStationMqtt).noquote() << "action" << entry.uid << "not sent now; it is sent after the reconnection";
            return;
        }
        inFlight_.insert(messageId, entry.uid);
    }
}

bool BrokerLink::connected() const
{
    return supervisor_.isConnected();
}

void BrokerLink::start()
{
    running_ = true;
    supervisor_.start();
}

void BrokerLink::stop()
{
    running_ = false;
    supervisor_.stop();
    transport_.close();
}

} // namespace dorvan::station
