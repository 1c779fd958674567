#pragma once

#include "station/stationconfig.h"

#include <QCommandLineParser>
#include <QString>

#include <cstdio>
#include <optional>

namespace dorvan::station {

// The command line: --config, --add-operator and every key of the
// configuration file as an option of the same name.
void addStationOptions(QCommandLineParser &parser);

// The settings from the command line and the configuration file (the one
// --config names, else the first of the user's and the system's that
// exists; none is needed). Empty sounds become the packaged ones in
// soundDir. nullopt with a one-line reason.
std::optional<StationSettings> settingsFrom(const QCommandLineParser &parser, const QString &soundDir, QString *error);

// One station per data directory: a second one would take the first's
// client id at the broker in turns and write the same journal. The lock
// (flock on <dataDir>/station.lock, naming the holder's process) goes with
// the process.
class StationLock
{
public:
    explicit StationLock(QString dataDir);
    ~StationLock();
    StationLock(const StationLock &) = delete;
    StationLock &operator=(const StationLock &) = delete;

    // False with the reason, in Russian for the operator's box.
    bool tryLock(QString *refusal);
    QString path() const;

private:
    QString dataDir_;
    int fd_ = -1;
};

// A new password: on a terminal asked twice without echo, else the first
// line of the input. nullopt with the reason (empty, the two differ).
std::optional<QString> readNewPassword(const QString &name, std::FILE *input, std::FILE *prompt, QString *error);

// --add-operator NAME [--may-edit-cards]: adds the operator (or gives a new
// password) in the data directory's file of operators, granting the right
// to edit the posts' cards when asked; the exit status of the program.
int addOperatorCommand(const StationSettings &settings, const QString &name, bool grantCards = false);

} // namespace dorvan::station
