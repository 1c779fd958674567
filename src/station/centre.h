#pragma once

#include "station/journal.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace dorvan::station {

// An operator's action as the centre's stations tell each other of it on
// the centre's topic: one JSON object, its uid unique across the centre, so
// that each station journals it once however often and in whatever order it
// comes. What the action is about is in details (alarms' sources, a shelf's
// times, ...), by kind.
struct SharedAction
{
    ActionRow row;
    QJsonObject details;
};

// The actions the other stations take over: what changes the shared alarm
// list, and what belongs in every station's journal (handovers, cards).
// Sign-ins, silences and escalations are each desk's own.
bool sharedKind(ActionKind kind);
std::optional<ActionKind> actionKindFrom(const QString &name);

QByteArray encodeShared(const SharedAction &action);
// nullopt with a reason: not an action a station can take over.
std::optional<SharedAction> decodeShared(const QByteArray &payload, QString *reason);

// A new uid for an action or what it makes.
QString newUid();

} // namespace dorvan::station
