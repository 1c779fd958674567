#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

namespace dorvan::mqtt {

// A message to publish.
struct Message
{
    QString topic;
    QByteArray payload; // empty with retain: removes the retained message
    bool retain = false;
};

// A message the broker delivered to a subscriber.
struct Received
{
    QString topic;
    QByteArray payload;
    bool retained = false; // sent because of a (re)subscription, not forwarded live
    int qos = 0;
};

// A connection to an MQTT broker: publishing with QoS 1 (or 0 for
// telemetry) and, for a subscriber, the messages of its subscriptions. The
// libmosquitto client implements it, tests fake it.
class Transport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts one connection attempt, with a retained last will unless the
    // will's topic is empty; it ends in connected() or failed().
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
    // Everything one read of the socket brought, in the broker's order.
    void received(const QList<dorvan::mqtt::Received> &messages);
};

} // namespace dorvan::mqtt
