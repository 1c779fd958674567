#pragma once

#include <QByteArray>
#include <QString>

namespace dorvan {

// The configuration files that name the console's working directory, so
// that a console started from the menu (in the home directory) finds it.
struct ConfigFiles
{
    QString user;      // $XDG_CONFIG_HOME/dorvan-console/console.conf (~/.config by default)
    QString system;    // /etc/dorvan-console/console.conf
    QString autostart; // $XDG_CONFIG_HOME/autostart/dorvan-console.desktop, written by the setup

    static ConfigFiles fromEnvironment();
};

// What one configuration file says. A file that does not exist, or that
// holds no "workdir=" line, names nothing.
struct ConfigRead
{
    enum class Problem { None, Unreadable, Relative };

    bool names() const { return problem == Problem::None && !workDir.isEmpty(); }

    QString workDir;                  // absolute and clean
    Problem problem = Problem::None;
    QString detail;                   // the system's reason, or the relative path
};

ConfigRead readConfigFile(const QString &path);

// The text the setup command writes: one "workdir=DIR" line and a comment.
QByteArray configFileText(const QString &workDir);

// The working directory the console and dorvan-report use: the one given
// on the command line, else the one the user's configuration file names,
// else the system's, else the current directory.
struct WorkDirChoice
{
    enum class Source { Option, UserConfig, SystemConfig, CurrentDirectory };

    bool failed() const { return problem != ConfigRead::Problem::None; }
    // The console's box for a configuration file it cannot use.
    QString problemText() const;
    // For the log: the directory and where it came from.
    QString describe() const;

    QString dir; // absolute and clean
    Source source = Source::CurrentDirectory;
    QString configPath; // the file that named the directory, or that is wrong
    ConfigRead::Problem problem = ConfigRead::Problem::None;
    QString detail;
};

WorkDirChoice chooseWorkDir(const QString &option, const ConfigFiles &files, const QString &currentDir);

} // namespace dorvan
