#pragma once

#include "mqtt/transport.h"
#include "base/exceptionedge.h"
#include "mqtt/brokersettings.h"

#include <QList>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace dorvan::mqtt {

// A broker connection on libmosquitto, driven from the Qt event loop: the
// client's socket behind socket notifiers, its keep-alive on a timer, no
// thread of its own. Each connection attempt gets a fresh client. A
// publisher (the uplink) has a clean session, so nothing is resent behind its
// back: after a reconnect it publishes again from its cursor; it speaks
// MQTT 5 (a refused publish comes back with its reason code) and falls back
// to 3.1.1 for a broker that does not. A subscriber with a session expiry
// keeps its session at the broker (see BrokerSettings) and subscribes again
// after every connection.
class MqttClient final : public Transport
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

    // Logs under the program's own category (the uplink's dorvan.uplink.mqtt).
    MqttClient(const BrokerSettings &settings, LogCategory category, QObject *parent = nullptr);
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
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    QString setUp(const Message &will);
    template<typename Handler>
    auto guarded(const char *name, Handler handler) const
    {
        return dorvan::guarded(category_, name, std::move(handler));
    }
    bool persistentSession() const { return settings_.sessionExpirySeconds > 0; }
    bool speaksVersion5() const { return version5_ && !persistentSession(); }
    void readSocket();
    void subscribe();
    void afterStep(int result, int savedErrno);
    void emitRefused();
    void updateWriteNotifier();
    bool socketHungUp() const;
    QString describe(int result, int savedErrno) const;
    void fail(const QString &reason);
    void failLater(const QString &reason);
    void teardown();

    BrokerSettings settings_;
    LogCategory category_;
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
    QList<Received> received_;
    bool version5_ = true;      // until a broker refuses it
    quint64 attempt_ = 0;       // open() and close() each start a new one
};

} // namespace dorvan::mqtt
