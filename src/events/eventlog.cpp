#include "events/eventlog.h"

// Placeholder until the event files are written.
namespace dorvan {

EventLog::EventLog(ConsoleContext &context, QObject *parent)
    : QObject(parent), context_(context), StringGrid2(2, 2)
{
}

void EventLog::Put_msg(const EventRecord &, qint16) {}
void EventLog::Put_sys_msg(const EventRecord &) {}

} // namespace dorvan
