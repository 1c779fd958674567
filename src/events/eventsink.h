#pragma once

#include "events/alarmlist.h"
#include "events/eventlog.h"

namespace dorvan {

// Where the line's decoder tells what happened: an event for the files and
// the event list, and an alarm for the alarm window.
class EventSink
{
public:
    virtual ~EventSink() = default;

    virtual void log(const EventRecord &record, int model) = 0;
    virtual void raiseAlarm(const EventRecord &record) = 0;
};

// The console's own: the event log and the alarm list.
class ConsoleEvents : public EventSink
{
public:
    ConsoleEvents(EventLog &events, AlarmList &alarms) : events_(events), alarms_(alarms) {}

    void log(const EventRecord &record, int model) override { events_.Put_msg(record, model); }
    // The alarm list asks for its window through alarmAdded.
    void raiseAlarm(const EventRecord &record) override { alarms_.Add_alarm(record); }

private:
    EventLog &events_;
    AlarmList &alarms_;
};

} // namespace dorvan
