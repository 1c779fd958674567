#pragma once

#include "uplink/topics.h"

#include <QObject>
#include <QString>

namespace dorvan::uplink {

// A connection to an MQTT broker that publishes with QoS 1, as the uplink
// needs it; the libmosquitto client implements it, tests fake it.
class MqttTransport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts one connection attempt with a retained last will; it ends in
    // connected() or failed().
    virtual void open(const Message &will) = 0;
    // Publishes with QoS 1 while connected: the message id that
    // acknowledged() will carry once the broker has it, or -1 when the
    // connection is broken (failed() follows from the event loop).
    virtual int publish(const Message &message) = 0;
    // Publishes with QoS 0, nothing acknowledged: telemetry a later message
    // replaces. False when it could not go out.
    virtual bool publishTelemetry(const Message &message)
    {
        Q_UNUSED(message);
        return false;
    }
    // Disconnects cleanly, so the broker drops the last will; nothing is
    // emitted after it.
    virtual void close() = 0;
    virtual QString brokerName() const = 0;

signals:
    void connected();
    // One line saying why the attempt or the connection ended.
    void failed(const QString &reason);
    void acknowledged(int messageId);
    // The broker answered the publish with an error (MQTT 5 reason code
    // 0x80 or above): it did not take the message.
    void refused(int messageId, const QString &reason);
};

} // namespace dorvan::uplink
