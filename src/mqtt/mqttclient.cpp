// The only file that includes mosquitto.h.
#include "mqtt/mqttclient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <utility>
#include <vector>

namespace dorvan::mqtt {

namespace {

QByteArray localFile(const QString &path)
{
    return path.isEmpty() ? QByteArray() : path.toLocal8Bit();
}

const char *orNull(const QByteArray &bytes)
{
    return bytes.isEmpty() ? nullptr : bytes.constData();
}

// A client key with a pass phrase would make OpenSSL ask on the terminal;
// there is no one to answer, so the load fails with a message instead.
int noPassphrase(char *, int, int, void *)
{
    return 0;
}

} // namespace

MqttClient::Library::Library()
{
    mosquitto_lib_init();
}

MqttClient::Library::~Library()
{
    mosquitto_lib_cleanup();
}

MqttClient::MqttClient(const BrokerSettings &settings, LogCategory category, QObject *parent)
    : Transport(parent), settings_(settings), category_(category)
{
    miscTimer_.setInterval(MiscIntervalMs);
    connect(&miscTimer_, &QTimer::timeout, this, guarded("broker timer", [this] {
        if (client_) {
            const int result = mosquitto_loop_misc(client_);
            afterStep(result, errno);
        }
    }));
    connectTimer_.setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, guarded("connect timer", [this] {
        fail(QStringLiteral("no answer from %1 within %2 s").arg(brokerName()).arg(ConnectTimeoutMs / 1000));
    }));
}

MqttClient::~MqttClient()
{
    teardown();
}

