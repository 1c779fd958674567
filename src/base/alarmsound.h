#pragma once

#include <QString>

namespace dorvan {

// The alarm window's looping warning sound.
class AlarmSound
{
public:
    virtual ~AlarmSound() = default;
    // Starts the wave file playing in an endless loop and returns at once.
    virtual void startLoop(const QString &wavePath) = 0;
    // Stops any sound that plays.
    virtual void stop() = 0;
};

} // namespace dorvan
