#include "station/annunciator.h"

namespace dorvan::station {

Annunciator::Annunciator(AlarmSound &sound, QString tripSound, QString otherSound, int silenceSeconds)
    : sound_(sound), tripSound_(std::move(tripSound)), otherSound_(std::move(otherSound)),
      silenceSeconds_(silenceSeconds)
{
}

void Annunciator::update(bool unacknowledgedTrip, bool unacknowledgedOther, qint64 monotonicMs)
{
    if (silenced(monotonicMs))
        play(Sound::None);
    else if (unacknowledgedTrip)
        play(Sound::Trip);
    else if (unacknowledgedOther)
        play(Sound::Other);
    else
        play(Sound::None);
}

void Annunciator::silence(qint64 monotonicMs)
{
    silencedUntilMs_ = monotonicMs + qint64(silenceSeconds_) * 1000;
    play(Sound::None);
}

void Annunciator::newAlarm()
{
    silencedUntilMs_ = -1;
}

int Annunciator::silenceLeftSeconds(qint64 monotonicMs) const
{
    if (silencedUntilMs_ < 0 || monotonicMs >= silencedUntilMs_)
        return 0;
    return int((silencedUntilMs_ - monotonicMs + 999) / 1000);
}

void Annunciator::play(Sound sound)
{
    if (sound == playing_)
        return;
    playing_ = sound;
    if (sound == Sound::None)
        sound_.stop();
    else
        sound_.startLoop(sound == Sound::Trip ? tripSound_ : otherSound_);
}

} // namespace dorvan::station
