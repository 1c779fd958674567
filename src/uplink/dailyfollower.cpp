#include "uplink/dailyfollower.h"

#include "base/regularfile.h"
#include "events/eventlog.h"
#include "uplink/uplinklog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <fcntl.h>

namespace dorvan::uplink {

DailyFollower::DailyFollower(const QString &workDir, const Clock &clock) : workDir_(workDir), clock_(clock)
{
}

void DailyFollower::seek(const EventPosition &position, const DayCounts &passed)
{
    position_ = position;
    passed_.clear();
    listed_ = {};
    const QDir reports(workDir_ + QStringLiteral("/QReport"));
    for (const QString &name : reports.entryList(QDir::Files)) {
        const QDate day = QDate::fromString(name, u"dd.MM.yyyy");
        if (!day.isValid() || day >= position.day)
            continue;
        const auto known = passed.find(day);
        passed_[day] = known != passed.end() ? known->second : wholeRecords(day);
    }
    // A day named without a file yet: its first records will be late ones.
    for (const auto &[day, count] : passed) {
        if (day < position.day)
            passed_.emplace(day, count);
    }
    listed_ = QFileInfo(reports.path()).lastModified();
    listedAt_ = QDateTime::currentDateTimeUtc();
}

void DailyFollower::findNewDays()
{
    // A new file changes the directory: list it only then. A change within
    // the same tick of the file system's clock as the last listing keeps
    // the time it had, so a listing that close to its time is made again.
    const QString dir = workDir_ + QStringLiteral("/QReport");
    const QDateTime modified = QFileInfo(dir).lastModified();
    if (modified == listed_ && listedAt_ > modified.addSecs(1))
        return;
    listed_ = modified;
    listedAt_ = QDateTime::currentDateTimeUtc();
    for (const QString &name : QDir(dir).entryList(QDir::Files)) {
        const QDate day = QDate::fromString(name, u"dd.MM.yyyy");
        if (day.isValid() && day < position_.day)
            passed_.emplace(day, 0);
    }
}

QList<StampedRecord> DailyFollower::readLate(int max)
{
    QList<StampedRecord> records;
    findNewDays();
    for (auto &[day, count] : passed_) {
        if (records.size() >= max)
            break;
        const qint64 whole = wholeRecords(day);
        if (whole < count)
            count = whole; // replaced by a shorter file: its records were published before
        if (whole == count)
            continue;
        const QList<StampedRecord> got = readAt({day, count}, qMin<qint64>(max - records.size(), whole - count));
        if (got.isEmpty())
            continue;
        qCWarning(lcUplinkFiles).noquote()
            << QStringLiteral("%1 gained %2 %3 after the uplink had passed it (the console's clock set back?): "
                              "publishing %4 to %5 out of order")
                   .arg(EventLog::dailyEventFile(day))
                   .arg(got.size())
                   .arg(got.size() == 1 ? QStringLiteral("record") : QStringLiteral("records"), got.front().position.id(),
                        got.back().position.id());
        count += got.size();
        records += got;
    }
    return records;
}

QList<StampedRecord> DailyFollower::readAt(const EventPosition &from, qint64 count) const
{
    QList<StampedRecord> records;
    QFile file;
    if (!openDay(file, path(from.day)) || !file.seek(from.offset()))
        return records;
    const QByteArray bytes = file.read(count * RecordSize);
    EventPosition position = from;
    for (qint64 i = 0; i < bytes.size() / RecordSize; ++i) {
        StampedRecord stamped{position, {}, {}};
        std::memcpy(&stamped.record, bytes.constData() + i * RecordSize, sizeof(EventRecord));
        stamped.text = stamped.record.textString();
        records.append(stamped);
        position = position.next();
    }
    return records;
}

bool DailyFollower::openDay(QFile &file, const QString &path) const
{
    int error = 0;
    const int fd = openRegularFile(path, O_RDONLY, 0, Links::Refuse, error);
    if (fd >= 0)
        return file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (refusedForWhatItIs(error) && refused_ != path) {
        refused_ = path;
        qCWarning(lcUplinkFiles).noquote() << QStringLiteral("%1 is not read: %2").arg(path, fileErrorText(error));
    }
    return false;
}

QString DailyFollower::path(const QDate &day) const
{
    return workDir_ + u'/' + EventLog::dailyEventFile(day);
}

qint64 DailyFollower::wholeRecords(const QDate &day) const
{
    return QFileInfo(path(day)).size() / RecordSize;
}

bool DailyFollower::dayOver(const QDate &day) const
{
    const QDateTime finished = QDateTime(day.addDays(1), QTime(0, 0)).addMSecs(FinishGraceMs);
    return clock_.now() >= finished;
}

QList<StampedRecord> DailyFollower::read(int max)
{
    QList<StampedRecord> records;
    if (max <= 0 || !position_.day.isValid())
        return records;
    for (;;) {
        QFile file;
        const bool opened = openDay(file, currentPath());
        const qint64 size = opened ? file.size() : 0;
        const qint64 whole = size / RecordSize;
        if (whole < position_.record) {
            // The console only appends; a shorter file was replaced (restored
            // from a backup, say). Publishing it again may repeat ids but loses nothing.
            qCWarning(lcUplinkFiles).noquote()
                << QStringLiteral("%1 holds %2 records, fewer than the %3 already published: it was replaced; publishing it again from its start")
                       .arg(EventLog::dailyEventFile(position_.day)).arg(whole).arg(position_.record);
            position_.record = 0;
        }
        if (position_.record < whole) {
            const qint64 count = qMin<qint64>(max, whole - position_.record);
            QByteArray bytes;
            if (file.seek(position_.offset()))
                bytes = file.read(count * RecordSize);
            for (qint64 i = 0; i < bytes.size() / RecordSize; ++i) {
                StampedRecord stamped{position_, {}, {}};
                std::memcpy(&stamped.record, bytes.constData() + i * RecordSize, sizeof(EventRecord));
                stamped.text = stamped.record.textString();
                records.append(stamped);
                position_ = position_.next();
            }
            return records;
        }
        if (!dayOver(position_.day))
            return records;
        if (size % RecordSize != 0) {
            qCWarning(lcUplinkFiles).noquote()
                << QStringLiteral("%1 ends in a partial record (%2 bytes) that never became whole; it is skipped")
                       .arg(EventLog::dailyEventFile(position_.day)).arg(size % RecordSize);
        }
        if (opened)
            passed_[position_.day] = position_.record;
        position_ = {position_.day.addDays(1), 0};
    }
}

} // namespace dorvan::uplink
