#include "station/handover.h"

#include "station/operators.h"
#include "station/stationlog.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <algorithm>

namespace dorvan::station {

namespace {

QString iso(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime fromIso(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

std::optional<ActionKind> actionKindFromName(const QString &name)
{
    for (int kind = int(ActionKind::SignIn); kind <= int(ActionKind::EditCard); ++kind) {
        if (actionName(ActionKind(kind)) == name)
            return ActionKind(kind);
    }
    return std::nullopt;
}

bool isDeadPostKind(AlarmKind kind)
{
    return kind == AlarmKind::Offline || kind == AlarmKind::Stale || kind == AlarmKind::ConsoleDown
           || kind == AlarmKind::LineStopped;
}

// The actions whose comment is the operator's own words, not the station's note.
bool carriesOperatorsComment(ActionKind kind)
{
    return kind == ActionKind::Acknowledge || kind == ActionKind::Shelve || kind == ActionKind::OutOfService
           || kind == ActionKind::ReturnToService || kind == ActionKind::EditCard;
}

// One query of the report: prepared, bound in order, failures noted in the report.
class Reader
{
public:
    Reader(QSqlDatabase &db, ShiftReport &report) : db_(db), report_(report) {}

    std::optional<QSqlQuery> run(const QString &sql, const QVariantList &values)
    {
        QSqlQuery query(db_);
        query.setForwardOnly(true);
        if (!query.prepare(sql)) {
            failed(query);
            return std::nullopt;
        }
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            failed(query);
            return std::nullopt;
        }
        return query;
    }

private:
    void failed(const QSqlQuery &query)
    {
        const QString reason = query.lastError().text();
        qCWarning(lcStationJournal).noquote() << "reading a shift's report:" << reason;
        if (report_.error.isEmpty())
            report_.error = reason;
    }

    QSqlDatabase &db_;
    ShiftReport &report_;
};

// Every alarm open at some moment of the span: raised in it, or raised
// before and cleared in it, after it or not yet. (+raised: those open now
// through their own index, not every alarm raised before the span.)
const char *const overlappingAlarms =
    "SELECT id, kind, site, address, sensor, text, raised, state, acknowledged_by, acknowledged_at, cleared"
    " FROM alarms WHERE id IN ("
    " SELECT id FROM alarms WHERE raised >= ? AND raised <= ?"
    " UNION SELECT id FROM alarms WHERE state <> 'normal' AND +raised < ?"
    " UNION SELECT id FROM alarms WHERE cleared >= ? AND raised < ?)"
    " ORDER BY raised, id";

ShiftAlarm alarmFrom(const QSqlQuery &query)
{
    ShiftAlarm alarm;
    alarm.id = query.value(0).toLongLong();
    alarm.kind = kindFromName(query.value(1).toString()).value_or(AlarmKind::Fault);
    alarm.site = query.value(2).toString();
    alarm.address = query.value(3).isNull() ? -1 : query.value(3).toInt();
    alarm.sensor = query.value(4).toString();
    alarm.text = query.value(5).toString();
    alarm.raised = fromIso(query.value(6));
    alarm.state = stateFromName(query.value(7).toString()).value_or(AlarmState::Unacknowledged);
    alarm.stateAtEnd = alarm.state;
    alarm.acknowledgedBy = query.value(8).toString();
    alarm.acknowledgedAt = fromIso(query.value(9));
    alarm.cleared = fromIso(query.value(10));
    return alarm;
}

// The alarm's state at the span's end and, when its condition had gone by
// then, since when.
struct AlarmAtEnd
{
    AlarmState state = AlarmState::Unacknowledged;
    QDateTime inactiveSince;
};

std::optional<AlarmAtEnd> alarmAtEnd(Reader &reader, qint64 id, const QString &to)
{
    std::optional<QSqlQuery> query = reader.run(
        QStringLiteral("SELECT time, to_state FROM alarm_changes WHERE alarm = ? AND time <= ? ORDER BY seq"), {id, to});
    if (!query)
        return std::nullopt;
    AlarmAtEnd end;
    bool active = false;
    while (query->next()) {
        end.state = stateFromName(query->value(1).toString()).value_or(AlarmState::Unacknowledged);
        if (active && !isActive(end.state))
            end.inactiveSince = fromIso(query->value(0));
        active = isActive(end.state);
    }
    if (active)
        end.inactiveSince = {};
    return end;
}

void addDeadPost(ShiftReport &report, const ShiftAlarm &alarm, const QDateTime &alive)
{
    const QDateTime until = alive.isValid() ? alive : report.to;
    report.deadPosts.append({alarm.site, alarm.kind, alarm.text, alarm.raised, alive, alarm.raised.secsTo(until)});
}

QHash<qint64, ShiftAlarm> readAlarms(Reader &reader, ShiftReport &report)
{
    QHash<qint64, ShiftAlarm> byId;
    const QString from = iso(report.from);
    const QString to = iso(report.to);
    std::optional<QSqlQuery> query = reader.run(QString::fromLatin1(overlappingAlarms), {from, to, from, from, from});
    if (!query)
        return byId;
    QList<ShiftAlarm> alarms;
    while (query->next())
        alarms.append(alarmFrom(*query));
    for (ShiftAlarm &alarm : alarms) {
        const bool openAtEnd = !alarm.cleared.isValid() || alarm.cleared > report.to;
        if (openAtEnd || isDeadPostKind(alarm.kind)) {
            const std::optional<AlarmAtEnd> end = alarmAtEnd(reader, alarm.id, to);
            if (end)
                alarm.stateAtEnd = end->state;
            if (isDeadPostKind(alarm.kind))
                addDeadPost(report, alarm, end ? end->inactiveSince : QDateTime());
        }
        if (alarm.raised >= report.from)
            report.raised.append(alarm);
        if (openAtEnd)
            report.openAtEnd.append(alarm);
        byId.insert(alarm.id, alarm);
    }
    return byId;
}

void readAcknowledgements(Reader &reader, ShiftReport &report, const QHash<qint64, ShiftAlarm> &alarms)
{
    std::optional<QSqlQuery> query = reader.run(
        QStringLiteral("SELECT alarm, time, operator, station, comment FROM alarm_changes"
                       " WHERE time >= ? AND time <= ? AND cause = 'operator' ORDER BY seq"),
        {iso(report.from), iso(report.to)});
    while (query && query->next()) {
        const auto alarm = alarms.find(query->value(0).toLongLong());
        if (alarm == alarms.end())
            continue;
        report.acknowledged.append({*alarm, fromIso(query->value(1)), query->value(2).toString(),
                                    query->value(3).toString(), query->value(4).toString()});
    }
}

// Rows active at some moment of the span: begun by its end and not ended before its start.
QString activeInSpan(const char *columns, const char *table, const char *begun)
{
    return QStringLiteral("SELECT %1 FROM %2 WHERE ended IS NULL AND %3 <= ?"
                          " UNION ALL SELECT %1 FROM %2 WHERE ended >= ? AND %3 <= ? ORDER BY 4")
        .arg(QLatin1String(columns), QLatin1String(table), QLatin1String(begun));
}

void readShelves(Reader &reader, ShiftReport &report)
{
    const QString to = iso(report.to);
    std::optional<QSqlQuery> query =
        reader.run(activeInSpan("what, operator, reason, shelved, until, ended, how", "shelves", "shelved"),
                   {to, iso(report.from), to});
    while (query && query->next())
        report.shelves.append({query->value(0).toString(), query->value(1).toString(), query->value(2).toString(),
                               fromIso(query->value(3)), fromIso(query->value(4)), fromIso(query->value(5)),
                               query->value(6).toString()});
}

void readOutOfService(Reader &reader, ShiftReport &report)
{
    const QString to = iso(report.to);
    std::optional<QSqlQuery> query = reader.run(
        activeInSpan("site, address, what, since, operator, reason, ended, ended_by", "out_of_service", "since"),
        {to, iso(report.from), to});
    while (query && query->next())
        report.outOfService.append({query->value(0).toString(),
                                    query->value(1).isNull() ? -1 : query->value(1).toInt(),
                                    query->value(2).toString(), fromIso(query->value(3)), query->value(4).toString(),
                                    query->value(5).toString(), fromIso(query->value(6)), query->value(7).toString()});
}

void readGaps(Reader &reader, ShiftReport &report)
{
    std::optional<QSqlQuery> query =
        reader.run(QStringLiteral("SELECT site, day, first, last, found FROM gaps WHERE found >= ? AND found <= ?"
                                  " ORDER BY found, seq"),
                   {iso(report.from), iso(report.to)});
    while (query && query->next())
        report.gaps.append({query->value(0).toString(), QDate::fromString(query->value(1).toString(), Qt::ISODate),
                            query->value(2).toInt(), query->value(3).toInt(), fromIso(query->value(4))});
}

void noteOperator(ShiftReport &report, const ActionRow &action)
{
    auto found = std::find_if(report.operators.begin(), report.operators.end(),
                              [&action](const ShiftOperator &known) { return known.name == action.operatorName; });
    if (action.kind == ActionKind::SignOut) {
        if (found != report.operators.end())
            found->signedOut = action.time;
        return;
    }
    if (found == report.operators.end())
        report.operators.append({action.operatorName, action.time, {}});
    else if (action.kind == ActionKind::SignIn)
        found->signedOut = {};
}

// The station's own actions: who worked the shift and what they wrote. The
// previous shift's hand_over, at this one's start, is not this shift's.
void readActions(Reader &reader, ShiftReport &report)
{
    std::optional<QSqlQuery> query = reader.run(
        QStringLiteral("SELECT time, operator, kind, target, comment FROM actions"
                       " WHERE time >= ? AND time <= ? AND station = ? AND operator IS NOT NULL ORDER BY time, seq"),
        {iso(report.from), iso(report.to), report.station});
    const QString ownTarget = shiftTarget(report.from, report.to);
    while (query && query->next()) {
        const std::optional<ActionKind> kind = actionKindFromName(query->value(2).toString());
        if (!kind)
            continue;
        const ActionRow action{fromIso(query->value(0)), report.station, query->value(1).toString(), *kind,
                               query->value(3).toString(), query->value(4).toString(), {}};
        if (action.kind == ActionKind::HandOver && action.target != ownTarget)
            continue;
        noteOperator(report, action);
        if (carriesOperatorsComment(action.kind) && !action.comment.trimmed().isEmpty())
            report.comments.append({action.time, action.operatorName, action.station, action.kind, action.target,
                                    action.comment});
    }
}

const char *const handoverColumns = "SELECT seq, uid, time, operator, target, comment FROM actions";

// The take_over of the same station and span, if there is one.
void readAcceptance(QSqlDatabase &db, const QString &station, const QString &target, Handover &handover)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT time, operator, comment FROM actions WHERE kind = 'take_over' AND station = ?"
                                 " AND target = ? ORDER BY time, seq LIMIT 1"));
    query.addBindValue(station);
    query.addBindValue(target);
    if (!query.exec())
        qCWarning(lcStationJournal).noquote() << "reading a shift's acceptance:" << query.lastError().text();
    else if (query.next()) {
        handover.accepted = fromIso(query.value(0));
        handover.incoming = query.value(1).toString();
        handover.incomingRemarks = query.value(2).toString();
    }
}

