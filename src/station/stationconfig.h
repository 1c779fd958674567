#pragma once

#include "base/options.h"
#include "mqtt/brokersettings.h"
#include "station/escalation.h"
#include "station/floods.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <span>

namespace dorvan::station {

struct StationSettings
{
    mqtt::BrokerSettings broker;
    QString dataDir;                                 // holds journal.sqlite and operators
    QStringList prefixes{QStringLiteral("dorvan")};
    QStringList sites;                               // empty: every site under the prefixes
    int silenceSeconds = 60;
    int maxShelveMinutes = 8 * 60;                   // the longest an alarm may be shelved
    EscalationLimits escalation;
    QString onEscalation;                            // the centre's command, empty: none
    QString stationName;                             // default: the host name
    QString centreTopic{QStringLiteral("dorvan-centre")}; // shared actions; empty: this station alone
    QString tripSound, otherSound;                   // wav files; the program fills in the packaged ones
    FloodLimits floods;                              // a post's flood of alarms shows as one row
};

// The station's own keys (data-dir, prefix, sites, silence, max-shelve,
// escalate-trip, escalate-fault, escalate-notice, on-escalation,
// station-name, centre-topic, trip-sound, other-sound, flood-alarms,
// flood-seconds); the broker's come from mqtt::brokerOptions().
std::span<const OptionEntry> stationOptions();

// --config when given, else ~/.config/dorvan-station/station.conf if it
// exists, else /etc/dorvan-station/station.conf.
QString stationConfigPath(const QString &explicitPath);

// The subscriptions for the prefixes, narrowed to the sites when any are named.
QStringList stationSubscriptions(const QStringList &prefixes, const QStringList &sites);

// Where the centre's stations publish and read each other's actions.
QString centreActionsTopic(const QString &centreTopic);

// The settings from the options; nullopt with a one-line reason for one
// that cannot be used.
std::optional<StationSettings> stationFrom(const OptionValues &values, QString *error);

// The data directory used when none is configured: $XDG_DATA_HOME/dorvan-station
// (~/.local/share/dorvan-station).
QString defaultDataDir();

// The operators' file of the station: <dataDir>/operators.
QString operatorsPath(const StationSettings &settings);

// The journal's database: <dataDir>/journal.sqlite.
QString journalPath(const StationSettings &settings);

} // namespace dorvan::station
