#pragma once

#include "base/boxicon.h"

#include <QLoggingCategory>
#include <QString>

namespace dorvan {

// The areas of the console's log (and dorvan-report's) on standard error,
// one category each, so a journal can tell a bad event file from a bad port.
// The uplink's are in uplink/uplinklog.h.
Q_DECLARE_LOGGING_CATEGORY(lcLine)      // dorvan.line: the serial port
Q_DECLARE_LOGGING_CATEGORY(lcFiles)     // dorvan.files: the sensors' and trends' files
Q_DECLARE_LOGGING_CATEGORY(lcEvents)    // dorvan.events: event files and the alarm sound
Q_DECLARE_LOGGING_CATEGORY(lcConsole)   // dorvan.console: the program itself
Q_DECLARE_LOGGING_CATEGORY(lcStart)     // dorvan.start: the command line and the lock
Q_DECLARE_LOGGING_CATEGORY(lcSetup)     // dorvan.setup: making a working directory
Q_DECLARE_LOGGING_CATEGORY(lcConfig)    // dorvan.config: the working directory's configuration
Q_DECLARE_LOGGING_CATEGORY(lcHeartbeat) // dorvan.heartbeat: data/console.heartbeat
Q_DECLARE_LOGGING_CATEGORY(lcExport)    // dorvan.export: event exports
Q_DECLARE_LOGGING_CATEGORY(lcReport)    // dorvan.report: dorvan-report
Q_DECLARE_LOGGING_CATEGORY(lcTrends)    // dorvan.trends: the signals page

// The areas a message box is logged under.
enum class LogArea { Line, Files, Events, Console, Start };

const QLoggingCategory &logCategory(LogArea area);

// Writes what a message box says to the log: one line, the caption and the text.
void logBox(LogArea area, BoxIcon icon, const QString &caption, const QString &text);

// Every log line of a program starts with the local date and time to the
// millisecond and its category; QT_MESSAGE_PATTERN still overrides it.
void installLogFormat();

} // namespace dorvan
