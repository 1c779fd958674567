#include "uplink/sensorstates.h"

#include "uplink/jsonwriter.h"

#include "sensors/sensortable.h"

namespace dorvan::uplink {

namespace {

using Link = SensorState::Link;
using Loop = SensorState::Loop;

const char *const linkNames[] = {"unknown", "up", "lost"};
const char *const loopNames[] = {"unknown", "disarmed", "normal", "alarm"};

template<typename Enum, std::size_t N>
std::optional<Enum> parseName(const QString &text, const char *const (&names)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        if (text == QLatin1String(names[i]))
            return Enum(i);
    }
    return std::nullopt;
}

// While the link is down the console shows both loops in alarm and raises
// the alarm for an armed sensor; it logs the loops' return to normal once
// replies come again. A disarmed loop stays disarmed.
void linkLost(SensorState &state)
{
    state.link = Link::Lost;
    for (Loop &loop : state.loops) {
        if (loop == Loop::Normal)
            loop = Loop::Alarm;
    }
}

void applyToSensor(SensorState &state, const StampedRecord &stamped)
{
    const EventRecord &record = stamped.record;
    const int loop = eventLoop(record.code, stamped.text);
    Loop *const loopState = loop == 0 ? nullptr : &state.loops[loop - 1];
    switch (eventKindOf(record.code)) {
    case EventKind::Normal:
        if (loopState) {
            *loopState = Loop::Normal;
        } else { // the sensor back to standby
            state.fault.clear();
            state.faultCode = -1;
        }
        break;
    case EventKind::Fault:
        state.fault = stamped.text;
        state.faultCode = record.code;
        break;
    case EventKind::LinkLost:
        linkLost(state);
        break;
    case EventKind::LinkRestored:
        state.link = Link::Up;
        break;
    case EventKind::Armed:
        if (loopState)
            *loopState = Loop::Normal;
        break;
    case EventKind::Disarmed:
        if (loopState)
            *loopState = Loop::Disarmed;
        break;
    case EventKind::Alarm:
        if (loopState)
            *loopState = Loop::Alarm;
        break;
    case EventKind::Connected:
        // A new connection starts disarmed and without link.
        state.link = Link::Lost;
        state.loops[0] = state.loops[1] = Loop::Disarmed;
        state.fault.clear();
        state.faultCode = -1;
        break;
    case EventKind::Unknown: case EventKind::System: case EventKind::Disconnected: case EventKind::Threshold:
        break;
    }
}

} // namespace

int SensorStates::modelFor(const StampedRecord &stamped) const
{
    const int named = ownModelNamedIn(stamped.record.code, stamped.text);
    if (named >= 0)
        return named;
    const SensorState *known = find(stamped.record.address);
    return known && known->model >= 0 ? known->model : -1;
}

const SensorState *SensorStates::find(qint32 address) const
{
    const auto it = sensors_.find(address);
    return it == sensors_.end() ? nullptr : &it->second;
}

QList<SensorStates::Change> SensorStates::apply(const StampedRecord &stamped)
{
    const EventRecord &record = stamped.record;
    QList<Change> changes;
    auto stamp = [&](SensorState &state) {
        state.changedAt = record.time;
        state.changedBy = stamped.position.id();
    };

    const EventKind kind = eventKindOf(record.code);
    if (kind == EventKind::System) {
        // Start and end of work: the console has no link to any sensor then.
        for (auto &[address, state] : sensors_) {
            const SensorState before = state;
            linkLost(state);
            if (!(state == before)) {
                stamp(state);
                changes.append({address, false, false});
            }
        }
        return changes;
    }
    if (kind == EventKind::Disconnected) {
        sensors_.erase(record.address);
        changes.append({record.address, false, true});
        return changes;
    }
    if (kind == EventKind::Unknown)
        return changes;

    const bool added = sensors_.find(record.address) == sensors_.end();
    SensorState &state = sensors_[record.address];
    state.address = record.address;
    const SensorState before = state;
    const int named = ownModelNamedIn(record.code, stamped.text);
    if (named >= 0)
        state.model = named;
    applyToSensor(state, stamped);
    if (added || !(state == before)) {
        stamp(state);
        changes.append({record.address, added, false});
    }
    return changes;
}

QJsonArray SensorStates::toJson() const
{
    QJsonArray array;
    for (const auto &[address, state] : sensors_) {
        array.append(QJsonObject{
            {QStringLiteral("address"), address},
            {QStringLiteral("model"), state.model},
            {QStringLiteral("link"), QLatin1String(linkNames[int(state.link)])},
            {QStringLiteral("loop1"), QLatin1String(loopNames[int(state.loops[0])])},
            {QStringLiteral("loop2"), QLatin1String(loopNames[int(state.loops[1])])},
            {QStringLiteral("fault"), state.fault},
            {QStringLiteral("fault_code"), state.faultCode},
            {QStringLiteral("changed_at"), state.changedAt},
            {QStringLiteral("changed_by"), state.changedBy},
        });
    }
    return array;
}

std::optional<SensorStates> SensorStates::fromJson(const QJsonArray &array)
{
    SensorStates states;
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        SensorState state;
        state.address = object.value(QStringLiteral("address")).toInt();
        state.model = object.value(QStringLiteral("model")).toInt(-1);
        const auto link = parseName<Link>(object.value(QStringLiteral("link")).toString(), linkNames);
        const auto loop1 = parseName<Loop>(object.value(QStringLiteral("loop1")).toString(), loopNames);
        const auto loop2 = parseName<Loop>(object.value(QStringLiteral("loop2")).toString(), loopNames);
        if (state.address == 0 || !link || !loop1 || !loop2)
            return std::nullopt;
        state.link = *link;
        state.loops[0] = *loop1;
        state.loops[1] = *loop2;
        state.fault = object.value(QStringLiteral("fault")).toString();
        state.faultCode = object.value(QStringLiteral("fault_code")).toInt(-1);
        state.changedAt = object.value(QStringLiteral("changed_at")).toDouble();
        state.changedBy = object.value(QStringLiteral("changed_by")).toString();
        states.sensors_[state.address] = state;
    }
    return states;
}

QByteArray statePayload(const SensorState &state, const QString &site, const QTimeZone &zone)
{
    JsonWriter json;
    json.string("site", site).number("address", state.address);
    if (state.model < 0)
        json.null("model");
    else
        json.string("model", modelName(state.model));
    json.string("link", QLatin1String(linkNames[int(state.link)]));
    json.string("loop1", QLatin1String(loopNames[int(state.loops[0])]));
    json.string("loop2", QLatin1String(loopNames[int(state.loops[1])]));
    json.stringOrNull("fault", state.fault);
    if (state.faultCode < 0)
        json.null("fault_code");
    else
        json.number("fault_code", state.faultCode);
    return json.stringOrNull("changed", isoTime(state.changedAt, zone)).string("event", state.changedBy).finish();
}

} // namespace dorvan::uplink
