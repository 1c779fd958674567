#include "station/brokerlink.h"

#include "station/station.h"
#include "station/stationlog.h"

namespace dorvan::station {

BrokerLink::BrokerLink(mqtt::Transport &transport, Station &station, QObject *parent)
    : QObject(parent), transport_(transport), station_(station), supervisor_(transport, {}, lcStationMqtt)
{
    connect(&supervisor_, &mqtt::Supervisor::connected, this, dorvan::guarded(lcStationMqtt, "broker connected", [this] {
                qCInfo(lcStationMqtt).noquote() << "connected to" << transport_.brokerName();
                station_.setBrokerConnected(true);
            }));
    connect(&supervisor_, &mqtt::Supervisor::lost, this,
            dorvan::guarded(lcStationMqtt, "broker lost", [this](const QString &reason) {
                if (running_)
                    station_.setBrokerConnected(false, reason);
            }));
    connect(&transport_, &mqtt::Transport::received, this,
            dorvan::guarded(lcStationMqtt, "received batch", [this](const QList<mqtt::Received> &batch) {
                if (running_)
                    station_.receive(batch);
            }));
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
