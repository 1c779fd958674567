#include "link/link.h"

// Placeholder until the line is driven.
namespace dorvan {

Link::Link(ConsoleContext &context, SensorTable &table, PortChoice &port, TextGridModel &sensorGrid,
           TextGridModel &comGrid, Captions &captions, EventLog &events, AlarmList &alarms,
           SerialLine &line, QObject *parent)
    : QObject(parent), context_(context), table_(table), port_(port), sensorGrid_(sensorGrid),
      comGrid_(comGrid), captions_(captions), events_(events), alarms_(alarms), line_(line)
{
}

int Link::Open_port(int) { return 0; }
void Link::closePort() {}
void Link::Timer1Timer() {}
void Link::TimerRvTimer() {}
void Link::Timer2Timer() {}
void Link::clearSlotStats(int) {}
void Link::showStoredSlotStats(int) {}

} // namespace dorvan
