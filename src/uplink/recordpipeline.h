#pragma once

#include "base/clock.h"
#include "mqtt/transport.h"
#include "uplink/cursor.h"
#include "uplink/dailyfollower.h"
#include "uplink/topics.h"
#include "uplink/uplinkconfig.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QTimeZone>
#include <QTimer>

#include <deque>
#include <optional>
#include <set>

namespace dorvan::uplink {

// The records of the daily event files on their way to the broker: the
// follower reads them, a bounded window holds those in flight, and the
// cursor moves only over records whose messages the broker has all
// acknowledged. Each connection starts again at the cursor.
class RecordPipeline : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollMs = 250;            // besides the file watch, for file systems without one
    static constexpr int CursorSaveDelayMs = 200; // acknowledgements within this share one save
    static constexpr int LateCheckMs = 1000;      // how often passed days' files are looked at

    RecordPipeline(const UplinkSettings &settings, const Topics &topics, mqtt::Transport &transport,
                   const Clock &clock, QObject *parent = nullptr);

    // False with the reason when the working directory has no daily files.
    bool canFollow(QString *error) const;
    // Loads the cursor (or places it on the first run) and starts following.
    bool start(QString *error);
    // Stops following and saves the cursor.
    void stop();
    // A new connection: nothing in flight, the follower back at the cursor;
    // pump() publishes.
    void connected();
    void disconnected();
    // Publishes what the files hold beyond the records in flight.
    void pump();
    // Publishes a message that counts for no record (the status).
    bool publish(const mqtt::Message &message) { return send(message); }

    // Saves the cursor now, not after the delay (on stopping).
    void saveCursor();

    // Connected, and no publish has failed since.
    bool isPublishing() const { return connected_ && !broken_; }
    const Cursor &cursor() const { return acked_; }
    int inFlight() const { return int(window_.size()); }

signals:
    // The connection cannot be trusted with more records.
    void reconnectNeeded(const QString &reason);
    // Whether the broker refused a record since one was last delivered.
    void brokerRefusing(bool refusing);

private:
    struct InFlight
    {
        StampedRecord stamped;
        int pending = 0; // its messages not yet acknowledged
        bool late = false; // from a day's file the cursor had passed
    };

    void placeFirstCursor();
    void onAcknowledged(int messageId);
    void onRefused(int messageId, const QString &reason);
    void publishBatch(const QList<StampedRecord> &records, bool late = false);
    void publishSensor(qint32 address, bool announce, qint64 serial);
    bool send(const mqtt::Message &message, qint64 serial = -1);
    void dropForReusedId(int id);
    void moveCursor(const EventPosition &position);
    void passDay(const EventPosition &to);
    void watchFiles();

    UplinkSettings settings_;
    Topics topics_;
    mqtt::Transport &transport_;
    const Clock &clock_;
    std::optional<Discovery> discovery_;
    QTimeZone zone_;
    DailyFollower follower_;
    CursorFile cursorFile_;

    Cursor acked_;       // the first record not acknowledged, and the states before it
    SensorStates live_;  // the states after the last record read
    std::deque<InFlight> window_;
    qint64 windowBase_ = 0;            // serial number of window_.front()
    QHash<int, qint64> recordOfMessage_; // message id in flight -> serial number of its record, -1 for none
    bool connected_ = false;
    bool broken_ = false;              // a publish failed; failed() is on its way
    // After a (re)connection the states are held back until the records not
    // yet acknowledged have gone out again: a state published from the
    // cursor would be older than one the broker already has.
    bool replaying_ = false;
    std::set<qint32> heldStates_;
    bool refusing_ = false;            // the broker refused a record since one was last delivered
    std::optional<quint32> lateChecked_; // tick of the last look at passed days' files
    QString saveError_;
    QTimer pollTimer_;
    QTimer saveTimer_;
    QFileSystemWatcher watcher_;
};

} // namespace dorvan::uplink
