#include "station/journal.h"

#include "station/stationlog.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

namespace dorvan::station {

namespace {

// The tables an auditor reads; times are UTC, ISO 8601 with milliseconds.
const char *const schema[] = {
    "CREATE TABLE IF NOT EXISTS events ("
    " seq INTEGER PRIMARY KEY, site TEXT NOT NULL, id TEXT NOT NULL, day TEXT NOT NULL, number INTEGER NOT NULL,"
    " time TEXT, code INTEGER, kind TEXT, address INTEGER, loop INTEGER, text TEXT,"
    " payload TEXT NOT NULL, received TEXT NOT NULL)",
    // One row per record of a post's daily file: the key that drops what the uplink sends again,
    // and the order in which the history reads a post's day; every post's day in order of arrival,
    // with the text, so that a search of every post's days by text reads the index alone.
    "CREATE UNIQUE INDEX IF NOT EXISTS events_by_post ON events (site, day, number)",
    "CREATE INDEX IF NOT EXISTS events_by_day_text ON events (day, seq, text)",
    "CREATE TABLE IF NOT EXISTS posts ("
    " site TEXT PRIMARY KEY, status TEXT, status_time TEXT, interval INTEGER, status_received TEXT,"
    " console_running INTEGER, line TEXT, last_poll TEXT, console_time TEXT)",
    "CREATE TABLE IF NOT EXISTS sensors ("
    " site TEXT NOT NULL, address INTEGER NOT NULL, model TEXT, link TEXT, loop1 TEXT, loop2 TEXT,"
    " fault TEXT, fault_code INTEGER, changed TEXT, event TEXT, payload TEXT, received TEXT,"
    " PRIMARY KEY (site, address))",
    "CREATE TABLE IF NOT EXISTS alarms ("
    " id INTEGER PRIMARY KEY, source TEXT NOT NULL, kind TEXT NOT NULL, priority INTEGER NOT NULL,"
    " site TEXT, address INTEGER, loop INTEGER, sensor TEXT, text TEXT NOT NULL, state TEXT NOT NULL, repeats INTEGER NOT NULL,"
    " raised TEXT NOT NULL, last_activation TEXT, acknowledged_by TEXT, acknowledged_at TEXT, cleared TEXT)",
    "CREATE INDEX IF NOT EXISTS alarms_open ON alarms (state) WHERE state <> 'normal'",
    "CREATE TABLE IF NOT EXISTS alarm_changes ("
    " seq INTEGER PRIMARY KEY, alarm INTEGER NOT NULL REFERENCES alarms (id), time TEXT NOT NULL,"
    " from_state TEXT NOT NULL, to_state TEXT NOT NULL, cause TEXT NOT NULL, operator TEXT, station TEXT, comment TEXT)",
    "CREATE INDEX IF NOT EXISTS alarm_changes_alarm ON alarm_changes (alarm)",
    "CREATE TABLE IF NOT EXISTS actions ("
    " seq INTEGER PRIMARY KEY, time TEXT NOT NULL, station TEXT NOT NULL, operator TEXT, kind TEXT NOT NULL,"
    " target TEXT, comment TEXT)",
    "CREATE TABLE IF NOT EXISTS files ("
    " site TEXT NOT NULL, day TEXT NOT NULL, last_number INTEGER NOT NULL, PRIMARY KEY (site, day))",
    "CREATE TABLE IF NOT EXISTS gaps ("
    " seq INTEGER PRIMARY KEY, site TEXT NOT NULL, day TEXT NOT NULL, first INTEGER NOT NULL, last INTEGER NOT NULL,"
    " found TEXT NOT NULL, closed TEXT)",
    "CREATE INDEX IF NOT EXISTS gaps_open ON gaps (site, day) WHERE closed IS NULL",
    // source NULL: every alarm of the sensor (site, address); how: expired or unshelved.
    "CREATE TABLE IF NOT EXISTS shelves ("
    " id INTEGER PRIMARY KEY, source TEXT, site TEXT, address INTEGER, what TEXT NOT NULL, shelved TEXT NOT NULL,"
    " until TEXT NOT NULL, operator TEXT NOT NULL, station TEXT NOT NULL, reason TEXT NOT NULL, ended TEXT, how TEXT)",
    // A sensor (address) or a whole post (address NULL) out of service until ended.
    "CREATE TABLE IF NOT EXISTS out_of_service ("
    " id INTEGER PRIMARY KEY, uid TEXT UNIQUE, site TEXT NOT NULL, address INTEGER, what TEXT NOT NULL, since TEXT NOT NULL,"
    " operator TEXT NOT NULL, station TEXT NOT NULL, reason TEXT NOT NULL, ended TEXT, ended_by TEXT)",
    // The posts' cards: what the duty operator needs beside an alarm of the post.
    "CREATE TABLE IF NOT EXISTS cards ("
    " site TEXT PRIMARY KEY, address TEXT, instructions TEXT, contacts TEXT, changed TEXT, operator TEXT, station TEXT)",
    // Actions not yet taken by the broker for the centre's other stations; gone once it has them.
    "CREATE TABLE IF NOT EXISTS outbox (uid TEXT PRIMARY KEY, payload TEXT NOT NULL)",
    // A shift's report: what was raised, changed, shelved, out of service or found missing in a span.
    "CREATE INDEX IF NOT EXISTS alarms_by_raised ON alarms (raised)",
    "CREATE INDEX IF NOT EXISTS alarms_by_cleared ON alarms (cleared)",
    "CREATE INDEX IF NOT EXISTS alarm_changes_by_time ON alarm_changes (time)",
    "CREATE INDEX IF NOT EXISTS shelves_by_ended ON shelves (ended)",
    "CREATE INDEX IF NOT EXISTS out_of_service_by_ended ON out_of_service (ended)",
    "CREATE INDEX IF NOT EXISTS gaps_by_found ON gaps (found)",
    // Partial: they hold only the handovers, and no scan of every action reads them.
    "CREATE INDEX IF NOT EXISTS actions_handed_over ON actions (station, time) WHERE kind = 'hand_over'",
    "CREATE INDEX IF NOT EXISTS actions_taken_over ON actions (station, time) WHERE kind = 'take_over'",
    // The evidence: what happened to an alarm and what operators did is never changed.
    "CREATE TRIGGER IF NOT EXISTS actions_no_update BEFORE UPDATE ON actions"
    " BEGIN SELECT RAISE(ABORT, 'actions are append-only'); END",
    "CREATE TRIGGER IF NOT EXISTS actions_no_delete BEFORE DELETE ON actions"
    " BEGIN SELECT RAISE(ABORT, 'actions are append-only'); END",
    "CREATE TRIGGER IF NOT EXISTS alarm_changes_no_update BEFORE UPDATE ON alarm_changes"
    " BEGIN SELECT RAISE(ABORT, 'alarm changes are append-only'); END",
    "CREATE TRIGGER IF NOT EXISTS alarm_changes_no_delete BEFORE DELETE ON alarm_changes"
    " BEGIN SELECT RAISE(ABORT, 'alarm changes are append-only'); END",
    "CREATE TRIGGER IF NOT EXISTS events_no_update BEFORE UPDATE ON events"
    " BEGIN SELECT RAISE(ABORT, 'events are kept as received'); END",
};

QString iso(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime fromIso(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

QString isoDay(const QDate &day)
{
    return day.toString(Qt::ISODate);
}

QVariant orNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

QVariant orNull(int number, int none)
{
    return number == none ? QVariant() : QVariant(number);
}

} // namespace

namespace {

// A prepared statement on SQLite's own interface: the writes of every
// message go through these, at a fraction of the cost of binding through
// QSqlQuery; the journal's connection and its transactions stay Qt's.
class Statement
{
public:
    explicit Statement(sqlite3 *db) : db_(db) {}
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool run(const char *sql, std::initializer_list<QVariant> values, QString *error)
    {
        if (!statement_ && sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr) != SQLITE_OK)
            return failed(error);
        int at = 1;
        for (const QVariant &value : values)
            bind(at++, value);
        const int result = sqlite3_step(statement_);
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
        return result == SQLITE_DONE || failed(error);
    }
    int changes() const { return sqlite3_changes(db_); }
    qint64 lastInsertId() const { return sqlite3_last_insert_rowid(db_); }

private:
    void bind(int at, const QVariant &value)
    {
        switch (value.typeId()) {
        case QMetaType::UnknownType:
            sqlite3_bind_null(statement_, at);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
            sqlite3_bind_int64(statement_, at, value.toLongLong());
            break;
        case QMetaType::QByteArray: { // UTF-8 already (a payload as received)
            const QByteArray bytes = value.toByteArray();
            sqlite3_bind_text(statement_, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            sqlite3_bind_text(statement_, at, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
    }
    bool failed(QString *error) const
    {
        *error = QString::fromUtf8(sqlite3_errmsg(db_));
        return false;
    }

    sqlite3 *db_;
    sqlite3_stmt *statement_ = nullptr;
};

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

} // namespace

struct Journal::Statements
{
    explicit Statements(sqlite3 *db)
        : addEvent(db), savePost(db), saveSensor(db), removeSensor(db), insertAlarm(db), updateAlarm(db),
          addChange(db), addAction(db), saveMark(db), closeGaps(db), addGap(db), addShelf(db), endShelf(db),
          addOutOfService(db), endOutOfService(db)
    {
    }
    Statement addEvent, savePost, saveSensor, removeSensor, insertAlarm, updateAlarm, addChange, addAction,
        saveMark, closeGaps, addGap, addShelf, endShelf, addOutOfService, endOutOfService;
};

QString RecordId::text() const
{
    // Written by hand: this runs for every event and state stored.
    char16_t text[32];
    int at = 0;
    const auto put = [&](int value, int width) {
        char16_t digits[12];
        int count = 0;
        do {
            digits[count++] = char16_t(u'0' + value % 10);
            value /= 10;
        } while (value > 0 && count < 12);
        while (count < width)
            digits[count++] = u'0';
        while (count > 0)
            text[at++] = digits[--count];
    };
    put(day.day(), 2);
    text[at++] = u'.';
    put(day.month(), 2);
    text[at++] = u'.';
    put(day.year(), 4);
    text[at++] = u'#';
    put(qMax(number, 0), 1);
    return QString(reinterpret_cast<const QChar *>(text), at);
}

QString actionName(ActionKind kind)
{
    switch (kind) {
    case ActionKind::SignIn: return QStringLiteral("sign_in");
    case ActionKind::SignOut: return QStringLiteral("sign_out");
    case ActionKind::Acknowledge: return QStringLiteral("acknowledge");
    case ActionKind::Silence: return QStringLiteral("silence");
    case ActionKind::Shelve: return QStringLiteral("shelve");
    case ActionKind::Unshelve: return QStringLiteral("unshelve");
    case ActionKind::Escalate: return QStringLiteral("escalate");
    case ActionKind::OutOfService: return QStringLiteral("out_of_service");
    case ActionKind::ReturnToService: return QStringLiteral("return_to_service");
    case ActionKind::HandOver: return QStringLiteral("hand_over");
    case ActionKind::TakeOver: return QStringLiteral("take_over");
    case ActionKind::EditCard: return QStringLiteral("edit_card");
    }
    return {};
}

Journal::Journal(QString path)
    : path_(std::move(path)), connection_(QStringLiteral("dorvan-station-journal-%1").arg(quintptr(this), 0, 16))
{
}

Journal::~Journal()
{
    close();
}

bool Journal::open(QString *error)
{
    close();
    const QString dir = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("the journal's directory %1 cannot be made").arg(dir);
        return false;
    }
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path_);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    // WAL with synchronous NORMAL: a commit survives the program's crash; a
    // power loss may take the last commits, with their file marks, so what
    // they held arrives again as a gap rather than being lost unseen.
    // Operators' actions are committed with FULL (beginDurable).
    const bool ok = db_.open() && exec(QStringLiteral("PRAGMA journal_mode=WAL"))
                    && exec(QStringLiteral("PRAGMA synchronous=NORMAL")) && exec(QStringLiteral("PRAGMA foreign_keys=ON"))
                    && exec(QStringLiteral("PRAGMA wal_autocheckpoint=8000"))
                    && createSchema();
    if (!ok) {
        *error = QStringLiteral("the journal %1 cannot be opened: %2")
                     .arg(path_, error_.isEmpty() ? db_.lastError().text() : error_);
        close();
        return false;
    }
    sqlite3 *handle = handleOf(db_);
    if (!handle) {
        *error = QStringLiteral("the journal %1: the SQLite driver gives no handle").arg(path_);
        close();
        return false;
    }
    statements_ = new Statements(handle);
    return true;
}

void Journal::close()
{
    delete statements_;
    statements_ = nullptr;
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection_);
    }
}

bool Journal::addColumnIfMissing(const QString &table, const QString &column)
{
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
        return fail(QStringLiteral("reading the columns of ") + table, query.lastError().text());
    const QString name = column.section(u' ', 0, 0);
    while (query.next()) {
        if (query.value(1).toString() == name)
            return true;
    }
    return exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, column));
}

