#pragma once

#include "base/options.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>

namespace dorvan::mqtt {

struct BrokerSettings
{
    QString host = QStringLiteral("localhost");
    int port = 1883;
    QString clientId;
    int keepaliveSeconds = 7; // a dead path is given up within twice that, the will sent after 1.5 times
    bool tls = false;
    QString caFile;   // none: the system's trusted certificates
    QString certFile; // client certificate, with keyFile
    QString keyFile;
    QString username;
    QByteArray password;
    // A subscriber that must get what was published while it was away keeps
    // a session at the broker under its client id: MQTT 5 with this expiry,
    // MQTT 3.1.1 without clean session. 0: a fresh clean session at every
    // connection.
    int sessionExpirySeconds = 0;
    // Topic filters subscribed with QoS 1 at every connection.
    QStringList subscriptions;

    QString name() const { return host + u':' + QString::number(port); }
};

// The broker's settings as options and configuration keys, the same for
// every program that connects: host, port, client-id, keepalive, tls,
// ca-file, cert-file, key-file, username, password-file.
std::span<const OptionEntry> brokerOptions();

// The broker's settings from the options; nullopt with a one-line reason
// for a setting that cannot be used (a bad number, a certificate without
// its key, a secret file that others may read, ...).
std::optional<BrokerSettings> brokerFrom(const OptionValues &values, const QString &defaultClientId, QString *error);

} // namespace dorvan::mqtt
