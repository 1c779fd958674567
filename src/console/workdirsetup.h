#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace dorvan {

// What the setup command (dorvan-console --init DIR) is to prepare. The
// console itself never creates directories; this is the one place that does.
struct SetupRequest
{
    QString workDir;        // absolute
    QString soundSource;    // the package's Error.wav
    QString configFile;     // when not empty: write "workdir=DIR" there
    QString autostartFile;  // when not empty: an XDG autostart entry there
    QString consoleProgram; // the console's path, for the autostart entry

    // The directories a working directory holds: the six the console needs
    // and ports/, where the serial ports are bound.
    static QStringList directories();
    // The six the console needs.
    static QStringList consoleDirectories();
};

struct SetupStep
{
    enum class Outcome { Created, Kept, Failed };

    Outcome outcome = Outcome::Created;
    QString path;
    QString detail; // why it failed, or why an existing file was kept
};

struct SetupResult
{
    bool ok() const;
    QList<SetupStep> steps;
};

// Creates what is missing and overwrites nothing: an existing file or
// directory is kept as it is. Goes on after a failure where it can.
SetupResult prepareWorkDir(const SetupRequest &request);

// One line for the terminal.
QString describeStep(const SetupStep &step);

// The autostart entry's text; the directory is quoted as the desktop
// entry rules ask.
QByteArray autostartEntryText(const QString &consoleProgram, const QString &workDir);

} // namespace dorvan
