#pragma once

#include <QFont>
#include <QStringList>

namespace dorvan {

// The console was drawn with Windows fonts; on Linux the nearest free faces
// stand in: Liberation Sans (Arial's metrics) for both Tahoma and MS Sans
// Serif. DejaVu Sans, the fallback, is wider and overflows the designed
// column widths ("Дорван-301ДК" in 103 pixels).
inline QFont windowsFont(int pixels, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

inline QFont tahomaFont(int pixels, bool bold = false)
{
    return windowsFont(pixels, bold);
}

inline QFont sansSerifFont(int pixels, bool bold = false)
{
    return windowsFont(pixels, bold);
}

} // namespace dorvan