QString MqttClient::setUp(const Message &will)
{
    // libmosquitto gives MQTT 5's session expiry (a CONNECT property) only to
    // its blocking connect, which would freeze the window for a TCP time-out
    // on a dead broker; a persistent session is therefore MQTT 3.1.1's, kept
    // by the broker until its persistent_client_expiration.
    client_ = mosquitto_new(settings_.clientId.toUtf8().constData(), !persistentSession(), this);
    if (!client_)
        return QStringLiteral("cannot create an MQTT client: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, speaksVersion5() ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    // The uplink bounds what is in flight itself.
    mosquitto_int_option(client_, MOSQ_OPT_SEND_MAXIMUM, 65535);
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(client_, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(client_, &MqttClient::onDisconnect);
    mosquitto_publish_v5_callback_set(client_, &MqttClient::onPublish);
    mosquitto_message_callback_set(client_, &MqttClient::onMessage);
    mosquitto_log_callback_set(client_, &MqttClient::onLog);

    int result = MOSQ_ERR_SUCCESS;
    if (!will.topic.isEmpty()) {
        const QByteArray willTopic = will.topic.toUtf8();
        result = mosquitto_will_set(client_, willTopic.constData(), int(will.payload.size()), will.payload.constData(),
                                    1, will.retain);
        if (result != MOSQ_ERR_SUCCESS)
            return QStringLiteral("cannot set the last will: %1").arg(QString::fromUtf8(mosquitto_strerror(result)));
    }
    if (!settings_.username.isEmpty()) {
        const QByteArray user = settings_.username.toUtf8();
        result = mosquitto_username_pw_set(client_, user.constData(), settings_.password.isEmpty() ? nullptr
                                                                                                 : settings_.password.constData());
        if (result != MOSQ_ERR_SUCCESS)
            return QStringLiteral("cannot set the user name: %1").arg(QString::fromUtf8(mosquitto_strerror(result)));
    }
    if (settings_.tls) {
        const QByteArray ca = localFile(settings_.caFile);
        const QByteArray cert = localFile(settings_.certFile);
        const QByteArray key = localFile(settings_.keyFile);
        if (ca.isEmpty())
            mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        // Without a CA file libmosquitto wants a CA path: the system's.
        result = mosquitto_tls_set(client_, orNull(ca), ca.isEmpty() ? "/etc/ssl/certs" : nullptr, orNull(cert),
                                   orNull(key), &noPassphrase);
        if (result == MOSQ_ERR_SUCCESS)
            result = mosquitto_tls_opts_set(client_, 1 /* SSL_VERIFY_PEER */, nullptr, nullptr);
        if (result != MOSQ_ERR_SUCCESS)
            return QStringLiteral("cannot use the TLS files (ca-file, cert-file, key-file): %1")
                .arg(libraryError_.isEmpty() ? QString::fromUtf8(mosquitto_strerror(result)) : libraryError_);
    }
    return {};
}

void MqttClient::open(const Message &will)
{
    teardown();
    ++attempt_;
    connack_ = -1;
    disconnectCode_ = 0;
    libraryError_.clear();
    acknowledged_.clear();
    refused_.clear();
    const QString problem = setUp(will);
    if (!problem.isEmpty()) {
        teardown();
        failLater(problem);
        return;
    }
    // The name lookup blocks; the TCP connection and the TLS handshake do not.
    const int result = mosquitto_connect_async(client_, settings_.host.toUtf8().constData(), settings_.port,
                                               settings_.keepaliveSeconds);
    const int savedErrno = errno;
    const int socket = mosquitto_socket(client_);
    if (result != MOSQ_ERR_SUCCESS || socket < 0) {
        const QString reason = describe(result, savedErrno);
        teardown();
        failLater(reason);
        return;
    }
    readNotifier_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, guarded("broker socket read", [this] { readSocket(); }));
    writeNotifier_ = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    connect(writeNotifier_, &QSocketNotifier::activated, this, guarded("broker socket write", [this] {
        if (client_) {
            const int result = mosquitto_loop_write(client_, 1);
            afterStep(result, errno);
        }
    }));
    updateWriteNotifier();
    miscTimer_.start();
    connectTimer_.start(ConnectTimeoutMs);
}

int MqttClient::publish(const Message &message)
{
    if (!client_ || !connected_)
        return -1;
    int id = -1;
    const QByteArray topic = message.topic.toUtf8();
    const int result = mosquitto_publish_v5(client_, &id, topic.constData(), int(message.payload.size()),
                                            message.payload.constData(), 1, message.retain, nullptr);
    const int savedErrno = errno;
    if (result != MOSQ_ERR_SUCCESS) {
        const QString reason = describe(result, savedErrno);
        // A broker that refuses a publish may close the connection right
        // after its answer: read what it said before giving up, so that the
        // refusal is told rather than a lost connection.
        for (int packet = 0; packet < 1000 && mosquitto_socket(client_) >= 0; ++packet) {
            if (mosquitto_loop_read(client_, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
        const QList<std::pair<int, int>> refused = std::exchange(refused_, {});
        teardown();
        if (!refused.isEmpty()) {
            refused_ = refused;
            const quint64 attempt = attempt_;
            QMetaObject::invokeMethod(this, [this, attempt] {
                if (attempt == attempt_)
                    emitRefused();
            }, Qt::QueuedConnection);
        }
        failLater(reason);
        return -1;
    }
    updateWriteNotifier();
    return id;
}

bool MqttClient::publishTelemetry(const Message &message)
{
    if (!client_ || !connected_)
        return false;
    const QByteArray topic = message.topic.toUtf8();
    const int result = mosquitto_publish(client_, nullptr, topic.constData(), int(message.payload.size()),
                                         message.payload.constData(), 0, message.retain);
    const int savedErrno = errno;
    if (result != MOSQ_ERR_SUCCESS) {
        const QString reason = describe(result, savedErrno);
        teardown();
        failLater(reason);
        return false;
    }
    updateWriteNotifier();
    return true;
}

void MqttClient::close()
{
    if (client_ && connected_)
        mosquitto_disconnect(client_);
    teardown();
    ++attempt_;
}

void MqttClient::readSocket()
{
    // One packet per read; what the socket already holds is read at once, so
    // that a subscriber gets a flood in batches rather than one by one, but no
    // more than its receiver takes in one step of the event loop (the
    // station's journal: 500 messages in a few tens of milliseconds): the rest
    // waits at the broker, not in our memory.
    constexpr int MaxPacketsPerStep = 500;
    int result = MOSQ_ERR_SUCCESS;
    int savedErrno = 0;
    for (int packet = 0; packet < MaxPacketsPerStep && client_; ++packet) {
        result = mosquitto_loop_read(client_, 1);
        savedErrno = errno;
        if (result != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0)
            break;
        pollfd polled{mosquitto_socket(client_), POLLIN, 0};
        if (::poll(&polled, 1, 0) != 1 || polled.revents != POLLIN)
            break;
    }
    afterStep(result, savedErrno);
}

void MqttClient::subscribe()
{
    if (settings_.subscriptions.isEmpty())
        return;
    QList<QByteArray> filters;
    std::vector<char *> pointers;
    for (const QString &filter : settings_.subscriptions)
        filters.append(filter.toUtf8());
    for (QByteArray &filter : filters)
        pointers.push_back(filter.data());
    const int result = mosquitto_subscribe_multiple(client_, nullptr, int(pointers.size()), pointers.data(), 1, 0,
                                                    nullptr);
    if (result != MOSQ_ERR_SUCCESS)
        fail(QStringLiteral("cannot subscribe at %1: %2").arg(brokerName(), QString::fromUtf8(mosquitto_strerror(result))));
}

void MqttClient::afterStep(int result, int savedErrno)
{
    if (!client_)
        return;
    // A refusal read just before the connection ended is news of its own.
    if (!refused_.isEmpty() && (result != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0 || socketHungUp())) {
        emitRefused();
        if (!client_)
            return;
    }
    if (result != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0) {
        fail(describe(result, savedErrno));
        return;
    }
    // libmosquitto can miss a connection that failed under a TLS handshake
    // and would then be woken for ever by the dead socket.
    if (socketHungUp()) {
        fail(connected_ ? QStringLiteral("connection to %1 lost (broker gone or network cut)").arg(brokerName())
                        : QStringLiteral("%1 closed the connection before answering (nothing listening there, "
                                         "or the TLS handshake failed)")
                              .arg(brokerName()));
        return;
    }
    updateWriteNotifier();
    if (!connected_ && connack_ == 0) {
        connected_ = true;
        connectTimer_.stop();
        subscribe();
        if (!client_)
            return;
        updateWriteNotifier();
        emit connected();
        if (!client_)
            return;
    }
    if (!received_.isEmpty()) {
        const QList<Received> received = std::exchange(received_, {});
        emit this->received(received);
        if (!client_)
            return;
    }
    const QList<int> acknowledged = std::exchange(acknowledged_, {});
    for (int id : acknowledged) {
        if (!client_)
            return;
        emit this->acknowledged(id);
    }
    emitRefused();
}

void MqttClient::emitRefused()
{
    const QList<std::pair<int, int>> refused = std::exchange(refused_, {});
    const quint64 attempt = attempt_;
    for (const auto &[id, reason] : refused) {
        if (attempt != attempt_)
            return;
        emit this->refused(id, QStringLiteral("%1 refused a publish: %2 (reason code 0x%3)")
                                   .arg(brokerName(), QString::fromUtf8(mosquitto_reason_string(reason)))
                                   .arg(reason, 2, 16, QLatin1Char('0')));
    }
}

void MqttClient::updateWriteNotifier()
{
    if (client_ && writeNotifier_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
}

bool MqttClient::socketHungUp() const
{
    pollfd polled{mosquitto_socket(client_), POLLIN, 0};
    return ::poll(&polled, 1, 0) == 1 && (polled.revents & (POLLHUP | POLLERR | POLLNVAL));
}

QString MqttClient::describe(int result, int savedErrno) const
{
    const QString broker = brokerName();
    if (connack_ > 0 && speaksVersion5()) {
        switch (connack_) {
        case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
        case 1: // a 3.1.1 broker answers in its own terms
            return QStringLiteral("%1 does not speak MQTT 5 (CONNACK %2); the next attempt uses MQTT 3.1.1").arg(broker).arg(connack_);
        case MQTT_RC_CLIENTID_NOT_VALID:
            return QStringLiteral("%1 refused the client id \"%2\" (CONNACK 0x85)").arg(broker, settings_.clientId);
        case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
        case MQTT_RC_NOT_AUTHORIZED:
            return QStringLiteral("%1 refused the connection: not authorised, wrong user name or password "
                                  "(CONNACK 0x%2)").arg(broker).arg(connack_, 2, 16);
        default:
            return QStringLiteral("%1 refused the connection: %2 (CONNACK 0x%3)")
                .arg(broker, QString::fromUtf8(mosquitto_reason_string(connack_))).arg(connack_, 2, 16);
        }
    }
    if (connack_ > 0) {
        switch (connack_) {
        case 1:
            return QStringLiteral("%1 refused the connection: unacceptable protocol version (CONNACK 1)").arg(broker);
        case 2:
            return QStringLiteral("%1 refused the client id \"%2\" (CONNACK 2)").arg(broker, settings_.clientId);
        case 3:
            return QStringLiteral("%1 refused the connection: broker unavailable (CONNACK 3)").arg(broker);
        case 4:
            return QStringLiteral("%1 refused the connection: bad user name or password (CONNACK 4)").arg(broker);
        case 5:
            return QStringLiteral("%1 refused the connection: not authorised, wrong user name or password "
                                  "(CONNACK 5)").arg(broker);
        default:
            return QStringLiteral("%1 refused the connection (CONNACK %2)").arg(broker).arg(connack_);
        }
    }
    if (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN)
        result = disconnectCode_ != 0 ? disconnectCode_ : MOSQ_ERR_CONN_LOST;
    const QString system = QString::fromLocal8Bit(std::strerror(savedErrno));
    switch (result) {
    case MOSQ_ERR_ERRNO:
        if (savedErrno == ECONNREFUSED)
            return QStringLiteral("%1 refused the connection (is the broker running and listening there?)").arg(broker);
        return connected_ ? QStringLiteral("connection to %1 lost: %2").arg(broker, system)
                          : QStringLiteral("cannot connect to %1: %2").arg(broker, system);
    case MOSQ_ERR_EAI:
        return QStringLiteral("cannot find the host %1 (name lookup failed)").arg(settings_.host);
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        if (libraryError_.contains(QLatin1String("certificate verify failed")))
            return QStringLiteral("TLS: the certificate of %1 was rejected (certificate verify failed: not signed by "
                                  "the CA of ca-file, or not issued for host %2)")
                .arg(broker, settings_.host);
        return QStringLiteral("TLS with %1 failed: %2")
            .arg(broker, libraryError_.isEmpty() ? QStringLiteral("handshake error") : libraryError_);
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("%1 stopped answering (nothing within the keep-alive)").arg(broker);
    case MOSQ_ERR_CONN_LOST:
        return connected_ ? QStringLiteral("connection to %1 lost (broker gone or network cut)").arg(broker)
                          : QStringLiteral("%1 closed the connection before answering").arg(broker);
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
        return QStringLiteral("protocol error with %1; connection dropped").arg(broker);
    default:
        return QStringLiteral("connection to %1 failed: %2").arg(broker, QString::fromUtf8(mosquitto_strerror(result)));
    }
}

void MqttClient::fail(const QString &reason)
{
    if (speaksVersion5() && (connack_ == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || connack_ == 1)) {
        version5_ = false;
        qCWarning(category_).noquote() << QStringLiteral("%1 speaks MQTT 3.1.1 only: a publish it refuses (its access "
                                                            "list) cannot be told from one it takes").arg(brokerName());
    }
    teardown();
    emit failed(reason);
}

void MqttClient::failLater(const QString &reason)
{
    // Not from inside open() or publish(): the uplink is still in its call.
    // A close() or a new attempt in between makes the news stale.
    const quint64 attempt = attempt_;
    QMetaObject::invokeMethod(this, [this, reason, attempt] {
        if (attempt == attempt_)
            emit failed(reason);
    }, Qt::QueuedConnection);
}

void MqttClient::teardown()
{
    miscTimer_.stop();
    connectTimer_.stop();
    // The notifiers may be the ones whose signal is running.
    for (QSocketNotifier *notifier : {readNotifier_.data(), writeNotifier_.data()}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    readNotifier_ = nullptr;
    writeNotifier_ = nullptr;
    if (client_)
        mosquitto_destroy(client_);
    client_ = nullptr;
    connected_ = false;
    acknowledged_.clear();
    refused_.clear();
    received_.clear();
}

void MqttClient::onConnect(mosquitto *, void *self, int code)
{
    static_cast<MqttClient *>(self)->connack_ = code;
}

void MqttClient::onDisconnect(mosquitto *, void *self, int code)
{
    static_cast<MqttClient *>(self)->disconnectCode_ = code;
}

void MqttClient::onPublish(mosquitto *, void *self, int messageId, int reason, const mqtt5__property *)
{
    // MQTT 5: 0x10 "no matching subscribers" is delivered all the same.
    auto *client = static_cast<MqttClient *>(self);
    if (reason >= 0x80)
        client->refused_.append({messageId, reason});
    else
        client->acknowledged_.append(messageId);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *client = static_cast<MqttClient *>(self);
    client->received_.append({QString::fromUtf8(message->topic),
                              QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                              message->retain, message->qos});
}

void MqttClient::onLog(mosquitto *, void *self, int level, const char *text)
{
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        static_cast<MqttClient *>(self)->libraryError_ = QString::fromUtf8(text);
    qCDebug(static_cast<MqttClient *>(self)->category_) << "libmosquitto:" << text;
}

} // namespace dorvan::mqtt