bool Journal::hasIndex(const QString &name)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?"));
    query.addBindValue(name);
    return query.exec() && query.next();
}

bool Journal::exec(const QString &statement)
{
    QSqlQuery query(db_);
    if (!query.exec(statement))
        return fail(statement.left(60), query.lastError().text());
    return true;
}

bool Journal::fail(const QString &what, const QString &reason)
{
    error_ = what + QStringLiteral(": ") + reason;
    qCWarning(lcStationJournal).noquote() << "journal" << path_ << error_;
    return false;
}

bool Journal::createSchema()
{
    if (!begin())
        return false;
    const bool olderDayIndex = hasIndex(QStringLiteral("events_by_day"));
    if (olderDayIndex)
        qCInfo(lcStationJournal).noquote() << "journal" << path_
                                           << "gets its events' texts in the day index, once: this takes a while";
    for (const char *statement : schema) {
        if (!exec(QString::fromLatin1(statement))) {
            rollback();
            return false;
        }
    }
    // Journals made before actions were shared between stations: each action and shelf gets its unique id.
    const bool ok = addColumnIfMissing(QStringLiteral("actions"), QStringLiteral("uid TEXT"))
                    && addColumnIfMissing(QStringLiteral("shelves"), QStringLiteral("uid TEXT"))
                    && exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS actions_by_uid ON actions (uid)"))
                    && exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS shelves_by_uid ON shelves (uid)"))
                    && exec(QStringLiteral("CREATE INDEX IF NOT EXISTS actions_by_time ON actions (time)"))
                    && exec(QStringLiteral("CREATE INDEX IF NOT EXISTS actions_by_target ON actions (target)"))
                    && (!olderDayIndex || exec(QStringLiteral("DROP INDEX events_by_day")));
    if (!ok) {
        rollback();
        return false;
    }
    return commit();
}

