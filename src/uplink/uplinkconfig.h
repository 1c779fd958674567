#pragma once

#include "mqtt/brokersettings.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QString>

#include <optional>

namespace dorvan::uplink {

using mqtt::BrokerSettings;

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
