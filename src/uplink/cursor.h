#pragma once

#include "uplink/eventmessage.h"
#include "uplink/sensorstates.h"

#include <QString>

#include <map>
#include <optional>

namespace dorvan::uplink {

// How far the broker has acknowledged: the first record not yet acknowledged
// (the daily file's name and byte offset) and the sensors' states as the
// records before it leave them.
struct Cursor
{
    // Days before the position whose counts the file keeps: a record
    // written into an older day's file while the uplink is not running is
    // not published.
    static constexpr int PassedDaysKept = 7;

    EventPosition position;
    SensorStates states;
    // For days before the position: how many records of their files are
    // acknowledged (a console whose clock was set back writes there).
    std::map<QDate, qint64> passed;
};

// The cursor's file in the working directory, replaced as a whole (written
// beside it, synced, renamed over it), so a crash leaves the old or the new.
class CursorFile
{
public:
    explicit CursorFile(const QString &path) : path_(path) {}

    const QString &path() const { return path_; }
    bool exists() const;
    // nullopt with the reason when the file cannot be read or makes no sense.
    std::optional<Cursor> load(QString *error) const;
    bool save(const Cursor &cursor, QString *error) const;

private:
    QString path_;
};

} // namespace dorvan::uplink
