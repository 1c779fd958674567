#include "mqtt/brokersettings.h"

#include <QFile>
#include <QFileInfo>

namespace dorvan::mqtt {

namespace {

const OptionEntry options[] = {
    {"host", "HOST", "Broker host (default: localhost)."},
    {"port", "PORT", "Broker port (default: 1883, with TLS 8883)."},
    {"client-id", "ID", "MQTT client id, unique per broker."},
    {"keepalive", "SECONDS", "MQTT keep-alive (default: 7): a dead path is given up within twice that, and the broker "
                             "publishes the last will after 1.5 times that."},
    {"tls", nullptr, "Use TLS (implied by ca-file, cert-file); the broker's certificate is always verified."},
    {"ca-file", "FILE", "CA certificate(s) that sign the broker's certificate (default: the system's)."},
    {"cert-file", "FILE", "Client certificate (with key-file)."},
    {"key-file", "FILE", "Client private key; must not be readable by others."},
    {"username", "NAME", "User name at the broker."},
    {"password-file", "FILE", "File whose first line is the password; must not be readable by others."},
};

std::optional<QByteArray> passwordFrom(const QString &path, QString *error)
{
    if (!privateFile(QStringLiteral("password-file"), path, error))
        return std::nullopt;
    QFile secret(path);
    if (!secret.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("password-file %1 cannot be read").arg(path);
        return std::nullopt;
    }
    QByteArray password = secret.readLine();
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty()) {
        *error = QStringLiteral("password-file %1 is empty").arg(path);
        return std::nullopt;
    }
    return password;
}

bool filesUsable(const BrokerSettings &broker, QString *error)
{
    if (broker.certFile.isEmpty() != broker.keyFile.isEmpty()) {
        *error = QStringLiteral("cert-file and key-file go together");
        return false;
    }
    if (!broker.caFile.isEmpty() && !QFileInfo(broker.caFile).isReadable()) {
        *error = QStringLiteral("ca-file %1 cannot be read").arg(broker.caFile);
        return false;
    }
    return broker.keyFile.isEmpty() || privateFile(QStringLiteral("key-file"), broker.keyFile, error);
}

} // namespace

std::span<const OptionEntry> brokerOptions()
{
    return options;
}

std::optional<BrokerSettings> brokerFrom(const OptionValues &values, const QString &defaultClientId, QString *error)
{
    BrokerSettings broker;
    broker.host = values.text("host").value_or(broker.host);
    broker.clientId = values.text("client-id").value_or(defaultClientId);
    broker.caFile = values.text("ca-file").value_or(QString());
    broker.certFile = values.text("cert-file").value_or(QString());
    broker.keyFile = values.text("key-file").value_or(QString());
    broker.username = values.text("username").value_or(QString());
    const std::optional<bool> tls = values.flag("tls", error);
    if (!tls)
        return std::nullopt;
    broker.tls = *tls || !broker.caFile.isEmpty() || !broker.certFile.isEmpty();
    const std::optional<int> port = values.number("port", broker.tls ? 8883 : 1883, 1, 65535, error);
    const std::optional<int> keepalive = values.number("keepalive", broker.keepaliveSeconds, 5, 65535, error);
    if (!port || !keepalive)
        return std::nullopt;
    broker.port = *port;
    broker.keepaliveSeconds = *keepalive;
    if (!filesUsable(broker, error))
        return std::nullopt;
    if (const std::optional<QString> passwordFile = values.text("password-file")) {
        if (broker.username.isEmpty()) {
            *error = QStringLiteral("password-file needs a username");
            return std::nullopt;
        }
        const std::optional<QByteArray> password = passwordFrom(*passwordFile, error);
        if (!password)
            return std::nullopt;
        broker.password = *password;
    }
    return broker;
}

} // namespace dorvan::mqtt
