#pragma once

#include "base/consoleheartbeat.h"
#include "base/workdirconfig.h"

#include <QIODevice>
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

// One console per working directory: a lock file in the working directory
// with a kernel lock (flock) on it, held while the console runs. Only a live
// holder blocks a start: whatever the file holds (nothing, garbage, a PID
// that now belongs to another process, another computer's name) and
// whatever stands in its place (a symlink, one to nothing, a FIFO, a
// device) does not; what is not a regular file is removed and the lock
// made anew. The process and computer written in it only name the holder
// in the refusal.
class ConsoleLock
{
public:
    enum class Outcome { Locked, Held, Unavailable };

    static QString fileName() { return consoleLockFileName(); }

    explicit ConsoleLock(const QString &workDir);
    // Removes the lock file while it is still held, then lets the lock go.
    ~ConsoleLock();
    ConsoleLock(const ConsoleLock &) = delete;
    ConsoleLock &operator=(const ConsoleLock &) = delete;

    Outcome tryLock();
    // For Held: the box that refuses the start, naming the directory and
    // the process that holds it.
    QString refusalText() const;
    // For Unavailable: the box that says the console runs without the lock, and why.
    QString unavailableText() const;

private:
    QString path() const;
    bool clearPlace();
    void readHolder(int fd);

    QString workDir_;
    int fd_ = -1;
    int error_ = 0;
    qint64 holderPid_ = 0;
    QString holderHost_;
};

} // namespace dorvan