QList<Handover> readHandovers(QSqlDatabase &db, const QString &station, const QString &condition,
                              const QVariantList &values)
{
    QList<Handover> found;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("%1 WHERE kind = 'hand_over' AND station = ? %2")
                      .arg(QLatin1String(handoverColumns), condition));
    query.addBindValue(station);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        qCWarning(lcStationJournal).noquote() << "reading handovers:" << query.lastError().text();
        return found;
    }
    while (query.next()) {
        const QString target = query.value(4).toString();
        const auto span = shiftSpanOf(target);
        if (!span)
            continue;
        Handover handover;
        handover.seq = query.value(0).toLongLong();
        handover.uid = query.value(1).toString();
        handover.from = span->first;
        handover.to = span->second;
        handover.outgoing = query.value(3).toString();
        handover.outgoingRemarks = query.value(5).toString();
        found.append(handover);
    }
    for (Handover &handover : found)
        readAcceptance(db, station, shiftTarget(handover.from, handover.to), handover);
    return found;
}

} // namespace

QString shiftTarget(const QDateTime &from, const QDateTime &to)
{
    return QStringLiteral("shift %1/%2").arg(iso(from), iso(to));
}

std::optional<std::pair<QDateTime, QDateTime>> shiftSpanOf(const QString &target)
{
    if (!target.startsWith(u"shift "))
        return std::nullopt;
    const QStringList ends = target.mid(6).split(u'/');
    if (ends.size() != 2)
        return std::nullopt;
    const QDateTime from = QDateTime::fromString(ends[0], Qt::ISODateWithMs);
    const QDateTime to = QDateTime::fromString(ends[1], Qt::ISODateWithMs);
    if (!from.isValid() || !to.isValid())
        return std::nullopt;
    return std::pair{from, to};
}

