#pragma once

#include "base/workcontext.h"
#include "events/eventrecord.h"
#include "grid/textgridmodel.h"

#include <QObject>

namespace dorvan {

// The event list of the page "Протокол событий" (StringGrid2) and the event
// files: one per sensor in Dorvan30xDK_mess, one per day in QReport.
class EventLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxListRows = 500;

    explicit EventLog(WorkContext &context, QObject *parent = nullptr);

    // An event of one sensor: the list, the sensor's file (address != 0), the daily file.
    void Put_msg(const EventRecord &record, qint16 model);
    // A general event: the list and the daily file.
    void Put_sys_msg(const EventRecord &record);

    TextGridModel &list() { return StringGrid2; }
    const TextGridModel &list() const { return StringGrid2; }
    int eventListRows() const { return eventListRows_; }

    // Paths, relative to the working directory.
    static QString sensorEventFile(quint32 address, int model);
    static QString dailyEventFile(const QDate &date);
    // The log line that keeps an event a file refused: the file as the error
    // box names it, the event's time, code, address and text.
    static QString refusedEventText(const QString &shownName, const EventRecord &record);
    // The look of every row of the list before its event sets the font colour.
    static RowStyle plainRowStyle();

private:
    void addToList(const EventRecord &record);
    void appendToSensorFile(const EventRecord &record, qint16 model);
    void appendToDailyFile(const EventRecord &record);
    // Appends whole or not at all; a failure is reported naming shownName.
    void append(const QString &path, const QString &shownName, const EventRecord &record);

    WorkContext &context_;
    TextGridModel StringGrid2;
    int eventListRows_ = 0;
};

} // namespace dorvan
