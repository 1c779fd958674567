#pragma once

#include "base/cp1251.h"
#include "console/console.h"
#include "console/thresholdoffset.h"
#include "contextrig.h"

#include <QFile>
#include <QStringList>
#include <QTest>

namespace dorvan::test {

// The texts of the event list, oldest first.
inline QStringList listedEventTexts(const EventLog &events)
{
    QStringList texts;
    for (int row = 1; row <= events.eventListRows(); ++row)
        texts << events.list().cell(1, row);
    return texts;
}

// chop.dat with the given active names, in order.
inline void writeOperators(const WorkDir &dir, const QStringList &names)
{
    QFile file(dir.file("data/chop.dat"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const QString &name : names) {
        char record[40] = {1, 0};
        toCp1251Field(name, record + 2, 38);
        file.write(record, sizeof record);
    }
}

// A whole console on fakes in a temporary working directory with its six
// directories; start-up is left to the test.
struct ConsoleRig
{
    QStringList eventTexts() const { return listedEventTexts(parts.events); }
    quint32 rowColor(int slot) const { return rows.colour(slot); }
    // The threshold offset dialog's values, on the console's parts.
    ThresholdOffset thresholdOffset()
    {
        return ThresholdOffset({prompter, clock, parts.table, parts.events, parts.selection});
    }
    QString sensorCell(SensorColumn column, int slot) const { return rows.text(slot, column); }
    // Every box so far, the faults included (they wait for the event loop).
    QStringList reported()
    {
        parts.faults.flush();
        return prompter.texts();
    }

    FakePrompter prompter;
    FakeClock clock;
    FakeSerialLine line;
    FakeAlarmSound sound;
    WorkDir dir;
    Console console{prompter, clock, line, sound};
    const ConsoleParts &parts = console.parts();
    SensorGridRows rows{parts.sensorGrid};
};

} // namespace dorvan::test
