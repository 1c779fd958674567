#include "uplink/uplinkconfig.h"

#include "base/workdirconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>
#include <QTimeZone>

namespace dorvan::uplink {

namespace {

struct Key
{
    const char *name;
    const char *valueName; // nullptr: a switch (true/false in the file)
    const char *description;
};

const Key keys[] = {
    {"workdir", "DIR", "The console's working directory (default: the one the console's configuration names, "
                       "else the current directory)."},
    {"site", "NAME", "Site name, one topic level (default: the host name)."},
    {"prefix", "PREFIX", "First topic levels (default: dorvan)."},
    {"host", "HOST", "Broker host (default: localhost)."},
    {"port", "PORT", "Broker port (default: 1883, with TLS 8883)."},
    {"client-id", "ID", "MQTT client id (default: dorvan-uplink-<site>)."},
    {"keepalive", "SECONDS", "MQTT keep-alive (default: 7): a dead path is given up within twice that, and the broker "
                             "publishes the last will after 1.5 times that."},
    {"heartbeat", "SECONDS", "The retained status is renewed this often with its time (default: 30); a station "
                             "takes a post whose status is older than twice that for dead."},
    {"time-zone", "ZONE", "The console's time zone for event times, an IANA name such as Europe/Moscow "
                          "(default: the system's)."},
    {"tls", nullptr, "Use TLS (implied by ca-file, cert-file); the broker's certificate is always verified."},
    {"ca-file", "FILE", "CA certificate(s) that sign the broker's certificate (default: the system's)."},
    {"cert-file", "FILE", "Client certificate (with key-file)."},
    {"key-file", "FILE", "Client private key; must not be readable by others."},
    {"username", "NAME", "User name at the broker."},
    {"password-file", "FILE", "File whose first line is the password; must not be readable by others."},
    {"ha-discovery", nullptr, "Announce each sensor to Home Assistant (MQTT discovery)."},
    {"ha-prefix", "PREFIX", "Home Assistant discovery prefix (default: homeassistant)."},
    {"cursor", "FILE", "Cursor file (default: <workdir>/data/uplink.cursor)."},
    {"window", "N", "Records in flight at most (default: 100)."},
};

QString keyName(const Key &key)
{
    return QString::fromLatin1(key.name);
}

class Source
{
public:
    Source(const QCommandLineParser &parser, const QSettings *file) : parser_(parser), file_(file) {}

    std::optional<QString> text(const char *name) const
    {
        const QString key = QString::fromLatin1(name);
        if (parser_.isSet(key))
            return parser_.value(key);
        if (file_ && file_->contains(key)) {
            // QSettings turns a value with commas into a list.
            const QVariant value = file_->value(key);
            return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
        }
        return std::nullopt;
    }

    std::optional<bool> flag(const char *name, QString *error) const
    {
        const QString key = QString::fromLatin1(name);
        if (parser_.isSet(key))
            return true;
        const std::optional<QString> value = text(name);
        if (!value)
            return false;
        const QString lower = value->trimmed().toLower();
        if (lower == u"true" || lower == u"yes" || lower == u"on" || lower == u"1")
            return true;
        if (lower == u"false" || lower == u"no" || lower == u"off" || lower == u"0")
            return false;
        *error = QStringLiteral("%1 must be true or false, not \"%2\"").arg(key, *value);
        return std::nullopt;
    }

    std::optional<int> number(const char *name, int fallback, int low, int high, QString *error) const
    {
        const std::optional<QString> value = text(name);
        if (!value)
            return fallback;
        bool ok = false;
        const int number = value->trimmed().toInt(&ok);
        if (!ok || number < low || number > high) {
            *error = QStringLiteral("%1 must be a number from %2 to %3, not \"%4\"")
                         .arg(QString::fromLatin1(name)).arg(low).arg(high).arg(*value);
            return std::nullopt;
        }
        return number;
    }

private:
    const QCommandLineParser &parser_;
    const QSettings *file_;
};

// A secret must be kept from other users: refuse the file otherwise.
bool privateFile(const QString &key, const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("%1 %2 cannot be read").arg(key, path);
        return false;
    }
    if (info.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther)) {
        *error = QStringLiteral("%1 %2 is open to every user of this machine; refusing to use it: chmod o-rwx %2 "
                                "(600, or 640 for the service's group)")
                     .arg(key, path);
        return false;
    }
    return true;
}

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
    for (const Key &key : keys) {
        if (key.valueName)
            parser.addOption({keyName(key), QString::fromLatin1(key.description), QString::fromLatin1(key.valueName)});
        else
            parser.addOption({keyName(key), QString::fromLatin1(key.description)});
    }
}

