#pragma once

#include "uplink/mqtttransport.h"
#include "uplink/uplinkconfig.h"

#include <QList>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

struct mosquitto;
struct mqtt5__property;

namespace dorvan::uplink {

// The uplink's broker connection on libmosquitto, driven from the Qt event
// loop: the client's socket behind socket notifiers, its keep-alive on a
// timer, no thread of its own. Each connection attempt gets a fresh client
// with a clean session, so nothing is resent behind the uplink's back: after
// a reconnect the uplink itself publishes again from its cursor. Speaks
// MQTT 5 (a refused publish comes back with its reason code) and falls back
// to 3.1.1 for a broker that does not.
class MqttClient final : public MqttTransport
{
    Q_OBJECT

public:
    // libmosquitto's process-wide set-up; main() holds one while clients live.
    class Library
    {
    public:
        Library();
        ~Library();
        Library(const Library &) = delete;
        Library &operator=(const Library &) = delete;
    };

    static constexpr int ConnectTimeoutMs = 15000;
    static constexpr int MiscIntervalMs = 1000; // keep-alive pings and their time-out

    explicit MqttClient(const BrokerSettings &settings, QObject *parent = nullptr);
    ~MqttClient() override;

    void open(const Message &will) override;
    int publish(const Message &message) override;
    bool publishTelemetry(const Message &message) override;
    void close() override;
    QString brokerName() const override { return settings_.name(); }

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onDisconnect(mosquitto *, void *self, int code);
    static void onPublish(mosquitto *, void *self, int messageId, int reason, const mqtt5__property *);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    QString setUp(const Message &will);
    void afterStep(int result, int savedErrno);
    void emitRefused();
    void updateWriteNotifier();
    bool socketHungUp() const;
    QString describe(int result, int savedErrno) const;
    void fail(const QString &reason);
    void failLater(const QString &reason);
    void teardown();

    BrokerSettings settings_;
    mosquitto *client_ = nullptr;
    QPointer<QSocketNotifier> readNotifier_;
    QPointer<QSocketNotifier> writeNotifier_;
    QTimer miscTimer_;
    QTimer connectTimer_;
    bool connected_ = false;
    int connack_ = -1;          // the broker's CONNACK code in this attempt, -1 before it
    int disconnectCode_ = 0;    // libmosquitto's reason when it dropped the socket
    QString libraryError_;      // the last error libmosquitto logged (OpenSSL's reason)
    QList<int> acknowledged_;   // gathered in the callbacks, emitted after the step
    QList<std::pair<int, int>> refused_; // message id, reason code
    bool version5_ = true;      // until a broker refuses it
    quint64 attempt_ = 0;       // open() and close() each start a new one
};

} // namespace dorvan::uplink
