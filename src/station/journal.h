#pragma once

#include "station/alarmstates.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace dorvan::station {

// A record of a post's daily file: the file's date and the record's number in it.
struct RecordId
{
    QDate day;
    int number = -1;

    bool isValid() const { return day.isValid() && number >= 0; }
    QString text() const; // dd.mm.yyyy#N, as the posts send it
    auto operator<=>(const RecordId &other) const
    {
        if (day != other.day)
            return day.toJulianDay() <=> other.day.toJulianDay();
        return number <=> other.number;
    }
    bool operator==(const RecordId &) const = default;
};

// An event as received, stored once per site and id.
struct EventRow
{
    QString site;
    RecordId id;
    QString time; // the post's, as sent
    int code = -1;
    QString kind;
    int address = -1; // -1: a general event
    int loop = 0;     // 0: none
    QString text;
    QByteArray payload;
};

// What the journal keeps of a post: its last status and console report.
struct PostRow
{
    QString site;
    bool online = false;
    bool hasStatus = false;
    QDateTime statusTime;     // the post's clock
    int intervalSeconds = 0;
    QDateTime statusReceived; // the station's clock
    bool hasConsole = false;
    bool consoleRunning = false;
    QString line;             // running, stopped, unknown
    QDateTime lastPoll;
    QDateTime consoleTime;
};

// A sensor's state as its post last sent it.
struct SensorRow
{
    QString site;
    int address = 0;
    QString model;
    QString link;  // up, lost, unknown
    QString loop1; // disarmed, normal, alarm, unknown
    QString loop2;
    QString fault; // empty: none
    int faultCode = -1;
    QString changed;
    RecordId event;

    bool operator==(const SensorRow &) const = default;
};

// An alarm from its raising to its clearing.
struct AlarmRow
{
    qint64 id = 0; // 0 until stored
    QString source; // one open alarm per source at a time
    AlarmKind kind = AlarmKind::Trip;
    QString site;
    int address = -1;
    int loop = 0;
    QString sensor; // "Дорван-301ДК № 1001", empty for the post's or the station's own
    QString text;
    AlarmState state = AlarmState::Unacknowledged;
    int repeats = 0;
    QDateTime raised;
    QDateTime lastActivation;
    QString acknowledgedBy;
    QDateTime acknowledgedAt;
    QDateTime cleared;
    // Not columns: since when nobody has acknowledged it, and whether that
    // has been too long (the journal's actions keep each escalation).
    QDateTime unacknowledgedSince;
    bool escalated = false;
    // Nor this: the cause of its last activation, by which another station's
    // acknowledgement is matched to it.
    QString activation;
};

// A change of an alarm's state: the cause is the event (site and id) or the
// station's check; an operator's acknowledgement names who and where.
struct AlarmChange
{
    qint64 alarm = 0;
    QDateTime time;
    AlarmState from = AlarmState::Normal;
    AlarmState to = AlarmState::Normal;
    QString cause;
    QString operatorName;
    QString station;
    QString comment;
};

enum class ActionKind {
    SignIn, SignOut, Acknowledge, Silence, Shelve, Unshelve, Escalate,
    OutOfService, ReturnToService, HandOver, TakeOver, EditCard
};

struct ActionRow
{
    QDateTime time;
    QString station;
    QString operatorName;
    ActionKind kind = ActionKind::SignIn;
    QString target;
    QString comment;
    QString uid; // unique across the centre's stations; empty: this station's alone
};

// An alarm's source, or every alarm of one sensor, kept out of the list and
// silent until a time; ended early by an operator or at that time. Out of
// service: a sensor, or a whole post (address -1), held so until an operator
// returns it.
struct ShelfRow
{
    qint64 id = 0;  // 0 until stored
    QString source; // the alarm's; empty: every alarm of the sensor
    QString site;
    int address = -1;
    QString what;   // as the operator reads it
    QDateTime shelved;
    QDateTime until;
    QString operatorName;
    QString station;
    QString reason;
    QString uid; // the centre's id of the action that made it
    bool outOfService = false;

    bool wholePost() const { return source.isEmpty() && address < 0; }
    bool covers(const AlarmRow &alarm) const
    {
        if (wholePost())
            return alarm.site == site;
        return source.isEmpty() ? alarm.site == site && alarm.address == address : alarm.source == source;
    }
};

// A run of records missing from a post's daily file.
struct GapRow
{
    QString site;
    QDate day;
    int first = 0;
    int last = 0;
    QDateTime found;
};

// How far each post's daily file has been received.
struct FileMark
{
    QString site;
    QDate day;
    int lastNumber = -1;
};

// An action waiting for the broker to take it for the centre's other stations.
struct OutboxEntry
{
    QString uid;
    QByteArray payload;
};

// The station's journal: an SQLite database (WAL) that the auditor reads
// with sqlite3. Writes go in transactions, one per received batch; actions
// and alarm changes are refused any UPDATE or DELETE by the database itself.
class Journal
{
public:
    enum class Insert { Added, Duplicate, Failed };

    explicit Journal(QString path);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    bool open(QString *error);
    void close();
    QString path() const { return path_; }
    QString errorText() const { return error_; } // the last failure, for the log

    bool begin();
    bool commit();
    void rollback();
    // A transaction for an operator's action, synced to disk at its commit.
    bool beginDurable();

    Insert addEvent(const EventRow &event, const QDateTime &received);
    bool savePost(const PostRow &post);
    bool saveSensor(const SensorRow &sensor, const QByteArray &payload, const QDateTime &received);
    bool removeSensor(const QString &site, int address);
    // Inserts (id 0: the new id is set) or updates the alarm's current state.
    bool saveAlarm(AlarmRow &alarm);
    bool addAlarmChange(const AlarmChange &change);
    bool addAction(const ActionRow &action);
    bool saveFileMark(const FileMark &mark);
    // A shelf or an out-of-service item; sets its id.
    bool addShelf(ShelfRow &shelf);
    // how: a shelf's end (expired, unshelved); for out of service, who returned it.
    bool endShelf(const ShelfRow &shelf, const QDateTime &ended, const QString &how);
    // The open gaps of the file are replaced by these.
    bool replaceGaps(const QString &site, const QDate &day, const QList<GapRow> &gaps, const QDateTime &now);

    QList<PostRow> posts();
    QList<SensorRow> sensors();
    QList<AlarmRow> openAlarms();
    QList<FileMark> fileMarks();
    QList<GapRow> openGaps();
    QList<ShelfRow> activeShelves(); // the shelves, then what is out of service
    QHash<qint64, QDateTime> lastEscalations(); // per alarm id

    bool hasAction(const QString &uid);
    bool hasActionOn(const QString &target);
    bool addToOutbox(const QString &uid, const QByteArray &payload);
    bool removeFromOutbox(const QString &uid);
    QList<OutboxEntry> outbox();

    QSqlDatabase &database() { return db_; }

private:
    bool createSchema();
    bool addColumnIfMissing(const QString &table, const QString &column);
    bool hasIndex(const QString &name);
    bool exec(const QString &statement);
    bool fail(const QString &what, const QString &reason);
    void endDurable();
    QString receivedText(const QDateTime &received);

    QString path_;
    QString connection_;
    QSqlDatabase db_;
    QString error_;
    struct Statements;
    Statements *statements_ = nullptr;
    bool durable_ = false;
    QDateTime lastReceived_;
    QString lastReceivedText_;
};

QString actionName(ActionKind kind);

} // namespace dorvan::station