ShiftReport gatherShift(QSqlDatabase &db, const QDateTime &from, const QDateTime &to, const QString &station,
                        const QDateTime &now)
{
    ShiftReport report;
    report.from = from.toUTC();
    report.to = to.toUTC();
    report.gathered = now.toUTC();
    report.station = station;
    Reader reader(db, report);
    const QHash<qint64, ShiftAlarm> alarms = readAlarms(reader, report);
    readAcknowledgements(reader, report, alarms);
    readShelves(reader, report);
    readOutOfService(reader, report);
    readGaps(reader, report);
    readActions(reader, report);
    const QList<Handover> handover =
        readHandovers(db, station, QStringLiteral("AND target = ? ORDER BY time, seq LIMIT 1"), {shiftTarget(from, to)});
    if (!handover.isEmpty())
        report.handover = handover.first();
    return report;
}

ShiftHandover::ShiftHandover(Parts parts) : parts_(std::move(parts))
{
    if (!parts_.record)
        parts_.record = [this](const ActionRow &action) { return storeInJournal(action); };
}

QDateTime ShiftHandover::shiftStart()
{
    QSqlQuery query(parts_.journal.database());
    query.prepare(QStringLiteral("SELECT target, time FROM actions WHERE kind = 'take_over' AND station = ?"
                                 " ORDER BY time DESC, seq DESC LIMIT 1"));
    query.addBindValue(parts_.station);
    if (query.exec() && query.next()) {
        const auto span = shiftSpanOf(query.value(0).toString());
        return span ? span->second : fromIso(query.value(1));
    }
    query.prepare(QStringLiteral("SELECT time FROM actions WHERE station = ? ORDER BY time LIMIT 1"));
    query.addBindValue(parts_.station);
    if (query.exec() && query.next())
        return fromIso(query.value(0));
    return parts_.clock.now().toUTC();
}

