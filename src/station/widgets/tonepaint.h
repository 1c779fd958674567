#pragma once

#include "station/models.h"

#include <QColor>
#include <QString>

namespace dorvan::station {

// The colours of a tile or a row in one state: the console's for a trip
// (the alarm window's red), a fault and a lost link, calm ones for the rest,
// so that on a board of two hundred posts only trouble catches the eye.
struct TonePaint
{
    QColor fill;
    QColor ink;
    QColor border;
};

// A blinking tile or row alternates between its colours and their reverse.
TonePaint tonePaint(Tone tone, bool blinkPhaseOff = false);

Tone toneOf(const QVariant &value);

// A status age for a tile: "12 с", "5 мин", "3 ч", "—" for none.
QString shortAge(int seconds);

} // namespace dorvan::station
