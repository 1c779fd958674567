#include "uplink/eventmessage.h"

#include "base/daycount.h"
#include "base/russian.h"
#include "sensors/sensortable.h"

#include "uplink/jsonwriter.h"

#include <cstdio>

namespace dorvan::uplink {

namespace {

// The text of a code-0, 33 or 35 event tells which loop (or flank) it is about.
int loopNamedIn(const QString &text)
{
    for (int loop : {1, 2}) {
        const QString number = QString::number(loop);
        if (text.contains(number + QStringLiteral(" шлейфа")) || text.contains(number + QStringLiteral(" фланга")))
            return loop;
    }
    return 0;
}

} // namespace

QString EventPosition::fileName() const
{
    return ru::shortDate(day);
}

QString eventKind(int code)
{
    if (isFaultState(code))
        return QStringLiteral("fault");
    switch (code) {
    case EventCode::BackToNormal:
        return QStringLiteral("normal");
    case EventCode::NoLink:
        return QStringLiteral("link_lost");
    case EventCode::Armed1: case EventCode::Armed2:
        return QStringLiteral("armed");
    case EventCode::Disarmed1: case EventCode::Disarmed2:
        return QStringLiteral("disarmed");
    case EventCode::Work:
        return QStringLiteral("system");
    case EventCode::Connected:
        return QStringLiteral("connected");
    case EventCode::Disconnected:
        return QStringLiteral("disconnected");
    case EventCode::LinkRestored:
        return QStringLiteral("link_restored");
    case EventCode::Tripped: case 34:
        return QStringLiteral("alarm");
    case EventCode::ThresholdChanged:
        return QStringLiteral("threshold");
    default:
        return QStringLiteral("unknown");
    }
}

int eventLoop(int code, const QString &text)
{
    switch (code) {
    case EventCode::Armed1: case EventCode::Disarmed1:
    case 2: case 4: case 7: case 10: // faults the console raises when loop 1 is armed
        return 1;
    case EventCode::Armed2: case EventCode::Disarmed2:
    case 3: case 5: case 8: case 11:
        return 2;
    case 0: case EventCode::Tripped: case 34: case EventCode::ThresholdChanged:
        return loopNamedIn(text);
    default:
        return 0;
    }
}

int modelNamedIn(const QString &text)
{
    if (text.contains(QStringLiteral("Дорван-301ДК")))
        return 0;
    if (text.contains(QStringLiteral("Дорван-302ДК")))
        return 1;
    return -1;
}

bool textNamesOwnModel(int code)
{
    return !((code >= 2 && code <= 5) || code == 7 || code == 8 || code == 10 || code == 11);
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
