#include "station/centre.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QUuid>

namespace dorvan::station {

namespace {

constexpr ActionKind allKinds[] = {
    ActionKind::SignIn,       ActionKind::SignOut,         ActionKind::Acknowledge, ActionKind::Silence,
    ActionKind::Shelve,       ActionKind::Unshelve,        ActionKind::Escalate,    ActionKind::OutOfService,
    ActionKind::ReturnToService, ActionKind::HandOver,     ActionKind::TakeOver,    ActionKind::EditCard,
};

} // namespace

bool sharedKind(ActionKind kind)
{
    switch (kind) {
    case ActionKind::SignIn:
    case ActionKind::SignOut:
    case ActionKind::Silence:
    case ActionKind::Escalate:
        return false;
    default:
        return true;
    }
}

std::optional<ActionKind> actionKindFrom(const QString &name)
{
    for (const ActionKind kind : allKinds) {
        if (actionName(kind) == name)
            return kind;
    }
    return std::nullopt;
}

QString newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray encodeShared(const SharedAction &action)
{
    QJsonObject object = action.details;
    object.insert(QStringLiteral("uid"), action.row.uid);
    object.insert(QStringLiteral("time"), action.row.time.toUTC().toString(Qt::ISODateWithMs));
    object.insert(QStringLiteral("station"), action.row.station);
    object.insert(QStringLiteral("operator"), action.row.operatorName);
    object.insert(QStringLiteral("kind"), actionName(action.row.kind));
    object.insert(QStringLiteral("target"), action.row.target);
    object.insert(QStringLiteral("comment"), action.row.comment);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SharedAction> decodeShared(const QByteArray &payload, QString *reason)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &parseError);
    if (!document.isObject()) {
        *reason = QStringLiteral("not a JSON object: ") + parseError.errorString();
        return std::nullopt;
    }
    QJsonObject object = document.object();
    SharedAction action;
    ActionRow &row = action.row;
    row.uid = object.take(QStringLiteral("uid")).toString();
    row.time = QDateTime::fromString(object.take(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    row.station = object.take(QStringLiteral("station")).toString();
    row.operatorName = object.take(QStringLiteral("operator")).toString();
    const std::optional<ActionKind> kind = actionKindFrom(object.take(QStringLiteral("kind")).toString());
    row.target = object.take(QStringLiteral("target")).toString();
    row.comment = object.take(QStringLiteral("comment")).toString();
    if (row.uid.isEmpty() || row.uid.size() > 64 || !row.time.isValid() || row.station.isEmpty()) {
        *reason = QStringLiteral("uid, time or station missing or malformed");
        return std::nullopt;
    }
    if (!kind || !sharedKind(*kind)) {
        *reason = QStringLiteral("not an action the stations share");
        return std::nullopt;
    }
    row.kind = *kind;
    action.details = object;
    return action;
}

} // namespace dorvan::station
