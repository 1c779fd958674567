#pragma once

#include "base/alarmsound.h"

#include <QString>

namespace dorvan::station {

// Which sound loops: the trips' while an unacknowledged trip is open, the
// other alarms' while only other unacknowledged alarms are, none while
// silenced. A new alarm ends a silence.
class Annunciator
{
public:
    enum class Sound { None, Trip, Other };

    Annunciator(AlarmSound &sound, QString tripSound, QString otherSound, int silenceSeconds);

    // The alarms changed: what should sound now. Changes the sound only when it differs.
    void update(bool unacknowledgedTrip, bool unacknowledgedOther, qint64 monotonicMs);
    void silence(qint64 monotonicMs);
    void newAlarm(); // ends a silence; the next update() sounds again
    // 0 when not silenced; ends an expired silence.
    int silenceLeftSeconds(qint64 monotonicMs) const;
    bool silenced(qint64 monotonicMs) const { return silenceLeftSeconds(monotonicMs) > 0; }
    Sound playing() const { return playing_; }

private:
    void play(Sound sound);

    AlarmSound &sound_;
    QString tripSound_, otherSound_;
    int silenceSeconds_;
    qint64 silencedUntilMs_ = -1;
    Sound playing_ = Sound::None;
};

} // namespace dorvan::station
