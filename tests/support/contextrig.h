#pragma once

#include "base/context.h"
#include "base/faultboxes.h"
#include "events/alarmlist.h"
#include "fakes.h"
#include "workdir.h"

#include <QStringList>

namespace dorvan::test {

// The surroundings of one part of the console on fakes: a temporary working
// directory, the operator's boxes, the fault boxes and a clock.
struct ContextRig
{
    explicit ContextRig(bool withDirectories = true) : dir(withDirectories) {}

    WorkDir dir;
    FakePrompter prompter;
    FakeClock clock;
    FaultBoxes faults{prompter};
    ConsoleContext ctx{dir.path(), prompter, faults, clock};

    // Every box so far, the faults included (they wait for the event loop).
    QStringList reported()
    {
        faults.flush();
        return prompter.texts();
    }
};

// The alarm list on fakes in a working directory without the console's
// directories; FormCreate() is left to the test.
struct AlarmRig : ContextRig
{
    AlarmRig() : ContextRig(false) {}

    FakeAlarmSound sound;
    AlarmList alarms{ctx, sound};
};

} // namespace dorvan::test
