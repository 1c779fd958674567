#pragma once

#include "base/workdirconfig.h"
#include "events/eventexport.h"

#include <QDate>
#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringList>

namespace dorvan {

// dorvan-report's command line: which event files, which filter, which
// format, where to.
struct ReportCommand
{
    enum class Action { Export, Help, Version, Usage };
    enum class Input { File, Sensor, Days, Trends };

    Action action = Action::Export;
    Input input = Input::File;
    QString file;          // Input::File
    int model = 0;         // Input::Sensor: 0 = Дорван-301ДК, 1 = Дорван-302ДК
    quint32 address = 0;
    QDate from;            // Input::Days, both included
    QDate to;
    QDateTime trendsFrom;  // Input::Trends (model, address): [from, to), local time
    QDateTime trendsTo;
    bool minutes = false;  // Input::Trends: minute aggregates even within the full resolution
    QString workDir;       // --workdir; empty: chosen as the console chooses it
    ReportScope scope = ReportScope::All;
    ExportFormat format = ExportFormat::Csv;
    QString output;        // empty or "-": standard output
    QString error;         // Action::Usage

    static QString helpText();
};

// arguments[0] is the program.
ReportCommand parseReportCommand(const QStringList &arguments);

// The whole program: options, the working directory, the export. Errors go
// to the log (standard error). Returns the exit status: 0 done, 1 failed,
// 2 a wrong command line.
int runReportProgram(const QStringList &arguments, QIODevice &standardOutput, const ConfigFiles &configFiles,
                     const QString &currentDir);

} // namespace dorvan
