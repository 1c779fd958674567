#include "uplink/eventmessage.h"

#include "base/daycount.h"
#include "base/russian.h"

#include <QJsonDocument>
#include <QJsonObject>

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
    switch (code) {
    case 0:
        return QStringLiteral("normal");
    case 2: case 3: case 4: case 5: case 7: case 8: case 9: case 10: case 11:
        return QStringLiteral("fault");
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

int eventLoop(const EventRecord &record)
{
    switch (record.code) {
    case EventCode::Armed1: case EventCode::Disarmed1:
    case 2: case 4: case 7: case 10: // faults the console raises when loop 1 is armed
        return 1;
    case EventCode::Armed2: case EventCode::Disarmed2:
    case 3: case 5: case 8: case 11:
        return 2;
    case 0: case EventCode::Tripped: case 34: case EventCode::ThresholdChanged:
        return loopNamedIn(record.textString());
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

QString modelName(int model)
{
    return model == 0 ? QStringLiteral("Дорван-301ДК") : QStringLiteral("Дорван-302ДК");
}

QString isoTime(double dayCount, const QTimeZone &zone)
{
    const QDateTime local = fromDayCount(dayCount);
    if (!local.isValid())
        return {};
    const QDateTime zoned(local.date(), local.time(), zone);
    const int offset = zoned.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(u"yyyy-MM-dd'T'HH:mm:ss.zzz") + (offset < 0 ? u'-' : u'+')
           + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray eventPayload(const EventRecord &record, const EventPosition &position, const QString &site,
                        int model, const QTimeZone &zone)
{
    // A general event (start or end of work) belongs to no sensor; its
    // address field carries nothing.
    const bool general = record.code == EventCode::Work;
    const QString time = isoTime(record.time, zone);
    const int loop = eventLoop(record);
    QJsonObject object{
        {QStringLiteral("id"), position.id()},
        {QStringLiteral("site"), site},
        {QStringLiteral("time"), time.isEmpty() ? QJsonValue() : QJsonValue(time)},
        {QStringLiteral("code"), int(record.code)},
        {QStringLiteral("kind"), eventKind(record.code)},
        {QStringLiteral("model"), general || model < 0 ? QJsonValue() : QJsonValue(modelName(model))},
        {QStringLiteral("address"), general ? QJsonValue() : QJsonValue(record.address)},
        {QStringLiteral("loop"), loop == 0 ? QJsonValue() : QJsonValue(loop)},
        {QStringLiteral("text"), record.textString()},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace dorvan::uplink
