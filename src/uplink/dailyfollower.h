#pragma once

#include "base/clock.h"
#include "uplink/eventmessage.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <map>

class QFile;

namespace dorvan::uplink {

// Follows the daily event files QReport/dd.MM.yyyy of a console's working
// directory, oldest first: reads the whole records written since its
// position, waits for a torn tail to become whole, and moves on to the next
// day's file once the day is over. Opens a file only for one read, like the
// console, and never holds more than it is asked for. A console whose clock
// was set back writes into a day it has passed: every earlier day's file is
// watched as well, and what it gains is read late.
class DailyFollower
{
public:
    // The console picks a day's file by the date when it writes, so a record
    // can still land in yesterday's file just after midnight; a day's file
    // counts as finished this long after the day is over.
    static constexpr int FinishGraceMs = 2000;

    DailyFollower(const QString &workDir, const Clock &clock);

    using DayCounts = std::map<QDate, qint64>; // records of a day's file already read

    // passed: for the days before the position, how many records of their
    // files are already read; a day's file not named there counts as read to
    // its end.
    void seek(const EventPosition &position, const DayCounts &passed = {});
    const EventPosition &position() const { return position_; }
    QString currentPath() const { return path(position_.day); }
    QString path(const QDate &day) const;

    // Up to max records from the position on, in file order; empty when
    // nothing whole is there yet.
    QList<StampedRecord> read(int max);

    // Up to max records that files of days before the position gained since
    // they were read (oldest day first), each file in its order.
    QList<StampedRecord> readLate(int max);
    const DayCounts &passed() const { return passed_; }

    // Whole records in a day's file (0 when there is none).
    qint64 wholeRecords(const QDate &day) const;

private:
    bool dayOver(const QDate &day) const;
    // Opens a day's file read-only if it is a regular file: a FIFO, a device
    // or a symlink in QReport/ is refused (logged once) and reads as empty.
    bool openDay(QFile &file, const QString &path) const;
    QList<StampedRecord> readAt(const EventPosition &from, qint64 count) const;
    void findNewDays();

    QString workDir_;
    const Clock &clock_;
    EventPosition position_;
    DayCounts passed_;
    QDateTime listed_;   // the directory's modification time when its files were last listed
    QDateTime listedAt_; // and when that was
    mutable QString refused_; // the last file refused for what it is
};

} // namespace dorvan::uplink
