#pragma once

#include "station/escalation.h"
#include "station/journal.h"
#include "station/models.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace dorvan::station {

// What raises an alarm: one source (a loop, a sensor's fault, a post's
// layer) has at most one open alarm at a time.
struct AlarmCondition
{
    QString source;
    AlarmKind kind = AlarmKind::Trip;
    QString site;
    int address = -1;
    int loop = 0;
    QString sensor;
    QString text;
};

// Who changed an alarm and why: the event or check that caused it, and for
// an acknowledgement the operator, the station and the comment.
struct AlarmCause
{
    QString cause;
    QDateTime time;
    QString operatorName;
    QString station;
    QString comment;
};

// The open alarms: each input goes through the transition table, every
// change is stored (the alarm's state and a row of its changes) and shown.
class AlarmBook
{
public:
    AlarmBook(Journal &journal, AlarmListModel &list, ShelvedListModel &shelvedList, ShelvedListModel &outOfServiceList);

    // escalations: the last of each alarm; one after its last activation still holds.
    void load(const QList<AlarmRow> &open, const QList<ShelfRow> &shelves,
              const QHash<qint64, QDateTime> &escalations = {});

    // The condition is present. A repeat is a new occurrence (an event); a
    // condition merely confirmed (a state) leaves an active alarm as it is.
    // True when the alarm became unacknowledged by it: a new alarm.
    bool activate(const AlarmCondition &wanted, bool repeat, const AlarmCause &cause);
    void settle(const QString &source, const AlarmCause &cause);
    // An open alarm's text follows its condition (the records still missing).
    void retext(const QString &source, const QString &text);
    bool acknowledge(qint64 id, const AlarmCause &cause);

    // A shelved alarm, or one of what is out of service, goes on through its
    // states out of the list and unheard.
    bool shelve(ShelfRow shelf);
    // The shelf's alarms come back as they are now; true when one of them
    // is unacknowledged again (heard as a new alarm).
    bool endShelf(qint64 shelfId, bool outOfService, const QString &how, const AlarmCause &cause);
    QList<qint64> expiredShelves(const QDateTime &now) const; // out of service never expires
    const ShelfRow *shelf(qint64 shelfId, bool outOfService = false) const;
    const ShelfRow *shelfByUid(const QString &uid) const;
    const ShelfRow *shelfOf(const AlarmRow &alarm) const; // what holds it back, if anything
    // The item that holds the sensor (or, address -1, the post itself) out of service.
    const ShelfRow *outOfService(const QString &site, int address) const;
    bool isShelved(const QString &source) const;

    // The heard alarms unacknowledged for longer than their limit, now escalated.
    QList<AlarmRow> escalate(const QDateTime &now, const EscalationLimits &limits);
    bool anyEscalated() const;

    const AlarmRow *bySource(const QString &source) const;
    const AlarmRow *byId(qint64 id) const;
    QList<qint64> unacknowledgedOf(const QString &site) const;
    bool hasUnacknowledged(const QString &site) const;
    bool anyUnacknowledged(bool trips) const;
    // Sites whose alarms changed since the last call.
    QSet<QString> takeChangedSites();
    bool journalFailed() const { return journalFailed_; }
    void clearJournalFailure() { journalFailed_ = false; }

private:
    bool apply(AlarmRow &alarm, AlarmInput input, const AlarmCause &cause);
    void show(const AlarmRow &alarm);
    bool heardUnacknowledged(const AlarmRow &alarm) const;
    void recount();
    void showShelves();

    Journal &journal_;
    AlarmListModel &list_;
    ShelvedListModel &shelvedList_;
    ShelvedListModel &outOfServiceList_;
    QList<ShelfRow> shelves_;
    QHash<QString, AlarmRow> open_;
    QHash<qint64, QString> sourceOf_;
    QHash<QString, int> unacknowledged_; // per site, not shelved
    QSet<QString> changedSites_;
    bool journalFailed_ = false;
};

AlarmView viewOf(const AlarmRow &alarm);

} // namespace dorvan::station