bool Journal::begin()
{
    return db_.transaction() || fail(QStringLiteral("begin"), db_.lastError().text());
}

bool Journal::beginDurable()
{
    durable_ = exec(QStringLiteral("PRAGMA synchronous=FULL"));
    return durable_ && begin();
}

bool Journal::commit()
{
    const bool ok = db_.commit() || fail(QStringLiteral("commit"), db_.lastError().text());
    endDurable();
    return ok;
}

void Journal::rollback()
{
    db_.rollback();
    endDurable();
}

void Journal::endDurable()
{
    if (durable_)
        exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    durable_ = false;
}

namespace {

bool run(Statement &statement, const char *sql, std::initializer_list<QVariant> values, QString *error)
{
    return statement.run(sql, values, error);
}

} // namespace

Journal::Insert Journal::addEvent(const EventRow &event, const QDateTime &received)
{
    QString error;
    Statement &query = statements_->addEvent;
    const bool ok = run(query,
                        "INSERT OR IGNORE INTO events (site, id, day, number, time, code, kind, address, loop, text,"
                        " payload, received) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        {event.site, event.id.text(), isoDay(event.id.day), event.id.number, event.time,
                         orNull(event.code, -1), event.kind, orNull(event.address, -1), orNull(event.loop, 0),
                         event.text, event.payload, receivedText(received)},
                        &error);
    if (!ok) {
        fail(QStringLiteral("adding event %1 of %2").arg(event.id.text(), event.site), error);
        return Insert::Failed;
    }
    return query.changes() > 0 ? Insert::Added : Insert::Duplicate;
}

