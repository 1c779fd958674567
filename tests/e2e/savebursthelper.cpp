// savebursthelper WORKDIR: loads the console's files in WORKDIR (core
// console with fakes) and then saves hw.dat and every sensor's record in
// place as fast as it can, until it is killed. Each round stamps the round
// number into three fields spread over the record (connectedAt,
// thresholdDc1, thresholdDc2), so a reader can tell a record written whole
// from one torn by the kill. Prints "saving" once the first round is done.

#include "console/console.h"
#include "fakes.h"

#include <QCoreApplication>

#include <cstdio>

using namespace dorvan;
using namespace dorvan::test;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: savebursthelper WORKDIR\n");
        return 2;
    }
    FakePrompter prompter;
    FakeClock clock;
    FakeSerialLine line;
    FakeAlarmSound sound;
    Console console(prompter, clock, line, sound);
    const ConsoleParts &parts = console.parts();
    console.FormCreate(QString::fromLocal8Bit(argv[1]));
    if (!prompter.shown.isEmpty()) {
        std::fprintf(stderr, "start-up complained: %s\n", qPrintable(prompter.texts().join(u'|')));
        return 1;
    }
    for (qint64 round = 1;; ++round) {
        parts.hardware.Save_Hw();
        for (int slot = 0; slot < SlotCount; ++slot) {
            if (!parts.table.occupied(slot))
                continue;
            SensorRecord &r = parts.table[slot];
            r.connectedAt = double(round);
            r.thresholdDc1 = r.thresholdDc2 = float(round);
            parts.sensorFiles.Save_sm(r, 'u');
        }
        if (round == 1) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
