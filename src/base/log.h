#pragma once

#include "base/boxicon.h"

#include <QLoggingCategory>
#include <QString>

namespace dorvan {

// The areas of the console's log on standard error, one category each, so a
// journal can tell a bad event file from a bad port.
enum class LogArea { Line, Files, Events, Console };

const QLoggingCategory &logCategory(LogArea area);

// Writes what a message box says to the log: one line, the caption and the text.
void logBox(LogArea area, BoxIcon icon, const QString &caption, const QString &text);

// Every log line of a program starts with the local date and time to the
// millisecond and its category; QT_MESSAGE_PATTERN still overrides it.
void installLogFormat();

} // namespace dorvan