// A batch's messages share their time of arrival: formatted once.
QString Journal::receivedText(const QDateTime &received)
{
    if (received != lastReceived_) {
        lastReceived_ = received;
        lastReceivedText_ = iso(received);
    }
    return lastReceivedText_;
}

bool Journal::savePost(const PostRow &post)
{
    QString error;
    const QString status = post.hasStatus ? QString::fromLatin1(post.online ? "online" : "offline") : QString();
    const QVariant running = post.hasConsole ? QVariant(int(post.consoleRunning)) : QVariant();
    return run(statements_->savePost,
               "INSERT OR REPLACE INTO posts (site, status, status_time, interval, status_received, console_running,"
               " line, last_poll, console_time) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
               {post.site, orNull(status), orNull(iso(post.statusTime)), orNull(post.intervalSeconds, 0),
                orNull(iso(post.statusReceived)), running, orNull(post.line), orNull(iso(post.lastPoll)),
                orNull(iso(post.consoleTime))},
               &error)
           || fail(QStringLiteral("saving post ") + post.site, error);
}

bool Journal::saveSensor(const SensorRow &sensor, const QByteArray &payload, const QDateTime &received)
{
    QString error;
    return run(statements_->saveSensor,
               "INSERT OR REPLACE INTO sensors (site, address, model, link, loop1, loop2, fault, fault_code, changed,"
               " event, payload, received) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
               {sensor.site, sensor.address, orNull(sensor.model), sensor.link, sensor.loop1, sensor.loop2,
                orNull(sensor.fault), orNull(sensor.faultCode, -1), orNull(sensor.changed), sensor.event.text(),
                payload, receivedText(received)},
               &error)
           || fail(QStringLiteral("saving sensor %1 of %2").arg(sensor.address).arg(sensor.site), error);
}

