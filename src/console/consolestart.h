#pragma once

#include "base/workdirconfig.h"

#include <QIODevice>
#include <QLockFile>
#include <QString>
#include <QStringList>

namespace dorvan {

// The console's command line.
struct ConsoleCommand
{
    enum class Action { Run, Init, Help, Version, Usage };

    Action action = Action::Run;
    QString workDir;               // --workdir, for Run
    QString initDir;               // --init DIR
    bool saveUserConfig = false;   // --save-config
    bool saveSystemConfig = false; // --save-system-config
    bool autostart = false;        // --autostart
    QString error;                 // for Usage: what is wrong
    // Options this parser does not know. They may be the toolkit's own
    // (-style, -platform), which QApplication takes out of the arguments.
    QStringList unknownOptions;

    static QString helpText();
};

// arguments[0] is the program.
ConsoleCommand parseConsoleCommand(const QStringList &arguments);

// What a command that needs no display is told about its surroundings.
struct TerminalContext
{
    QString packageDataDir; // where the package keeps Error.wav
    QString consoleProgram; // this program's path, for the autostart entry
    QString version;
    ConfigFiles configFiles;
    QString currentDir;
};

// Help, version, a wrong command line and the setup command: writes to
// `out` (errors go to the log) and returns the exit status.
int runTerminalCommand(const ConsoleCommand &command, const TerminalContext &context, QIODevice &out);

// The working directory the console runs in, entered as the current
// directory before start-up so that everything else works as before; or
// the box that refuses the start.
struct StartPlace
{
    QString workDir;
    QString refusal;
};

StartPlace enterWorkDir(const QString &option, const ConfigFiles &files);

// One console per working directory: a lock file in the working directory,
// held while the console runs. A lock whose process has ended (a crash, a
// power loss) is taken over; a live one refuses the start.
class ConsoleLock
{
public:
    enum class Outcome { Locked, Held, Unavailable };

    static QString fileName() { return QStringLiteral(".dorvan-console.lock"); }

    explicit ConsoleLock(const QString &workDir);

    Outcome tryLock();
    // For Held: the box that refuses the start, naming the directory and
    // the process that holds it.
    QString refusalText() const;

private:
    QString workDir_;
    QLockFile lock_;
    qint64 holderPid_ = 0;
    QString holderHost_;
};

} // namespace dorvan
