#pragma once

#include "base/clock.h"
#include "station/journal.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>

namespace dorvan::station {

class Operators;

// An operator who worked in the shift: from the first action of theirs in
// it; signedOut invalid while still signed in at its end.
struct ShiftOperator
{
    QString name;
    QDateTime first;
    QDateTime signedOut;
};

// An alarm as the shift saw it. State is the alarm's now (when gathered);
// stateAtEnd the one it had at the shift's end.
struct ShiftAlarm
{
    qint64 id = 0;
    AlarmKind kind = AlarmKind::Trip;
    QString site;
    int address = -1;
    QString sensor;
    QString text;
    QDateTime raised;
    AlarmState state = AlarmState::Unacknowledged;
    AlarmState stateAtEnd = AlarmState::Unacknowledged;
    QString acknowledgedBy;
    QDateTime acknowledgedAt;
    QDateTime cleared;
};

// One acknowledgement given in the shift, of an alarm raised in it or before.
struct ShiftAcknowledgement
{
    ShiftAlarm alarm;
    QDateTime time;
    QString operatorName;
    QString station;
    QString comment;
};

struct ShiftShelf
{
    QString what;
    QString operatorName;
    QString reason;
    QDateTime shelved;
    QDateTime until;
    QDateTime ended; // invalid: still shelved
    QString how;     // expired, unshelved
};

// A sensor or (address -1) a whole post out of service.
struct ShiftOutOfService
{
    QString site;
    int address = -1;
    QString what;
    QDateTime since;
    QString operatorName;
    QString reason;
    QDateTime ended; // invalid: still out of service
    QString endedBy;
};

// A post silent, stale, its console down or its line stopped: from the
// alarm's raising to its condition's end (alive invalid: not by the shift's end).
struct DeadPost
{
    QString site;
    AlarmKind kind = AlarmKind::Offline;
    QString text;
    QDateTime raised;
    QDateTime alive;
    qint64 seconds = 0; // raised to alive, or to the shift's end
};

// What an operator wrote with an action: an acknowledgement, a shelving, ...
struct ShiftComment
{
    QDateTime time;
    QString operatorName;
    QString station;
    ActionKind kind = ActionKind::Acknowledge;
    QString target;
    QString comment;
};

// A handover: handed over by the outgoing operator, accepted (accepted
// valid) by the incoming one. seq 0: the shift has not been handed over.
struct Handover
{
    qint64 seq = 0;
    QString uid;
    QDateTime from;
    QDateTime to;
    QString outgoing;
    QString outgoingRemarks;
    QString incoming;
    QString incomingRemarks;
    QDateTime accepted;

    bool isHandedOver() const { return seq != 0; }
    bool isAccepted() const { return accepted.isValid(); }
};

// Everything a shift's report says, read from the journal.
struct ShiftReport
{
    QDateTime from;
    QDateTime to;
    QDateTime gathered;
    QString station;
    QList<ShiftOperator> operators;
    QList<ShiftAlarm> raised;
    QList<ShiftAcknowledgement> acknowledged;
    QList<ShiftAlarm> openAtEnd;
    QList<ShiftShelf> shelves;
    QList<ShiftOutOfService> outOfService;
    QList<DeadPost> deadPosts;
    QList<GapRow> gaps;
    QList<ShiftComment> comments;
    Handover handover;
    QString error; // empty: every part was read
};

// The target a handover's actions name: "shift <from>/<to>", UTC ISO 8601.
QString shiftTarget(const QDateTime &from, const QDateTime &to);
// The span named by such a target; nullopt for anything else.
std::optional<std::pair<QDateTime, QDateTime>> shiftSpanOf(const QString &target);

// The report of the span [from, to] of the station's journal. Each part is
// one query on an index (times, alarm ids); the handover is the station's
// of exactly this span, if there is one. The gathering time is `now`.
ShiftReport gatherShift(QSqlDatabase &db, const QDateTime &from, const QDateTime &to, const QString &station,
                        const QDateTime &now);

// The handing over of a shift and its acceptance, as two actions of the
// journal that both name the shift's span: the outgoing operator's
// hand_over with the remarks, the incoming one's take_over with theirs,
// signed by the password. The journal alone says what is pending, so a
// restart between them loses nothing. A shift starts where the last
// accepted one ended, the first at the journal's first action.
class ShiftHandover
{
public:
    using Record = std::function<bool(const ActionRow &action)>;

    struct Parts
    {
        Journal &journal;
        Operators &operators;
        const Clock &clock;
        QString station;
        Record record = {}; // empty: into the journal, durably
    };

    explicit ShiftHandover(Parts parts);
    ShiftHandover(const ShiftHandover &) = delete;
    ShiftHandover &operator=(const ShiftHandover &) = delete;

    // The shift so far, up to now: what the outgoing operator reads before handing over.
    ShiftReport current();
    QDateTime shiftStart();

    bool handOver(const QString &outgoing, const QString &remarks, QString *error);
    bool accept(const QString &incoming, const QString &password, const QString &remarks, QString *error);
    std::optional<Handover> pending();

    // Past handovers, the latest first, for a reprint.
    QList<Handover> handovers(int limit = 200);
    // A handover's shift gathered again from the journal: by the hand_over's seq or uid.
    std::optional<ShiftReport> reportOf(qint64 seq);
    std::optional<ShiftReport> reportOf(const QString &uid);

private:
    bool store(const ActionRow &action, QString *error);
    bool storeInJournal(const ActionRow &action);
    std::optional<Handover> handoverWhere(const QString &column, const QVariant &value);
    std::optional<ShiftReport> reportFor(const std::optional<Handover> &handover);

    Parts parts_;
};

} // namespace dorvan::station
