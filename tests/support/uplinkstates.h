#pragma once

// One line that says what the uplink derived for a sensor, for comparing in tables.

#include "uplink/sensorstates.h"

#include <QString>

namespace dorvan::test {

inline QString summary(const uplink::SensorStates &states, qint32 address)
{
    const uplink::SensorState *state = states.find(address);
    if (!state)
        return QStringLiteral("removed");
    static const char *const links[] = {"unknown", "up", "lost"};
    static const char *const loops[] = {"unknown", "disarmed", "normal", "alarm"};
    return QStringLiteral("model=%1 link=%2 loop1=%3 loop2=%4 fault=%5")
        .arg(state->model)
        .arg(QLatin1String(links[int(state->link)]), QLatin1String(loops[int(state->loops[0])]),
             QLatin1String(loops[int(state->loops[1])]))
        .arg(state->faultCode);
}

} // namespace dorvan::test
