#include "station/brokerlink.h"

#include "station/station.h"

namespace dorvan::station {

BrokerLink::BrokerLink(mqtt::Transport &transport, Station &station, QObject *parent)
    : QObject(parent), transport_(transport), station_(station)
{
}
void BrokerLink::start() {}
void BrokerLink::stop() {}
void BrokerLink::onConnected() {}
void BrokerLink::onFailed(const QString &) {}

} // namespace dorvan::station
