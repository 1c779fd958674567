#pragma once

#include "base/clock.h"
#include "base/prompter.h"
#include "base/reportqueue.h"

#include <QString>

namespace dorvan {

// What every part of the console needs from its surroundings: the working
// directory (taken once at start-up), the message boxes and the clock.
struct ConsoleContext
{
    QString workDir;
    // The operator's questions and the refusals of his own commands; these may wait.
    Prompter &prompter;
    // Faults of the files and the line; logged at once, never waited for.
    ReportQueue &reports;
    Clock &clock;

    // workDir joined with a relative path such as "data/hw.dat".
    QString path(const QString &relative) const { return workDir + u'/' + relative; }
};

// The port choice of the page "Диагностика": ComboBox1 (port n+1) and
// ComboBoxSpeedRS485 (0 = 19200, else 9600). The port index is kept in hw.dat.
struct PortChoice
{
    int portIndex = 0;
    int speedIndex = 0;

    int portNumber() const { return portIndex + 1; }
    int baudRate() const { return speedIndex == 0 ? 19200 : 9600; }
    QString portText() const { return QStringLiteral("COM%1").arg(portIndex + 1); }
};

} // namespace dorvan
