#pragma once

#include "simprotocol.h"

#include <QString>
#include <QStringList>

namespace dorvan::sim {

// What a command asks of the program around the sensor line.
enum class CommandAction { None, Quit, LogOn, LogOff, Wait, Stats, Unplug, Replug };

struct CommandResult
{
    bool ok = true;
    QString output;             // text for the operator of the simulator
    CommandAction action = CommandAction::None;
    int waitMs = 0;
};

// Parses "ADDR[-LAST]:MODEL[:FLAG,FLAG...]" into sensors; flags are trip1,
// trip2, silent and fault=N. Empty list and an error text on a bad description.
QList<SimSensor> parseSensorSpec(const QString &sensorText, QString *error);

// The commands typed at the prompt, read from the command FIFO or played
// from a scenario file; one line each, '#' starts a comment.
class CommandInterpreter
{
public:
    explicit CommandInterpreter(SensorLine &line) : line_(line) {}

    CommandResult execute(const QString &commandLine);
    static QString help();

private:
    using Words = QStringList;
    CommandResult loopCommand(const Words &words, bool tripped);
    CommandResult faultCommand(const Words &words);
    CommandResult silentCommand(const Words &words, bool silent);
    CommandResult valueCommand(const Words &words);
    CommandResult motionCommand(const Words &words);
    CommandResult addCommand(const Words &words);
    CommandResult removeCommand(const Words &words);
    CommandResult noiseCommand(const Words &words);
    CommandResult foreignCommand(const Words &words);
    CommandResult dropCommand(const Words &words);
    CommandResult lineCommand(const QString &verb);
    CommandResult logCommand(const Words &words);
    CommandResult waitCommand(const Words &words);
    CommandResult listCommand() const;
    // The sensors a command names: one address, or "all".
    QList<SimSensor *> targets(const QString &word, QString *error);

    SensorLine &line_;
};

} // namespace dorvan::sim
