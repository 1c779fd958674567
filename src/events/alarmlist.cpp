#include "events/alarmlist.h"

// Placeholder until the alarm list is built.
namespace dorvan {

AlarmList::AlarmList(ConsoleContext &context, AlarmSound &sound, QObject *parent)
    : QObject(parent), context_(context), sound_(sound), StringGrid1(2, 2)
{
}

void AlarmList::FormCreate() {}
void AlarmList::Add_alarm(const EventRecord &) {}
void AlarmList::BitBtnAllOtboyClick() {}

} // namespace dorvan
