#include "uplink/uplinkconfig.h"

#include "base/options.h"
#include "base/workdirconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>
#include <QTimeZone>

namespace dorvan::uplink {

namespace {

const OptionEntry uplinkOptions[] = {
    {"workdir", "DIR", "The console's working directory (default: the one the console's configuration names, "
                       "else the current directory)."},
    {"site", "NAME", "Site name, one topic level (default: the host name)."},
    {"prefix", "PREFIX", "First topic levels (default: dorvan)."},
    {"heartbeat", "SECONDS", "The retained status is renewed this often with its time (default: 30, from 5 to "
                             "3600); a station takes a post whose status is older than twice that for dead."},
    {"time-zone", "ZONE", "The console's time zone for event times, an IANA name such as Europe/Moscow "
                          "(default: the system's)."},
    {"ha-discovery", nullptr, "Announce each sensor to Home Assistant (MQTT discovery)."},
    {"ha-prefix", "PREFIX", "Home Assistant discovery prefix (default: homeassistant)."},
    {"cursor", "FILE", "Cursor file (default: <workdir>/data/uplink.cursor)."},
    {"window", "N", "Records in flight at most (default: 100)."},
};

bool validTopicLevels(const QString &text, bool oneLevel)
{
    if (text.isEmpty() || text.contains(u'+') || text.contains(u'#') || (oneLevel && text.contains(u'/')))
        return false;
    return !text.startsWith(u'/') && !text.endsWith(u'/') && !text.contains(QStringLiteral("//"));
}

} // namespace

void addOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("config"), QStringLiteral("Configuration file (INI, keys as the options below)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("from-start"),
                      QStringLiteral("First run only: publish today's file from its start, not from its end.")});
    dorvan::addOptions(parser, uplinkOptions);
    dorvan::addOptions(parser, mqtt::brokerOptions());
}

std::optional<UplinkConfig> configFrom(const QCommandLineParser &parser, QString *error)
{
    std::unique_ptr<QSettings> file;
    if (parser.isSet(QStringLiteral("config"))) {
        file = openConfigFile(parser.value(QStringLiteral("config")), {uplinkOptions, mqtt::brokerOptions()}, error);
        if (!file)
            return std::nullopt;
    }
    const OptionValues source(parser, file.get());

    UplinkConfig config;
    UplinkSettings &uplink = config.uplink;
    // The console's own choice when none is given, as dorvan-report makes it.
    const WorkDirChoice workDir =
        chooseWorkDir(source.text("workdir").value_or(QString()), ConfigFiles::fromEnvironment(), QDir::currentPath());
    if (workDir.failed()) {
        *error = workDir.problemText();
        return std::nullopt;
    }
    uplink.workDir = workDir.dir;
    uplink.site = source.text("site").value_or(QSysInfo::machineHostName());
    uplink.prefix = source.text("prefix").value_or(uplink.prefix);
    uplink.haPrefix = source.text("ha-prefix").value_or(uplink.haPrefix);
    uplink.cursorPath = source.text("cursor").value_or(uplink.workDir + QStringLiteral("/data/uplink.cursor"));
    uplink.fromStart = parser.isSet(QStringLiteral("from-start"));
    if (!validTopicLevels(uplink.site, true)) {
        *error = QStringLiteral("site \"%1\" must be one topic level: not empty, without / + #").arg(uplink.site);
        return std::nullopt;
    }
    if (!validTopicLevels(uplink.prefix, false) || !validTopicLevels(uplink.haPrefix, false)) {
        *error = QStringLiteral("prefix and ha-prefix must be topic levels without + # and empty levels");
        return std::nullopt;
    }

    const std::optional<bool> haDiscovery = source.flag("ha-discovery", error);
    const std::optional<int> window = source.number("window", uplink.window, 1, 10000, error);
    const std::optional<int> heartbeat = source.number("heartbeat", uplink.heartbeatSeconds, 5, 3600, error);
    if (!haDiscovery || !window || !heartbeat)
        return std::nullopt;
    uplink.haDiscovery = *haDiscovery;
    uplink.window = *window;
    uplink.heartbeatSeconds = *heartbeat;
    uplink.timeZone = source.text("time-zone").value_or(QString());
    if (!uplink.timeZone.isEmpty() && !QTimeZone(uplink.timeZone.toUtf8()).isValid()) {
        *error = QStringLiteral("time-zone \"%1\" is not a time zone this system knows (an IANA name such as Europe/Moscow)")
                     .arg(uplink.timeZone);
        return std::nullopt;
    }

    std::optional<BrokerSettings> broker = mqtt::brokerFrom(source, QStringLiteral("dorvan-uplink-") + uplink.site, error);
    if (!broker)
        return std::nullopt;
    config.broker = *broker;
    return config;
}

} // namespace dorvan::uplink