bool Journal::removeSensor(const QString &site, int address)
{
    QString error;
    return run(statements_->removeSensor, "DELETE FROM sensors WHERE site = ? AND address = ?", {site, address}, &error)
           || fail(QStringLiteral("removing sensor %1 of %2").arg(address).arg(site), error);
}

bool Journal::saveAlarm(AlarmRow &alarm)
{
    QString error;
    if (alarm.id == 0) {
        Statement &query = statements_->insertAlarm;
        if (!run(query,
                 "INSERT INTO alarms (source, kind, priority, site, address, loop, sensor, text, state, repeats, raised,"
                 " last_activation, acknowledged_by, acknowledged_at, cleared) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                 " ?, ?, ?, ?)",
                 {alarm.source, kindName(alarm.kind), int(priorityOf(alarm.kind)), orNull(alarm.site),
                  orNull(alarm.address, -1), orNull(alarm.loop, 0), orNull(alarm.sensor), alarm.text, stateName(alarm.state), alarm.repeats,
                  iso(alarm.raised), orNull(iso(alarm.lastActivation)), orNull(alarm.acknowledgedBy),
                  orNull(iso(alarm.acknowledgedAt)), orNull(iso(alarm.cleared))},
                 &error))
            return fail(QStringLiteral("raising alarm ") + alarm.source, error);
        alarm.id = query.lastInsertId();
        return true;
    }
    return run(statements_->updateAlarm,
               "UPDATE alarms SET sensor = ?, text = ?, state = ?, repeats = ?, last_activation = ?, acknowledged_by = ?,"
               " acknowledged_at = ?, cleared = ? WHERE id = ?",
               {orNull(alarm.sensor), alarm.text, stateName(alarm.state), alarm.repeats, orNull(iso(alarm.lastActivation)),
                orNull(alarm.acknowledgedBy), orNull(iso(alarm.acknowledgedAt)), orNull(iso(alarm.cleared)), alarm.id},
               &error)
           || fail(QStringLiteral("changing alarm %1").arg(alarm.id), error);
}