std::optional<UplinkConfig> configFrom(const QCommandLineParser &parser, QString *error)
{
    std::optional<QSettings> file;
    if (parser.isSet(QStringLiteral("config"))) {
        const QString path = parser.value(QStringLiteral("config"));
        if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
            *error = QStringLiteral("configuration file %1 cannot be read").arg(path);
            return std::nullopt;
        }
        file.emplace(path, QSettings::IniFormat);
        if (file->status() != QSettings::NoError) {
            *error = QStringLiteral("configuration file %1 is not a valid INI file").arg(path);
            return std::nullopt;
        }
        for (const QString &key : file->allKeys()) {
            if (std::none_of(std::begin(keys), std::end(keys), [&](const Key &k) { return keyName(k) == key; })) {
                *error = QStringLiteral("unknown key \"%1\" in %2").arg(key, path);
                return std::nullopt;
            }
        }
    }
    const Source source(parser, file ? &*file : nullptr);

    UplinkConfig config;
    UplinkSettings &uplink = config.uplink;
    BrokerSettings &broker = config.broker;
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

    broker.host = source.text("host").value_or(broker.host);
    broker.clientId = source.text("client-id").value_or(QStringLiteral("dorvan-uplink-") + uplink.site);
    broker.caFile = source.text("ca-file").value_or(QString());
    broker.certFile = source.text("cert-file").value_or(QString());
    broker.keyFile = source.text("key-file").value_or(QString());
    broker.username = source.text("username").value_or(QString());

    const std::optional<bool> tls = source.flag("tls", error);
    const std::optional<bool> haDiscovery = source.flag("ha-discovery", error);
    if (!tls || !haDiscovery)
        return std::nullopt;
    broker.tls = *tls || !broker.caFile.isEmpty() || !broker.certFile.isEmpty();
    uplink.haDiscovery = *haDiscovery;

    const std::optional<int> port = source.number("port", broker.tls ? 8883 : 1883, 1, 65535, error);
    const std::optional<int> keepalive = source.number("keepalive", broker.keepaliveSeconds, 5, 65535, error);
    const std::optional<int> window = source.number("window", uplink.window, 1, 10000, error);
    const std::optional<int> heartbeat = source.number("heartbeat", uplink.heartbeatSeconds, 5, 3600, error);
    if (!port || !keepalive || !window || !heartbeat)
        return std::nullopt;
    uplink.heartbeatSeconds = *heartbeat;
    uplink.timeZone = source.text("time-zone").value_or(QString());
    if (!uplink.timeZone.isEmpty() && !QTimeZone(uplink.timeZone.toUtf8()).isValid()) {
        *error = QStringLiteral("time-zone \"%1\" is not a time zone this system knows (an IANA name such as Europe/Moscow)")
                     .arg(uplink.timeZone);
        return std::nullopt;
    }
    broker.port = *port;
    broker.keepaliveSeconds = *keepalive;
    uplink.window = *window;

    if (broker.certFile.isEmpty() != broker.keyFile.isEmpty()) {
        *error = QStringLiteral("cert-file and key-file go together");
        return std::nullopt;
    }
    if (!broker.caFile.isEmpty() && !QFileInfo(broker.caFile).isReadable()) {
        *error = QStringLiteral("ca-file %1 cannot be read").arg(broker.caFile);
        return std::nullopt;
    }
    if (!broker.keyFile.isEmpty() && !privateFile(QStringLiteral("key-file"), broker.keyFile, error))
        return std::nullopt;

    if (const std::optional<QString> passwordFile = source.text("password-file")) {
        if (broker.username.isEmpty()) {
            *error = QStringLiteral("password-file needs a username");
            return std::nullopt;
        }
        if (!privateFile(QStringLiteral("password-file"), *passwordFile, error))
            return std::nullopt;
        QFile secret(*passwordFile);
        if (!secret.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("password-file %1 cannot be read").arg(*passwordFile);
            return std::nullopt;
        }
        broker.password = secret.readLine();
        while (broker.password.endsWith('\n') || broker.password.endsWith('\r'))
            broker.password.chop(1);
        if (broker.password.isEmpty()) {
            *error = QStringLiteral("password-file %1 is empty").arg(*passwordFile);
            return std::nullopt;
        }
    }
    return config;
}

} // namespace dorvan::uplink
