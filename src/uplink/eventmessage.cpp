#include "uplink/eventmessage.h"

#include "base/daycount.h"
#include "base/russian.h"
#include "sensors/sensortable.h"

#include "uplink/jsonwriter.h"

#include <cstdio>

namespace dorvan::uplink {

QString EventPosition::fileName() const
{
    return ru::shortDate(day);
}

QString eventKind(int code)
{
    return QLatin1String(eventKindName(eventKindOf(code)));
}

int eventLoop(int code, const QString &text)
{
    const std::optional<ParsedEvent> parsed = parseEventText(code, text);
    return parsed ? parsed->loop : fixedLoopOf(code);
}

int ownModelNamedIn(int code, const QString &text)
{
    const std::optional<ParsedEvent> parsed = parseEventText(code, text);
    return parsed && parsed->namesOwnModel ? parsed->model : -1;
}

QString isoTime(double dayCount, const QTimeZone &zone)
{
    // The parts of the count directly: a local QDateTime would ask the C
    // library's time zone code, which looks at /etc/localtime every time.
    QDate date;
    QTime time;
    if (!splitDayCount(dayCount, date, time))
        return {};
    const int offset = QDateTime(date, time, zone).offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", date.year(), date.month(),
                  date.day(), time.hour(), time.minute(), time.second(), time.msec(), offset < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return QString::fromLatin1(text);
}

QByteArray eventPayload(const StampedRecord &stamped, const QString &site, int model, const QTimeZone &zone)
{
    const EventRecord &record = stamped.record;
    // A general event (start or end of work) belongs to no sensor; its
    // address field carries nothing.
    const bool general = record.code == EventCode::Work;
    const int loop = eventLoop(record.code, stamped.text);
    JsonWriter json;
    json.string("id", stamped.position.id()).string("site", site).stringOrNull("time", isoTime(record.time, zone));
    json.number("code", record.code).string("kind", eventKind(record.code));
    if (general || model < 0)
        json.null("model");
    else
        json.string("model", modelName(model));
    if (general)
        json.null("address");
    else
        json.number("address", record.address);
    if (loop == 0)
        json.null("loop");
    else
        json.number("loop", loop);
    return json.string("text", stamped.text).finish();
}

} // namespace dorvan::uplink
