#pragma once

#include <QByteArray>
#include <QCommandLineParser>
#include <QString>

#include <optional>

namespace dorvan::uplink {

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

    QString name() const { return host + u':' + QString::number(port); }
};

struct UplinkSettings
{
    QString workDir;
    QString cursorPath;
    QString site;
    QString prefix = QStringLiteral("dorvan");
    bool haDiscovery = false;
    QString haPrefix = QStringLiteral("homeassistant");
    bool fromStart = false;
    int window = 100; // records published and not yet acknowledged, at most
    int heartbeatSeconds = 30; // the retained status is renewed this often
    QString timeZone;          // the console's zone (IANA id) for event times; empty: the system's
};

struct UplinkConfig
{
    BrokerSettings broker;
    UplinkSettings uplink;
};

// Every setting is a key of the configuration file (INI, keys without a
// section) and a command-line option of the same name; the option wins.
void addOptions(QCommandLineParser &parser);

// The settings from the parsed command line and the file it names with
// --config; nullopt with a one-line reason when they cannot be used (an
// unknown key, a bad value, a secret file others may read, ...).
std::optional<UplinkConfig> configFrom(const QCommandLineParser &parser, QString *error);

} // namespace dorvan::uplink
