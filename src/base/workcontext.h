#pragma once

#include "base/clock.h"
#include "base/faultreporter.h"

#include <QString>

namespace dorvan {

// What the line, the files and the events need from their surroundings: the
// working directory (taken once at start-up), where faults go and the clock.
// No question to the operator can be asked from here.
struct WorkContext
{
    QString workDir;
    FaultReporter &faults;
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
