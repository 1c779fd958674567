#include "simsignals.h"

namespace dorvan::sim {

double noiseUnit(quint32 &seed)
{
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return double(seed) / 2147483648.0 - 1.0;
}

double LoopMotion::baseAt(qint64 nowMs) const
{
    return level + rampPerMinute * double(nowMs - rampFromMs) / 60000.0;
}

double LoopMotion::valueAt(qint64 nowMs, quint32 &seed) const
{
    double value = baseAt(nowMs);
    if (noise > 0)
        value += noise * noiseUnit(seed);
    if (nowMs < burstUntilMs)
        value += burst * (0.75 + 0.25 * noiseUnit(seed));
    return value;
}

} // namespace dorvan::sim