bool Journal::addAlarmChange(const AlarmChange &change)
{
    QString error;
    return run(statements_->addChange,
               "INSERT INTO alarm_changes (alarm, time, from_state, to_state, cause, operator, station, comment)"
               " VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
               {change.alarm, iso(change.time), stateName(change.from), stateName(change.to), change.cause,
                orNull(change.operatorName), orNull(change.station), orNull(change.comment)},
               &error)
           || fail(QStringLiteral("noting a change of alarm %1").arg(change.alarm), error);
}

bool Journal::addAction(const ActionRow &action)
{
    QString error;
    return run(statements_->addAction,
               "INSERT INTO actions (time, station, operator, kind, target, comment, uid) VALUES (?, ?, ?, ?, ?, ?, ?)",
               {iso(action.time), action.station, orNull(action.operatorName), actionName(action.kind),
                orNull(action.target), orNull(action.comment), orNull(action.uid)},
               &error)
           || fail(QStringLiteral("noting action ") + actionName(action.kind), error);
}

bool Journal::saveFileMark(const FileMark &mark)
{
    QString error;
    return run(statements_->saveMark, "INSERT INTO files (site, day, last_number) VALUES (?, ?, ?)"
               " ON CONFLICT (site, day) DO UPDATE SET last_number = excluded.last_number",
               {mark.site, isoDay(mark.day), mark.lastNumber}, &error)
           || fail(QStringLiteral("noting how far %1 was received").arg(mark.site), error);
}

bool Journal::replaceGaps(const QString &site, const QDate &day, const QList<GapRow> &gaps, const QDateTime &now)
{
    QString error;
    if (!run(statements_->closeGaps, "UPDATE gaps SET closed = ? WHERE site = ? AND day = ? AND closed IS NULL",
             {iso(now), site, isoDay(day)}, &error))
        return fail(QStringLiteral("closing gaps of ") + site, error);
    for (const GapRow &gap : gaps) {
        if (!run(statements_->addGap, "INSERT INTO gaps (site, day, first, last, found) VALUES (?, ?, ?, ?, ?)",
                 {gap.site, isoDay(gap.day), gap.first, gap.last, iso(gap.found)}, &error))
            return fail(QStringLiteral("noting a gap of ") + site, error);
    }
    return true;
}

bool Journal::addShelf(ShelfRow &shelf)
{
    QString error;
    Statement &query = shelf.outOfService ? statements_->addOutOfService : statements_->addShelf;
    const bool stored =
        shelf.outOfService
            ? run(query,
                  "INSERT INTO out_of_service (site, address, what, since, operator, station, reason, uid)"
                  " VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                  {shelf.site, orNull(shelf.address, -1), shelf.what, iso(shelf.shelved), shelf.operatorName,
                   shelf.station, shelf.reason, orNull(shelf.uid)},
                  &error)
            : run(query,
                  "INSERT INTO shelves (source, site, address, what, shelved, until, operator, station, reason, uid)"
                  " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                  {orNull(shelf.source), orNull(shelf.site), orNull(shelf.address, -1), shelf.what, iso(shelf.shelved),
                   iso(shelf.until), shelf.operatorName, shelf.station, shelf.reason, orNull(shelf.uid)},
                  &error);
    if (!stored)
        return fail((shelf.outOfService ? QStringLiteral("taking out of service ") : QStringLiteral("shelving ")) + shelf.what,
                    error);
    shelf.id = query.lastInsertId();
    return true;
}

