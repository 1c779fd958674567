#pragma once

#include <QString>

#include <optional>
#include <span>

namespace dorvan::station {

// The states of an alarm as alarm-management practice names them.
enum class AlarmState { Normal, Unacknowledged, Acknowledged, ReturnedUnacknowledged };

// What happens to an alarm: its condition comes (again), goes, an operator
// acknowledges it, or its shelving ends (by time or by an operator).
enum class AlarmInput { Activate, Return, Acknowledge, ShelfEnds };

struct AlarmTransition
{
    AlarmState from;
    AlarmInput input;
    AlarmState to;
    bool repeats; // the activation of an open alarm, counted in its row
};

// Every transition there is; a pair not in the table changes nothing.
std::span<const AlarmTransition> alarmTransitions();
std::optional<AlarmTransition> transitionFor(AlarmState from, AlarmInput input);

bool isActive(AlarmState state);   // the condition is present
bool isUnacknowledged(AlarmState state);
bool isOpen(AlarmState state);     // in the list
QString stateName(AlarmState state);             // journal word: normal, unacknowledged, ...
std::optional<AlarmState> stateFromName(const QString &name);
QString stateText(AlarmState state);             // what the operator reads

// Higher first in the list: a trip above a fault or liveness alarm above a notice.
enum class AlarmPriority { Notice = 0, Fault = 1, Trip = 2 };

} // namespace dorvan::station

namespace dorvan::station {

// What raised an alarm: a sensor's condition or one of the station's own checks.
enum class AlarmKind { Trip, Fault, LinkLost, BrokerLost, Offline, Stale, ClockSkew, ConsoleDown, LineStopped, Gap };

AlarmPriority priorityOf(AlarmKind kind);
QString kindName(AlarmKind kind);                 // journal word: trip, fault, link, ...
std::optional<AlarmKind> kindFromName(const QString &name);

} // namespace dorvan::station
