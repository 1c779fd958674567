#pragma once

#include "console/console.h"
#include "contextrig.h"

#include <QStringList>

namespace dorvan::test {

// The texts of the event list, oldest first.
inline QStringList listedEventTexts(const EventLog &events)
{
    QStringList texts;
    for (int row = 1; row <= events.eventListRows(); ++row)
        texts << events.list().cell(1, row);
    return texts;
}

// A whole console on fakes in a temporary working directory with its six
// directories; start-up is left to the test.
struct ConsoleRig
{
    QStringList eventTexts() const { return listedEventTexts(console.events); }
    // Every box so far, the faults included (they wait for the event loop).
    QStringList reported()
    {
        console.faults.flush();
        return prompter.texts();
    }

    FakePrompter prompter;
    FakeClock clock;
    FakeSerialLine line;
    FakeAlarmSound sound;
    WorkDir dir;
    Console console{prompter, clock, line, sound};
};

} // namespace dorvan::test
