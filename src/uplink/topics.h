#pragma once

#include "mqtt/transport.h"
#include "uplink/sensorstates.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace dorvan::uplink {

using mqtt::Message;

// <prefix>/<site>/status, /console, /event and /sensor/<address>/state.
struct Topics
{
    QString prefix;
    QString site;

    QString status() const { return base() + QStringLiteral("status"); }
    QString event() const { return base() + QStringLiteral("event"); }
    QString console() const { return base() + QStringLiteral("console"); }
    QString sensorState(qint32 address) const
    {
        return base() + QStringLiteral("sensor/") + QString::number(address) + QStringLiteral("/state");
    }

private:
    QString base() const { return prefix + u'/' + site + u'/'; }
};

// Home Assistant MQTT discovery: per sensor one device with three binary
// sensors (loop 1, loop 2, link) reading the sensor's retained state.
class Discovery
{
public:
    Discovery(const Topics &topics, const QString &discoveryPrefix);

    QList<Message> announce(const SensorState &state) const;
    QList<Message> withdraw(qint32 address) const;

private:
    QString configTopic(qint32 address, const QString &entity) const;
    QString nodeId(qint32 address) const;

    Topics topics_;
    QString prefix_;
    QString siteId_;
};

} // namespace dorvan::uplink
