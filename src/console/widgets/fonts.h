#pragma once

#include <QApplication>
#include <QFont>
#include <QStringList>

namespace dorvan {

// The console was drawn with Windows fonts, and its windows and grid rows ask
// for them by name: "Tahoma" and "MS Sans Serif". On Linux both stand for
// Liberation Sans, which has Arial's metrics and so fits the designed widths;
// DejaVu Sans, what fontconfig gives for either name otherwise, is wider and
// overflows them ("Дорван-301ДК" in 103 pixels). Called once before the
// first window; every window, box and printed report then gets that face,
// and the windows' own default is the designed "MS Sans Serif", 11 pixels.
inline void useWindowsFonts()
{
    const QStringList metricCompatible{QStringLiteral("Liberation Sans"),
                                       QStringLiteral("DejaVu Sans")};
    for (const char *name : {"Tahoma", "MS Sans Serif"})
        QFont::insertSubstitutions(QString::fromLatin1(name), metricCompatible);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    QApplication::setFont(font);
}

inline QFont windowsFont(const QString &family, int pixels, bool bold)
{
    QFont font(family);
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
