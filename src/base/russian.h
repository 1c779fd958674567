#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

class QCommandLineParser;

// The console's regional formats are Russian whatever the Linux locale:
// short date dd.MM.yyyy, long time HH:mm:ss, decimal comma. This is the one
// place that owns them.
namespace dorvan::ru {

QString shortDate(const QDate &date);
QString longTime(const QTime &time);

// Date and time of an event as the event list and the reports show it:
// short date, a blank, long time; the time is left out at exactly midnight.
QString eventTimeText(double dayCount);

// "   Понедельник" and so on, with the three leading blanks of the toolbar.
QString dayOfWeekText(const QDate &date);

// Shortest general form with up to 15 significant digits ("0", "12,5").
QString generalNumber(double value);
// The pattern "0.000" with a decimal comma ("12,500").
QString fixed3(double value);

// A decimal integer with an optional sign that fits in 32 bits; leading and
// trailing blanks are allowed, nothing else.
std::optional<qint32> parseInt32(const QString &text);
// A real number written with the decimal comma; a point is not accepted.
std::optional<double> parseReal(const QString &text);

// What QCommandLineParser found wrong with a command line, in Russian.
QString commandLineError(const QCommandLineParser &parser);
// The options part of QCommandLineParser's help, under a Russian heading.
QString commandLineOptions(const QString &generatedHelp);

} // namespace dorvan::ru
