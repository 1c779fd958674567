#include "station/widgets/tonepaint.h"

namespace dorvan::station {

namespace {

TonePaint steady(Tone tone)
{
    switch (tone) {
    case Tone::Alarm:
        return {QColor(0xFF, 0x00, 0x00), Qt::white, QColor(0x80, 0x00, 0x00)};
    case Tone::Fault:
        return {QColor(0xF2, 0x6B, 0x53), Qt::black, QColor(0x8A, 0x2E, 0x1E)};
    case Tone::NoLink:
        return {QColor(0xAB, 0x00, 0x00), Qt::white, QColor(0x50, 0x00, 0x00)};
    case Tone::Stale:
        return {QColor(0xE8, 0xC8, 0x3C), Qt::black, QColor(0x7A, 0x64, 0x10)};
    case Tone::Offline:
        return {QColor(0x55, 0x55, 0x55), Qt::white, QColor(0x22, 0x22, 0x22)};
    case Tone::Unknown:
        return {QColor(0xB4, 0xB4, 0xB4), QColor(0x30, 0x30, 0x30), QColor(0x70, 0x70, 0x70)};
    case Tone::OutOfService:
        return {QColor(0xC4, 0xEE, 0xF0), QColor(0x20, 0x40, 0x48), QColor(0x60, 0x90, 0x98)};
    case Tone::Normal:
        break;
    }
    return {QColor(0xC6, 0xE8, 0xBE), Qt::black, QColor(0x6E, 0x9A, 0x64)};
}

} // namespace

TonePaint tonePaint(Tone tone, bool blinkPhaseOff)
{
    const TonePaint paint = steady(tone);
    if (!blinkPhaseOff)
        return paint;
    // White with the state's colour, darkened to be read on white, for the
    // text and the frame: the eye still reads the state in the off phase.
    return {Qt::white, paint.fill.darker(150), paint.fill.darker(150)};
}

Tone toneOf(const QVariant &value)
{
    return value.isValid() ? static_cast<Tone>(value.toInt()) : Tone::Normal;
}

QString shortAge(int seconds)
{
    if (seconds < 0)
        return QStringLiteral("—");
    if (seconds < 60)
        return QStringLiteral("%1 с").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 мин").arg(seconds / 60);
    if (seconds < 48 * 3600)
        return QStringLiteral("%1 ч").arg(seconds / 3600);
    return QStringLiteral("%1 д").arg(seconds / 86400);
}

} // namespace dorvan::station
