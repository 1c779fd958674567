#include "station/stationconfig.h"

#include <QDir>
#include <QRegularExpression>
#include <QFileInfo>
#include <QSysInfo>

namespace dorvan::station {

namespace {

constexpr int SessionExpirySeconds = 7 * 24 * 3600;

const OptionEntry options[] = {
    {"data-dir", "DIR", "Directory of the journal and the operators' file (default: ~/.local/share/dorvan-station)."},
    {"prefix", "PREFIXES", "First topic levels of the posts, comma-separated (default: dorvan)."},
    {"sites", "SITES", "Only these posts, comma-separated (default: every post under the prefixes)."},
    {"silence", "SECONDS", "How long \"Тишина\" silences the alarm sound (default: 60, from 5 to 3600)."},
    {"max-shelve", "MINUTES", "The longest time an operator may shelve an alarm (default: 480, from 1 to 10080)."},
    {"escalate-trip", "MINUTES", "A trip unacknowledged this long is escalated (default: 2; 0: never)."},
    {"escalate-fault", "MINUTES", "The same for faults and the posts' liveness alarms (default: 10; 0: never)."},
    {"escalate-notice", "MINUTES", "The same for notices such as a post's clock far off (default: 0: never)."},
    {"on-escalation", "COMMAND", "Started at each escalation with the alarm as JSON on its standard input; killed after 10 s."},
    {"station-name", "NAME", "This station's name in the journal (default: the host name)."},
    {"centre-topic", "TOPIC", "The centre's topic its stations share operators' actions on (default: dorvan-centre; none: alone)."},
    {"trip-sound", "FILE", "Wave file looped while a trip is unacknowledged (default: the packaged one)."},
    {"other-sound", "FILE", "Wave file looped for every other unacknowledged alarm (default: the packaged one)."},
    {"flood-alarms", "COUNT", "A post raising this many alarms within flood-seconds shows them as one row (default: 10; 0: never)."},
    {"flood-seconds", "SECONDS", "The window of flood-alarms (default: 60, from 1 to 3600)."},
};

const QStringList channels = {
    QStringLiteral("status"), QStringLiteral("console"), QStringLiteral("event"),
    QStringLiteral("sensor/+/state"), QStringLiteral("sensor/+/signal"),
};

QStringList listFrom(const QString &text)
{
    QStringList items;
    for (const QString &item : text.split(u',', Qt::SkipEmptyParts)) {
        if (!item.trimmed().isEmpty())
            items.append(item.trimmed());
    }
    return items;
}

bool validLevels(const QString &text, bool oneLevel)
{
    if (text.isEmpty() || text.contains(u'+') || text.contains(u'#') || (oneLevel && text.contains(u'/')))
        return false;
    return !text.startsWith(u'/') && !text.endsWith(u'/') && !text.contains(QStringLiteral("//"));
}

bool listsUsable(const StationSettings &settings, QString *error)
{
    if (settings.prefixes.isEmpty()) {
        *error = QStringLiteral("prefix must name at least one topic prefix");
        return false;
    }
    for (const QString &prefix : settings.prefixes) {
        if (!validLevels(prefix, false)) {
            *error = QStringLiteral("prefix \"%1\" must be topic levels without + # and empty levels").arg(prefix);
            return false;
        }
    }
    for (const QString &site : settings.sites) {
        if (!validLevels(site, true)) {
            *error = QStringLiteral("site \"%1\" must be one topic level: not empty, without / + #").arg(site);
            return false;
        }
    }
    return true;
}

bool escalationFrom(const OptionValues &values, EscalationLimits &limits, QString *error)
{
    constexpr int Day = 24 * 60;
    const std::optional<int> trip = values.number("escalate-trip", limits.tripMinutes, 0, Day, error);
    const std::optional<int> fault = trip ? values.number("escalate-fault", limits.faultMinutes, 0, Day, error) : std::nullopt;
    const std::optional<int> notice = fault ? values.number("escalate-notice", limits.noticeMinutes, 0, Day, error) : std::nullopt;
    if (!notice)
        return false;
    limits = {*trip, *fault, *notice};
    return true;
}

// The centre's topic is its own: never under a post's, so that no post may write there.
bool centreTopicUsable(const StationSettings &settings, QString *error)
{
    const QString &topic = settings.centreTopic;
    if (topic == u"none")
        return true;
    if (!validLevels(topic, false)) {
        *error = QStringLiteral("centre-topic \"%1\" must be topic levels without + and #").arg(topic);
        return false;
    }
    for (const QString &prefix : settings.prefixes) {
        if (topic == prefix || topic.startsWith(prefix + u'/')) {
            *error = QStringLiteral("centre-topic \"%1\" must not be under the posts' prefix %2").arg(topic, prefix);
            return false;
        }
    }
    return true;
}

bool floodsFrom(const OptionValues &values, FloodLimits &limits, QString *error)
{
    const std::optional<int> alarms = values.number("flood-alarms", limits.alarms, 0, 1000, error);
    const std::optional<int> seconds = alarms ? values.number("flood-seconds", limits.seconds, 1, 3600, error) : std::nullopt;
    if (!seconds)
        return false;
    if (*alarms == 1) {
        *error = QStringLiteral("flood-alarms must be 0 (never) or from 2 to 1000");
        return false;
    }
    limits = {*alarms, *seconds};
    return true;
}

bool soundsUsable(const StationSettings &settings, QString *error)
{
    for (const auto &[key, path] : {std::pair{"trip-sound", settings.tripSound}, std::pair{"other-sound", settings.otherSound}}) {
        if (!path.isEmpty() && !QFileInfo(path).isReadable()) {
            *error = QStringLiteral("%1 %2 cannot be read").arg(QLatin1StringView(key), path);
            return false;
        }
    }
    return true;
}

} // namespace

QString centreActionsTopic(const QString &centreTopic)
{
    return centreTopic + QStringLiteral("/actions");
}

std::span<const OptionEntry> stationOptions()
{
    return options;
}

QString stationConfigPath(const QString &explicitPath)
{
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString home = qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
    const QString own = home + QStringLiteral("/dorvan-station/station.conf");
    if (QFileInfo::exists(own))
        return own;
    return QStringLiteral("/etc/dorvan-station/station.conf");
}

QStringList stationSubscriptions(const QStringList &prefixes, const QStringList &sites)
{
    QStringList filters;
    const QStringList levels = sites.isEmpty() ? QStringList{QStringLiteral("+")} : sites;
    for (const QString &prefix : prefixes) {
        for (const QString &site : levels) {
            for (const QString &channel : channels)
                filters.append(prefix + u'/' + site + u'/' + channel);
        }
    }
    return filters;
}

std::optional<StationSettings> stationFrom(const OptionValues &values, QString *error)
{
    StationSettings settings;
    settings.dataDir = values.text("data-dir").value_or(defaultDataDir());
    if (const std::optional<QString> prefixes = values.text("prefix"))
        settings.prefixes = listFrom(*prefixes);
    settings.sites = listFrom(values.text("sites").value_or(QString()));
    settings.stationName = values.text("station-name").value_or(QSysInfo::machineHostName());
    settings.tripSound = values.text("trip-sound").value_or(QString());
    settings.otherSound = values.text("other-sound").value_or(QString());
    const std::optional<int> silence = values.number("silence", settings.silenceSeconds, 5, 3600, error);
    const std::optional<int> maxShelve = values.number("max-shelve", settings.maxShelveMinutes, 1, 7 * 24 * 60, error);
    if (!silence || !maxShelve || !escalationFrom(values, settings.escalation, error) || !listsUsable(settings, error)
        || !soundsUsable(settings, error) || !floodsFrom(values, settings.floods, error))
        return std::nullopt;
    settings.silenceSeconds = *silence;
    settings.maxShelveMinutes = *maxShelve;
    settings.onEscalation = values.text("on-escalation").value_or(QString()).trimmed();
    if (settings.stationName.trimmed().isEmpty()) {
        *error = QStringLiteral("station-name must not be empty");
        return std::nullopt;
    }

    settings.centreTopic = values.text("centre-topic").value_or(settings.centreTopic).trimmed();
    if (!centreTopicUsable(settings, error))
        return std::nullopt;

    // Two stations on one machine must not take each other's session.
    QString clientId = QStringLiteral("dorvan-station-") + QSysInfo::machineHostName();
    if (settings.stationName != QSysInfo::machineHostName())
        clientId += u'-' + QString(settings.stationName).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    std::optional<mqtt::BrokerSettings> broker = mqtt::brokerFrom(values, clientId, error);
    if (!broker)
        return std::nullopt;
    settings.broker = *broker;
    settings.broker.sessionExpirySeconds = SessionExpirySeconds;
    settings.broker.subscriptions = stationSubscriptions(settings.prefixes, settings.sites);
    if (settings.centreTopic != u"none")
        settings.broker.subscriptions.append(centreActionsTopic(settings.centreTopic));
    else
        settings.centreTopic.clear();
    return settings;
}

QString defaultDataDir()
{
    const QString home = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    return home + QStringLiteral("/dorvan-station");
}

QString operatorsPath(const StationSettings &settings)
{
    return settings.dataDir + QStringLiteral("/operators");
}

QString journalPath(const StationSettings &settings)
{
    return settings.dataDir + QStringLiteral("/journal.sqlite");
}

} // namespace dorvan::station