bool Journal::endShelf(const ShelfRow &shelf, const QDateTime &ended, const QString &how)
{
    QString error;
    const bool stored =
        shelf.outOfService
            ? run(statements_->endOutOfService,
                  "UPDATE out_of_service SET ended = ?, ended_by = ? WHERE id = ? AND ended IS NULL",
                  {iso(ended), how, shelf.id}, &error)
            : run(statements_->endShelf, "UPDATE shelves SET ended = ?, how = ? WHERE id = ? AND ended IS NULL",
                  {iso(ended), how, shelf.id}, &error);
    return stored || fail(QStringLiteral("ending %1 %2").arg(shelf.outOfService ? "out-of-service" : "shelf").arg(shelf.id), error);
}

bool Journal::hasAction(const QString &uid)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT 1 FROM actions WHERE uid = ?"));
    query.addBindValue(uid);
    return query.exec() && query.next();
}

bool Journal::hasActionOn(const QString &target)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT 1 FROM actions WHERE target = ?"));
    query.addBindValue(target);
    return query.exec() && query.next();
}

bool Journal::addToOutbox(const QString &uid, const QByteArray &payload)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO outbox (uid, payload) VALUES (?, ?)"));
    query.addBindValue(uid);
    query.addBindValue(QString::fromUtf8(payload));
    return query.exec() || fail(QStringLiteral("keeping action %1 for the other stations").arg(uid), query.lastError().text());
}

bool Journal::removeFromOutbox(const QString &uid)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("DELETE FROM outbox WHERE uid = ?"));
    query.addBindValue(uid);
    return query.exec() || fail(QStringLiteral("clearing sent action ") + uid, query.lastError().text());
}

QList<OutboxEntry> Journal::outbox()
{
    QList<OutboxEntry> entries;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("SELECT uid, payload FROM outbox ORDER BY rowid"))) {
        fail(QStringLiteral("reading the outbox"), query.lastError().text());
        return entries;
    }
    while (query.next())
        entries.append({query.value(0).toString(), query.value(1).toString().toUtf8()});
    return entries;
}

QList<ShelfRow> Journal::activeShelves()
{
    QList<ShelfRow> shelves;
    QSqlQuery query(db_);
    const bool read =
        query.exec(QStringLiteral("SELECT id, source, site, address, what, shelved, until, operator, station, reason, uid, 0"
                                  " FROM shelves WHERE ended IS NULL UNION ALL"
                                  " SELECT id, NULL, site, address, what, since, NULL, operator, station, reason, uid, 1"
                                  " FROM out_of_service WHERE ended IS NULL ORDER BY 12, 1"));
    if (!read) {
        fail(QStringLiteral("reading shelves"), query.lastError().text());
        return shelves;
    }
    while (query.next()) {
        ShelfRow shelf;
        shelf.id = query.value(0).toLongLong();
        shelf.source = query.value(1).toString();
        shelf.site = query.value(2).toString();
        shelf.address = query.value(3).isNull() ? -1 : query.value(3).toInt();
        shelf.what = query.value(4).toString();
        shelf.shelved = fromIso(query.value(5));
        shelf.until = fromIso(query.value(6));
        shelf.operatorName = query.value(7).toString();
        shelf.station = query.value(8).toString();
        shelf.reason = query.value(9).toString();
        shelf.uid = query.value(10).toString();
        shelf.outOfService = query.value(11).toInt() == 1;
        shelves.append(shelf);
    }
    return shelves;
}

QHash<qint64, QDateTime> Journal::lastEscalations()
{
    QHash<qint64, QDateTime> escalations;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("SELECT target, max(time) FROM actions WHERE kind = 'escalate' GROUP BY target"))) {
        fail(QStringLiteral("reading escalations"), query.lastError().text());
        return escalations;
    }
    while (query.next()) {
        const QString target = query.value(0).toString();
        if (target.startsWith(u"alarm "))
            escalations.insert(target.mid(6).toLongLong(), fromIso(query.value(1)));
    }
    return escalations;
}

