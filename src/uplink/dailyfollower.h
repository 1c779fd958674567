#pragma once

#include "base/clock.h"
#include "uplink/eventmessage.h"

#include <QList>
#include <QString>

namespace dorvan::uplink {

// Follows the daily event files QReport/dd.MM.yyyy of a console's working
// directory, oldest first: reads the whole records written since its
// position, waits for a torn tail to become whole, and moves on to the next
// day's file once the day is over. Opens a file only for one read, like the
// console, and never holds more than it is asked for.
class DailyFollower
{
public:
    // The console picks a day's file by the date when it writes, so a record
    // can still land in yesterday's file just after midnight; a day's file
    // counts as finished this long after the day is over.
    static constexpr int FinishGraceMs = 2000;

    DailyFollower(const QString &workDir, const Clock &clock);

    void seek(const EventPosition &position);
    const EventPosition &position() const { return position_; }
    QString currentPath() const { return path(position_.day); }
    QString path(const QDate &day) const;

    // Up to max records from the position on, in file order; empty when
    // nothing whole is there yet.
    QList<StampedRecord> read(int max);

    // Whole records in a day's file (0 when there is none).
    qint64 wholeRecords(const QDate &day) const;

private:
    bool dayOver(const QDate &day) const;

    QString workDir_;
    const Clock &clock_;
    EventPosition position_;
};

} // namespace dorvan::uplink
