#include "station/brokerlink.h"

#include "station/station.h"
#include "station/stationlog.h"

namespace dorvan::station {

BrokerLink::BrokerLink(mqtt::Transport &transport, Station &station, QObject *parent)
    : QObject(parent), transport_(transport), station_(station)
{
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, dorvan::guarded(lcStationMqtt, "broker retry", [this] {
                if (running_)
                    transport_.open({});
            }));
    connect(&transport_, &mqtt::Transport::connected, this,
            dorvan::guarded(lcStationMqtt, "broker connected", [this] { onConnected(); }));
    connect(&transport_, &mqtt::Transport::failed, this,
            dorvan::guarded(lcStationMqtt, "broker failed", [this](const QString &reason) { onFailed(reason); }));
    connect(&transport_, &mqtt::Transport::received, this,
            dorvan::guarded(lcStationMqtt, "received batch", [this](const QList<mqtt::Received> &batch) {
                if (running_)
                    station_.receive(batch);
            }));
}

void BrokerLink::start()
{
    running_ = true;
    backoff_.reset();
    transport_.open({}); // no will: the station publishes nothing
}

void BrokerLink::stop()
{
    running_ = false;
    retry_.stop();
    transport_.close();
}

void BrokerLink::onConnected()
{
    if (!running_)
        return;
    backoff_.reset();
    qCInfo(lcStationMqtt).noquote() << "connected to" << transport_.brokerName();
    station_.setBrokerConnected(true);
}

void BrokerLink::onFailed(const QString &reason)
{
    if (!running_)
        return;
    const int waitMs = backoff_.nextWaitMs();
    qCWarning(lcStationMqtt).noquote() << reason + QStringLiteral("; retrying in %1 s").arg(waitMs / 1000.0, 0, 'f', 1);
    station_.setBrokerConnected(false, reason);
    retry_.start(waitMs);
}

} // namespace dorvan::station
