#pragma once

#include <QFont>
#include <QStringList>

namespace dorvan {

// The console was drawn with Windows fonts; on Linux the nearest free faces
// stand in: DejaVu Sans for Tahoma (same wide, open shapes), Liberation Sans
// (metric-compatible with Arial) for MS Sans Serif.
inline QFont windowsFont(const QString &windowsFamily, int pixels, bool bold = false)
{
    QFont font;
    if (windowsFamily == QLatin1String("Tahoma"))
        font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    else
        font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

inline QFont tahomaFont(int pixels, bool bold = false)
{
    return windowsFont(QStringLiteral("Tahoma"), pixels, bold);
}

inline QFont sansSerifFont(int pixels, bool bold = false)
{
    return windowsFont(QStringLiteral("MS Sans Serif"), pixels, bold);
}

} // namespace dorvan