ShiftReport ShiftHandover::current()
{
    if (const std::optional<Handover> waiting = pending())
        return *reportFor(waiting);
    const QDateTime now = parts_.clock.now();
    return gatherShift(parts_.journal.database(), shiftStart(), now, parts_.station, now);
}

std::optional<Handover> ShiftHandover::pending()
{
    const QList<Handover> last = handovers(1);
    if (last.isEmpty() || last.first().isAccepted())
        return std::nullopt;
    return last.first();
}

bool ShiftHandover::handOver(const QString &outgoing, const QString &remarks, QString *error)
{
    if (outgoing.isEmpty()) {
        *error = QStringLiteral("Сдать смену может только оператор, вошедший в станцию: нажмите «Вход».");
        return false;
    }
    if (const std::optional<Handover> waiting = pending()) {
        *error = QStringLiteral("Смена уже сдана оператором %1 и ждёт приёма.").arg(waiting->outgoing);
        return false;
    }
    const QDateTime now = parts_.clock.now().toUTC();
    const QDateTime from = std::min(shiftStart(), now);
    const ActionRow action{now, parts_.station, outgoing, ActionKind::HandOver, shiftTarget(from, now),
                           remarks.trimmed(), QUuid::createUuid().toString(QUuid::WithoutBraces)};
    if (!store(action, error))
        return false;
    qCInfo(lcStation).noquote() << "operator" << outgoing << "handed over the" << action.target;
    return true;
}

