#include "station/journal.h"

namespace dorvan::station {

struct Journal::Statements
{
};

QString RecordId::text() const
{
    return day.toString(QStringLiteral("dd.MM.yyyy")) + u'#' + QString::number(number);
}

Journal::Journal(QString path) : path_(std::move(path)) {}
Journal::~Journal() { close(); }
bool Journal::open(QString *error) { *error = QStringLiteral("not yet"); return false; }
void Journal::close() {}
bool Journal::begin() { return false; }
bool Journal::commit() { return false; }
void Journal::rollback() {}
bool Journal::beginDurable() { return false; }
Journal::Insert Journal::addEvent(const EventRow &, const QDateTime &) { return Insert::Failed; }
bool Journal::savePost(const PostRow &) { return false; }
bool Journal::saveSensor(const SensorRow &, const QByteArray &, const QDateTime &) { return false; }
bool Journal::removeSensor(const QString &, int) { return false; }
bool Journal::saveAlarm(AlarmRow &) { return false; }
bool Journal::addAlarmChange(const AlarmChange &) { return false; }
bool Journal::addAction(const ActionRow &) { return false; }
bool Journal::saveFileMark(const FileMark &) { return false; }
bool Journal::replaceGaps(const QString &, const QDate &, const QList<GapRow> &, const QDateTime &) { return false; }
QList<PostRow> Journal::posts() { return {}; }
QList<SensorRow> Journal::sensors() { return {}; }
QList<AlarmRow> Journal::openAlarms() { return {}; }
QList<FileMark> Journal::fileMarks() { return {}; }
QList<GapRow> Journal::openGaps() { return {}; }
bool Journal::createSchema() { return false; }
bool Journal::exec(const QString &) { return false; }
bool Journal::fail(const QString &, const QString &) { return false; }
QString actionName(ActionKind) { return {}; }

} // namespace dorvan::station
