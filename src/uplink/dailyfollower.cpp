#include "uplink/dailyfollower.h"

#include "events/eventlog.h"
#include "uplink/uplinklog.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace dorvan::uplink {

DailyFollower::DailyFollower(const QString &workDir, const Clock &clock) : workDir_(workDir), clock_(clock)
{
}

void DailyFollower::seek(const EventPosition &position)
{
    position_ = position;
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
        QFile file(currentPath());
        const bool opened = file.open(QIODevice::ReadOnly);
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
        position_ = {position_.day.addDays(1), 0};
    }
}

} // namespace dorvan::uplink