bool ShiftHandover::accept(const QString &incoming, const QString &password, const QString &remarks, QString *error)
{
    const std::optional<Handover> waiting = pending();
    if (!waiting) {
        *error = QStringLiteral("Смена не сдана: принимать нечего.");
        return false;
    }
    if (!parts_.operators.verify(incoming, password)) {
        qCWarning(lcStation).noquote() << "shift acceptance refused: wrong name or password for" << incoming;
        *error = QStringLiteral("Неверное имя оператора или пароль.");
        return false;
    }
    if (incoming == waiting->outgoing) {
        *error = QStringLiteral("Смену принимает другой оператор, не сдавший её.");
        return false;
    }
    const ActionRow action{parts_.clock.now().toUTC(), parts_.station, incoming, ActionKind::TakeOver,
                           shiftTarget(waiting->from, waiting->to), remarks.trimmed(),
                           QUuid::createUuid().toString(QUuid::WithoutBraces)};
    if (!store(action, error))
        return false;
    qCInfo(lcStation).noquote() << "operator" << incoming << "accepted the" << action.target << "from"
                                << waiting->outgoing;
    return true;
}

QList<Handover> ShiftHandover::handovers(int limit)
{
    return readHandovers(parts_.journal.database(), parts_.station,
                         QStringLiteral("ORDER BY time DESC, seq DESC LIMIT %1").arg(limit), {});
}

std::optional<ShiftReport> ShiftHandover::reportOf(qint64 seq)
{
    return reportFor(handoverWhere(QStringLiteral("seq"), seq));
}

std::optional<ShiftReport> ShiftHandover::reportOf(const QString &uid)
{
    return reportFor(handoverWhere(QStringLiteral("uid"), uid));
}

std::optional<Handover> ShiftHandover::handoverWhere(const QString &column, const QVariant &value)
{
    const QList<Handover> found =
        readHandovers(parts_.journal.database(), parts_.station, QStringLiteral("AND %1 = ?").arg(column), {value});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

std::optional<ShiftReport> ShiftHandover::reportFor(const std::optional<Handover> &handover)
{
    if (!handover)
        return std::nullopt;
    ShiftReport report =
        gatherShift(parts_.journal.database(), handover->from, handover->to, parts_.station, parts_.clock.now());
    report.handover = *handover;
    return report;
}

bool ShiftHandover::store(const ActionRow &action, QString *error)
{
    if (parts_.record(action))
        return true;
    *error = QStringLiteral("Смена не записана в журнал: %1").arg(parts_.journal.errorText());
    qCCritical(lcStationJournal).noquote() << "the journal did not take" << actionName(action.kind) << ":"
                                           << parts_.journal.errorText();
    return false;
}

bool ShiftHandover::storeInJournal(const ActionRow &action)
{
    Journal &journal = parts_.journal;
    if (journal.beginDurable() && journal.addAction(action) && journal.commit())
        return true;
    journal.rollback();
    return false;
}

} // namespace dorvan::station
