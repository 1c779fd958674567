#include "events/eventlog.h"

#include "base/russian.h"
#include "sensors/recordio.h"

namespace dorvan {

namespace {

QByteArrayView bytesOf(const EventRecord &record)
{
    return QByteArrayView(reinterpret_cast<const char *>(&record), sizeof record);
}

} // namespace

QString EventLog::refusedEventText(const QString &shownName, const EventRecord &record)
{
    return QStringLiteral("Put_msg: событие не записано в файл %1: %2, код %3, адрес %4, \"%5\"")
        .arg(shownName, ru::eventTimeText(record.time), QString::number(record.code),
             QString::number(record.address), record.textString());
}

EventLog::EventLog(WorkContext &context, QObject *parent)
    : QObject(parent), context_(context), StringGrid2(2, 2)
{
    StringGrid2.setCell(0, 0, QStringLiteral("Дата и время"));
    StringGrid2.setCell(1, 0, QStringLiteral("Наименование события"));
    StringGrid2.setRowStyle(0, plainRowStyle());
    StringGrid2.setRowStyle(1, plainRowStyle());
}

RowStyle EventLog::plainRowStyle()
{
    RowStyle style;
    style.background = Colour::InfoBackground;
    return style;
}

QString EventLog::sensorEventFile(quint32 address, int model)
{
    const QString directory = model == 0 ? QStringLiteral("Dorvan301DK_mess/")
                                         : QStringLiteral("Dorvan302DK_mess/");
    return directory + QString::number(address);
}

QString EventLog::dailyEventFile(const QDate &date)
{
    return QStringLiteral("QReport/") + ru::shortDate(date);
}

void EventLog::Put_msg(const EventRecord &record, qint16 model)
{
    addToList(record);
    if (record.address != 0)
        appendToSensorFile(record, model);
    appendToDailyFile(record);
}

void EventLog::Put_sys_msg(const EventRecord &record)
{
    addToList(record);
    appendToDailyFile(record);
}

void EventLog::addToList(const EventRecord &record)
{
    const int last = StringGrid2.gridRowCount() - 1;
    if (eventListRows_ >= MaxListRows)
        StringGrid2.shiftRowsUp(1, last);

    RowStyle style = plainRowStyle();
    style.fontColor = eventFontColour(record.code);
    StringGrid2.setRowStyle(last, style);
    StringGrid2.setCell(0, last, ru::eventTimeText(record.time));
    StringGrid2.setCell(1, last, record.textString());

    if (eventListRows_ < MaxListRows)
        ++eventListRows_;
    if (eventListRows_ < MaxListRows) {
        StringGrid2.setGridRowCount(last + 2);
        StringGrid2.setRowStyle(last + 1, plainRowStyle());
    }
}

void EventLog::appendToSensorFile(const EventRecord &record, qint16 model)
{
    // The address is written as the record holds it; sensors answer to 1..65535 only.
    const QString path = context_.path(sensorEventFile(quint32(record.address), model));
    append(path, path, record);
}

void EventLog::appendToDailyFile(const EventRecord &record)
{
    // The file of the day the event is written, not of the day in the record:
    // an event noticed just before midnight and written after it starts the new file.
    const QDate today = context_.clock.now().date();
    append(context_.path(dailyEventFile(today)), QStringLiteral("QReport\\") + ru::shortDate(today), record);
}

void EventLog::append(const QString &path, const QString &shownName, const EventRecord &record)
{
    // Never through a symlink: its target, anywhere, would be taken for a
    // torn event file and written over.
    const RecordWrite written = appendRecord(path, bytesOf(record), Sync::No, Links::Refuse);
    if (!written.written()) {
        context_.faults.error(LogArea::Events, writeFailureText(QStringLiteral("Put_msg"), shownName, written));
        // The journal keeps the event the file refused.
        qCWarning(lcEvents).noquote() << refusedEventText(shownName, record);
        return;
    }
    const QString tail = droppedTailText(QStringLiteral("Put_msg"), shownName, written);
    if (!tail.isEmpty())
        qCWarning(lcEvents).noquote() << tail;
}

} // namespace dorvan
