#include "uplink/topics.h"

#include "sensors/sensortable.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace dorvan::uplink {

namespace {

const char *const entities[] = {"loop1", "loop2", "link"};

} // namespace

Discovery::Discovery(const Topics &topics, const QString &discoveryPrefix)
    : topics_(topics), prefix_(discoveryPrefix)
{
    // Home Assistant takes only [A-Za-z0-9_-] in a node id; a site name with
    // other characters gets a short hash so that two such sites stay apart.
    for (const QChar c : topics.site) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
                           || c == u'_' || c == u'-';
        siteId_ += plain ? c : u'_';
    }
    if (siteId_ != topics.site) {
        const QByteArray hash = QCryptographicHash::hash(topics.site.toUtf8(), QCryptographicHash::Sha1);
        siteId_ += u'_' + QString::fromLatin1(hash.toHex().left(8));
    }
}

QString Discovery::nodeId(qint32 address) const
{
    return QStringLiteral("dorvan_%1_%2").arg(siteId_).arg(address);
}

QString Discovery::configTopic(qint32 address, const QString &entity) const
{
    return prefix_ + QStringLiteral("/binary_sensor/") + nodeId(address) + u'/' + entity + QStringLiteral("/config");
}

QList<Message> Discovery::announce(const SensorState &state) const
{
    const QString model = state.model < 0 ? QString() : modelName(state.model);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{nodeId(state.address)}},
        {QStringLiteral("name"), QStringLiteral("%1 № %2 (%3)")
                                     .arg(model.isEmpty() ? QStringLiteral("Датчик") : model)
                                     .arg(state.address)
                                     .arg(topics_.site)},
        {QStringLiteral("manufacturer"), QStringLiteral("Dorvan")},
        {QStringLiteral("model"), model.isEmpty() ? QJsonValue() : QJsonValue(model)},
        {QStringLiteral("suggested_area"), topics_.site},
    };
    QList<Message> messages;
    for (const char *entity : entities) {
        const QString name = QLatin1String(entity);
        const bool link = name == QLatin1String("link");
        const QString condition = link ? QStringLiteral("value_json.link == 'up'")
                                       : QStringLiteral("value_json.%1 == 'alarm'").arg(name);
        const QJsonObject config{
            {QStringLiteral("name"), link ? QStringLiteral("Связь") : QStringLiteral("Шлейф %1").arg(name.back())},
            {QStringLiteral("unique_id"), nodeId(state.address) + u'_' + name},
            {QStringLiteral("device_class"), link ? QStringLiteral("connectivity") : QStringLiteral("safety")},
            {QStringLiteral("state_topic"), topics_.sensorState(state.address)},
            {QStringLiteral("value_template"), QStringLiteral("{{ 'ON' if %1 else 'OFF' }}").arg(condition)},
            {QStringLiteral("availability_topic"), topics_.status()},
            // The status is JSON while online and the plain word "offline" after.
            {QStringLiteral("availability_template"),
             QStringLiteral("{{ 'offline' if value == 'offline' else value_json.state }}")},
            {QStringLiteral("payload_available"), QStringLiteral("online")},
            {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
            {QStringLiteral("device"), device},
        };
        messages.append({configTopic(state.address, name), QJsonDocument(config).toJson(QJsonDocument::Compact), true});
    }
    return messages;
}

QList<Message> Discovery::withdraw(qint32 address) const
{
    QList<Message> messages;
    for (const char *entity : entities)
        messages.append({configTopic(address, QLatin1String(entity)), QByteArray(), true});
    return messages;
}

} // namespace dorvan::uplink
