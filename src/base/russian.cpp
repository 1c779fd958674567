#include "base/russian.h"

#include "base/daycount.h"

#include <QCommandLineParser>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace dorvan::ru {

QString shortDate(const QDate &date)
{
    return date.toString(u"dd.MM.yyyy");
}

QString longTime(const QTime &time)
{
    return time.toString(u"HH:mm:ss");
}

QString eventTimeText(double dayCount)
{
    QDate date;
    QTime time;
    if (!splitDayCount(dayCount, date, time))
        return {};
    int year = 0;
    int month = 0;
    int day = 0;
    date.getDate(&year, &month, &day);
    // Exports write this text for every record: four-digit years are
    // formatted here without a format string; others the long way.
    if (year < 1000 || year > 9999) {
        if (time == QTime(0, 0))
            return shortDate(date);
        return shortDate(date) + u' ' + longTime(time);
    }
    char16_t text[19];
    const auto put2 = [&text](int at, int value) {
        text[at] = char16_t(u'0' + value / 10);
        text[at + 1] = char16_t(u'0' + value % 10);
    };
    put2(0, day);
    text[2] = u'.';
    put2(3, month);
    text[5] = u'.';
    put2(6, year / 100);
    put2(8, year % 100);
    if (time == QTime(0, 0))
        return QString::fromUtf16(text, 10);
    text[10] = u' ';
    put2(11, time.hour());
    text[13] = u':';
    put2(14, time.minute());
    text[16] = u':';
    put2(17, time.second());
    return QString::fromUtf16(text, 19);
}

QString dayOfWeekText(const QDate &date)
{
    static const char16_t *const names[] = {u"Понедельник", u"Вторник", u"Среда", u"Четверг",
                                            u"Пятница", u"Суббота", u"Воскресенье"};
    const int day = date.dayOfWeek(); // 1 = Monday
    if (day < 1 || day > 7)
        return {};
    return QStringLiteral("   ") + QString::fromUtf16(names[day - 1]);
}

QString generalNumber(double value)
{
    QString text = QString::number(value, 'g', 15);
    text.replace(u'.', u',');
    return text;
}

QString fixed3(double value)
{
    QString text = QString::number(value, 'f', 3);
    text.replace(u'.', u',');
    return text;
}

std::optional<qint32> parseInt32(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    if (trimmed[0] == u'+' || trimmed[0] == u'-')
        i = 1;
    if (i == trimmed.size())
        return std::nullopt;
    for (qsizetype k = i; k < trimmed.size(); ++k) {
        if (trimmed[k] < u'0' || trimmed[k] > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = trimmed.toLongLong(&ok, 10);
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return qint32(value);
}

std::optional<double> parseReal(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(u'.'))
        return std::nullopt;
    QString dotted = trimmed;
    dotted.replace(u',', u'.');
    bool ok = false;
    const double value = QLocale::c().toDouble(dotted, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString commandLineError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        QStringList options;
        for (const QString &name : unknown)
            options.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        return (unknown.size() == 1 ? QStringLiteral("Неизвестный параметр %1.")
                                    : QStringLiteral("Неизвестные параметры: %1."))
            .arg(options.join(QStringLiteral(", ")));
    }
    // The parser's other two complaints name the argument in quotes.
    const QString text = parser.errorText();
    static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
    const QString argument = quoted.match(text).captured(1);
    if (text.startsWith(QLatin1String("Missing value")))
        return QStringLiteral("Не указано значение параметра %1.").arg(argument);
    if (text.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("Параметр %1 указывается без значения.").arg(argument);
    return text;
}

QString commandLineOptions(const QString &generatedHelp)
{
    const QString heading = QStringLiteral("Options:");
    const qsizetype at = generatedHelp.indexOf(heading);
    return at < 0 ? generatedHelp : QStringLiteral("Параметры:") + generatedHelp.mid(at + heading.size());
}

} // namespace dorvan::ru
