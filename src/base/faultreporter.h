#pragma once

#include "base/log.h"

#include <QString>

namespace dorvan {

// How a fault is shown: caption "Ошибка" with the stop icon, caption
// "Внимание" with the warning icon, or the plain box captioned with the
// application's title.
enum class Severity { Error, Warning, Plain };

// Where the line, the files and the events report their faults. A report is
// logged at once and never waits for the operator: whatever box shows it
// later does not block the caller.
class FaultReporter
{
public:
    virtual ~FaultReporter() = default;

    virtual void report(LogArea area, Severity severity, const QString &text) = 0;

    void error(LogArea area, const QString &text) { report(area, Severity::Error, text); }
    void warning(LogArea area, const QString &text) { report(area, Severity::Warning, text); }
    void plain(LogArea area, const QString &text) { report(area, Severity::Plain, text); }
};

} // namespace dorvan
