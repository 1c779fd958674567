#pragma once

#include <QtGlobal>

namespace dorvan::sim {

// How one loop's measured signal moves: noise around a level, a slow ramp
// from where it stood, a burst for a while. A step is a new level.
struct LoopMotion
{
    bool active = false; // false: the signal stays as "value" set it
    double level = 0;
    double noise = 0;       // ± this much, uniform
    double rampPerMinute = 0;
    qint64 rampFromMs = 0;
    double burst = 0;       // added (times 0.5..1) until burstUntilMs
    qint64 burstUntilMs = 0;

    // The level with the ramp so far, without noise or burst.
    double baseAt(qint64 nowMs) const;
    // What the sensor measures now; seed is the simulator's own noise source.
    double valueAt(qint64 nowMs, quint32 &seed) const;
};

// Uniform in [-1, 1), from a xorshift state.
double noiseUnit(quint32 &seed);

} // namespace dorvan::sim
