#pragma once

#include "base/alarmsound.h"
#include "base/clock.h"
#include "mqtt/transport.h"
#include "station/alarmgroups.h"
#include "station/cards.h"
#include "station/journal.h"
#include "station/models.h"
#include "station/operators.h"
#include "station/stationconfig.h"

#include <QDateTime>
#include <QObject>

#include <memory>

namespace dorvan::station {

// The central station's decisions, in one place the window only shows and
// forwards clicks to: what arrives from the posts goes into the journal
// (once, each batch in one transaction), becomes the posts' and sensors'
// state, raises and returns alarms, and sounds until they are acknowledged.
// Time comes from the Clock: its wall clock for the journal and for judging
// the posts' clocks, its tickMs() as the monotonic clock of staleness.
class Station : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        Journal &journal;
        Operators &operators;
        const Clock &clock;
        AlarmSound &sound;
        StationSettings settings;
    };

    explicit Station(Parts parts, QObject *parent = nullptr);
    ~Station() override;

    // Opens the journal and shows its posts, sensors and open alarms.
    bool open(QString *error);
    // Writes and shows the batch; a flood is taken in steps of 500 to 1000
    // messages from the event loop, in order (backlog() says how many wait).
    void receive(const QList<mqtt::Received> &batch);
    qsizetype backlog() const;
    void setBrokerConnected(bool connected, const QString &reason = {});
    // Every second: staleness, status ages, the end of a silence or a
    // shelving, the escalation of alarms left unacknowledged too long.
    void tick();

    bool signIn(const QString &name, const QString &password, QString *error);
    void signOut();
    QString operatorName() const; // empty: nobody signed in

    bool acknowledge(qint64 alarmId, const QString &comment, QString *error);
    bool acknowledgePost(const QString &site, const QString &comment, QString *error);
    bool silence(QString *error);

    // Shelving keeps an alarm (or every alarm of a sensor, also those raised
    // later) out of the list and unheard for 1 to max-shelve minutes; at the
    // end (tick() or unshelve()) they come back as they then are.
    bool shelve(qint64 alarmId, int minutes, const QString &reason, QString *error);
    bool shelveSensor(const QString &site, int address, int minutes, const QString &reason, QString *error);
    bool unshelve(qint64 shelfId, QString *error);
    int silenceLeftSeconds() const; // 0: not silenced

    // Out of service: a sensor, or the whole post (address -1), until an
    // operator returns it. Its events are journaled; its alarms are held out
    // of the list and unheard (the post's own liveness ones only when the
    // post itself is out), and come back as they are at the return.
    bool takeOutOfService(const QString &site, int address, const QString &reason, QString *error);
    bool returnToService(qint64 itemId, QString *error);

    // An action the station does not take itself (a shift handed over, a
    // card edited): journaled, shared with the centre. Its operator, when
    // not named, is the one signed in; time and uid are given if missing.
    bool record(ActionRow action, QString *error);

    // The posts' cards. An edit is the signed-in operator's, who needs the
    // right to it; saved with its action in one transaction and shared with
    // the centre, where the latest edit of a card wins.
    const PostCard *card(const QString &site) const; // nullptr: none yet
    bool mayEditCards() const;                       // the signed-in operator may
    bool editCard(const PostCard &card, QString *error);

    // The actions waiting for the broker to take them for the centre's other
    // stations; sent(): it has one.
    QList<OutboxEntry> outbox();
    void sent(const QString &uid);

    QString brokerProblem() const;  // empty while connected
    QDateTime brokerLostSince() const;
    const StationSettings &settings() const;
    qint64 badInputCount() const;

    BoardModel &board();
    AlarmListModel &alarmList();
    AlarmGroupModel &alarmGroups(); // the list with each post's flood in one row
    ShelvedListModel &shelved();
    ShelvedListModel &outOfService();
    SensorListModel &sensors();

signals:
    void newAlarm();      // a window should come into sight
    void brokerChanged();
    void operatorChanged();
    void silenceChanged();
    // The post's card changed, here or at another station.
    void cardChanged(const QString &site);
    // New actions wait in the outbox.
    void actionsQueued();
    // Something the operator should read in passing (the escalation command failed), logged already.
    void notice(const QString &text);
    // The journal refused a write: the station cannot keep its evidence.
    void journalFailed(const QString &reason);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace dorvan::station