QList<PostRow> Journal::posts()
{
    QList<PostRow> posts;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("SELECT site, status, status_time, interval, status_received, console_running, line,"
                                   " last_poll, console_time FROM posts"))) {
        fail(QStringLiteral("reading posts"), query.lastError().text());
        return posts;
    }
    while (query.next()) {
        PostRow post;
        post.site = query.value(0).toString();
        post.hasStatus = !query.value(1).isNull();
        post.online = query.value(1).toString() == u"online";
        post.statusTime = fromIso(query.value(2));
        post.intervalSeconds = query.value(3).toInt();
        post.statusReceived = fromIso(query.value(4));
        post.hasConsole = !query.value(5).isNull();
        post.consoleRunning = query.value(5).toInt() != 0;
        post.line = query.value(6).toString();
        post.lastPoll = fromIso(query.value(7));
        post.consoleTime = fromIso(query.value(8));
        posts.append(post);
    }
    return posts;
}

QList<SensorRow> Journal::sensors()
{
    QList<SensorRow> sensors;
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT site, address, model, link, loop1, loop2, fault, fault_code, changed, event"
                                   " FROM sensors"))) {
        fail(QStringLiteral("reading sensors"), query.lastError().text());
        return sensors;
    }
    while (query.next()) {
        SensorRow sensor;
        sensor.site = query.value(0).toString();
        sensor.address = query.value(1).toInt();
        sensor.model = query.value(2).toString();
        sensor.link = query.value(3).toString();
        sensor.loop1 = query.value(4).toString();
        sensor.loop2 = query.value(5).toString();
        sensor.fault = query.value(6).toString();
        sensor.faultCode = query.value(7).isNull() ? -1 : query.value(7).toInt();
        sensor.changed = query.value(8).toString();
        const QStringList id = query.value(9).toString().split(u'#');
        if (id.size() == 2)
            sensor.event = {QDate::fromString(id[0], QStringLiteral("dd.MM.yyyy")), id[1].toInt()};
        sensors.append(sensor);
    }
    return sensors;
}

QList<AlarmRow> Journal::openAlarms()
{
    QList<AlarmRow> alarms;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("SELECT id, source, kind, site, address, loop, text, state, repeats, raised,"
                                   " last_activation, acknowledged_by, acknowledged_at, sensor FROM alarms"
                                   " WHERE state <> 'normal'"))) {
        fail(QStringLiteral("reading open alarms"), query.lastError().text());
        return alarms;
    }
    while (query.next()) {
        AlarmRow alarm;
        alarm.id = query.value(0).toLongLong();
        alarm.source = query.value(1).toString();
        alarm.kind = kindFromName(query.value(2).toString()).value_or(AlarmKind::Fault);
        alarm.site = query.value(3).toString();
        alarm.address = query.value(4).isNull() ? -1 : query.value(4).toInt();
        alarm.loop = query.value(5).toInt();
        alarm.text = query.value(6).toString();
        alarm.state = stateFromName(query.value(7).toString()).value_or(AlarmState::Unacknowledged);
        alarm.repeats = query.value(8).toInt();
        alarm.raised = fromIso(query.value(9));
        alarm.lastActivation = fromIso(query.value(10));
        alarm.acknowledgedBy = query.value(11).toString();
        alarm.acknowledgedAt = fromIso(query.value(12));
        alarm.sensor = query.value(13).toString();
        alarms.append(alarm);
    }
    return alarms;
}

QList<FileMark> Journal::fileMarks()
{
    QList<FileMark> marks;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("SELECT site, day, last_number FROM files"))) {
        fail(QStringLiteral("reading file marks"), query.lastError().text());
        return marks;
    }
    while (query.next())
        marks.append({query.value(0).toString(), QDate::fromString(query.value(1).toString(), Qt::ISODate),
                      query.value(2).toInt()});
    return marks;
}

QList<GapRow> Journal::openGaps()
{
    QList<GapRow> gaps;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("SELECT site, day, first, last, found FROM gaps WHERE closed IS NULL ORDER BY first"))) {
        fail(QStringLiteral("reading gaps"), query.lastError().text());
        return gaps;
    }
    while (query.next())
        gaps.append({query.value(0).toString(), QDate::fromString(query.value(1).toString(), Qt::ISODate),
                     query.value(2).toInt(), query.value(3).toInt(), fromIso(query.value(4))});
    return gaps;
}

} // namespace dorvan::station
