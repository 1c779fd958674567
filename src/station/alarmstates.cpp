#include "station/alarmstates.h"

#include <array>

namespace dorvan::station {

namespace {

using enum AlarmState;
using enum AlarmInput;

// Activation from Normal or Acknowledged makes the alarm unacknowledged;
// its return keeps an unacknowledged one in the list until it is
// acknowledged; acknowledging a returned one clears it. A shelved alarm
// still active comes back unacknowledged: it was not seen while shelved.
constexpr AlarmTransition transitions[] = {
    {Normal, Activate, Unacknowledged, false},
    {Unacknowledged, Activate, Unacknowledged, true},
    {Acknowledged, Activate, Unacknowledged, true},
    {ReturnedUnacknowledged, Activate, Unacknowledged, true},
    {Unacknowledged, Return, ReturnedUnacknowledged, false},
    {Acknowledged, Return, Normal, false},
    {Unacknowledged, Acknowledge, Acknowledged, false},
    {ReturnedUnacknowledged, Acknowledge, Normal, false},
    {Acknowledged, ShelfEnds, Unacknowledged, false},
};

struct StateNames
{
    AlarmState state;
    const char *name;
    const char16_t *text;
};

constexpr StateNames stateNames[] = {
    {Normal, "normal", u"норма"},
    {Unacknowledged, "unacknowledged", u"активна, не квитирована"},
    {Acknowledged, "acknowledged", u"активна, квитирована"},
    {ReturnedUnacknowledged, "returned", u"вернулась, не квитирована"},
};

struct KindNames
{
    AlarmKind kind;
    const char *name;
    AlarmPriority priority;
};

constexpr KindNames kindNames[] = {
    {AlarmKind::Trip, "trip", AlarmPriority::Trip},
    {AlarmKind::Fault, "fault", AlarmPriority::Fault},
    {AlarmKind::LinkLost, "link", AlarmPriority::Fault},
    {AlarmKind::BrokerLost, "broker", AlarmPriority::Fault},
    {AlarmKind::Offline, "offline", AlarmPriority::Fault},
    {AlarmKind::Stale, "stale", AlarmPriority::Fault},
    {AlarmKind::ClockSkew, "clock", AlarmPriority::Notice},
    {AlarmKind::ConsoleDown, "console", AlarmPriority::Fault},
    {AlarmKind::LineStopped, "line", AlarmPriority::Fault},
    {AlarmKind::Gap, "gap", AlarmPriority::Fault},
};

} // namespace

std::span<const AlarmTransition> alarmTransitions()
{
    return transitions;
}

std::optional<AlarmTransition> transitionFor(AlarmState from, AlarmInput input)
{
    for (const AlarmTransition &transition : transitions) {
        if (transition.from == from && transition.input == input)
            return transition;
    }
    return std::nullopt;
}

bool isActive(AlarmState state)
{
    return state == Unacknowledged || state == Acknowledged;
}

bool isUnacknowledged(AlarmState state)
{
    return state == Unacknowledged || state == ReturnedUnacknowledged;
}

bool isOpen(AlarmState state)
{
    return state != Normal;
}

QString stateName(AlarmState state)
{
    for (const StateNames &names : stateNames) {
        if (names.state == state)
            return QString::fromLatin1(names.name);
    }
    return {};
}

std::optional<AlarmState> stateFromName(const QString &name)
{
    for (const StateNames &names : stateNames) {
        if (name == QLatin1StringView(names.name))
            return names.state;
    }
    return std::nullopt;
}

QString stateText(AlarmState state)
{
    for (const StateNames &names : stateNames) {
        if (names.state == state)
            return QString::fromUtf16(names.text);
    }
    return {};
}

AlarmPriority priorityOf(AlarmKind kind)
{
    for (const KindNames &names : kindNames) {
        if (names.kind == kind)
            return names.priority;
    }
    return AlarmPriority::Notice;
}

QString kindName(AlarmKind kind)
{
    for (const KindNames &names : kindNames) {
        if (names.kind == kind)
            return QString::fromLatin1(names.name);
    }
    return {};
}

std::optional<AlarmKind> kindFromName(const QString &name)
{
    for (const KindNames &names : kindNames) {
        if (name == QLatin1StringView(names.name))
            return names.kind;
    }
    return std::nullopt;
}

} // namespace dorvan::station
