#pragma once

#include "base/clock.h"
#include "base/consoleheartbeat.h"
#include "mqtt/backoff.h"
#include "uplink/cursor.h"
#include "uplink/dailyfollower.h"
#include "mqtt/transport.h"
#include "uplink/topics.h"
#include "uplink/uplinkconfig.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QTimeZone>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <set>

namespace dorvan::uplink {

// Publishes every record of a console's daily event files to the broker,
// at least once and in file order: a bounded window of records in flight,
// a cursor that moves only over records whose messages the broker has all
// acknowledged, a reconnect with a capped backoff that starts again at the
// cursor. Subscribes to nothing and takes no commands.
class Uplink : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstRetryMs = mqtt::Backoff::FirstMs;
    static constexpr int PollMs = 250;         // besides the file watch, for file systems without one
    static constexpr int CursorSaveDelayMs = 200; // acknowledgements within this share one save
    static constexpr int StopTimeoutMs = 2000;   // for the broker to take the "offline" status
    static constexpr int ConsoleCheckMs = 2000;  // how often the console's lock and heartbeat are read
    // A line whose last pass the heartbeat names is older than this is
    // stopped: 10 s, and the up to one beat by which a hung console's
    // heartbeat lags its real last pass. With a look every ConsoleCheckMs,
    // a hung console's line is shown stopped 10 to 14 s after its last pass.
    static constexpr int LineStoppedMs = 10000 + ConsoleHeartbeat::IntervalMs;
    static constexpr int LateCheckMs = 1000;     // how often passed days' files are looked at

    Uplink(const UplinkSettings &settings, mqtt::Transport &transport, const Clock &clock,
           QObject *parent = nullptr);
    ~Uplink() override;

    // Loads the cursor (or places it on the first run) and starts
    // connecting; false with the reason when it cannot run at all.
    bool start(QString *error);
    // Publishes "offline", disconnects, saves the cursor; stopped() follows.
    void stop();
    // Publishes what the files hold beyond the records in flight.
    void pump();
    // Renews the retained status with the time it is sent.
    void heartbeat();
    // Reads the console's lock and heartbeat; publishes its liveness when it
    // changed (always with force).
    void checkConsole(bool force = false);
    // Whether a console holds the working directory; by default its lock
    // file's process, tests replace it.
    void setConsoleProbe(std::function<bool()> probe) { consoleProbe_ = std::move(probe); }

    const Cursor &cursor() const { return acked_; }
    int inFlight() const { return int(window_.size()); }
    int nextRetryMs() const { return backoff_.stepMs(); }

signals:
    void stopped();

private:
    enum class State { Idle, Connecting, Connected, Waiting, Stopping, Stopped };
    struct InFlight
    {
        StampedRecord stamped;
        int pending = 0; // its messages not yet acknowledged
        bool late = false; // from a day's file the cursor had passed
    };

    void placeFirstCursor();
    void connectNow();
    void onConnected();
    void onFailed(const QString &reason);
    void onAcknowledged(int messageId);
    void onRefused(int messageId, const QString &reason);
    QByteArray statusPayload() const;
    void publishBatch(const QList<StampedRecord> &records, bool late = false);
    void publishSensor(qint32 address, bool announce, qint64 serial);
    bool send(const Message &message, qint64 serial = -1);
    void dropForReusedId(int id);
    void moveCursor(const EventPosition &position);
    void passDay(const EventPosition &to);
    void saveCursor();
    void finishStop();
    void watchFiles();

    UplinkSettings settings_;
    mqtt::Transport &transport_;
    const Clock &clock_;
    Topics topics_;
    std::optional<Discovery> discovery_;
    QTimeZone zone_;
    DailyFollower follower_;
    CursorFile cursorFile_;

    Cursor acked_;       // the first record not acknowledged, and the states before it
    SensorStates live_;  // the states after the last record read
    std::deque<InFlight> window_;
    qint64 windowBase_ = 0;            // serial number of window_.front()
    QHash<int, qint64> recordOfMessage_; // message id in flight -> serial number of its record, -1 for none
    bool broken_ = false;              // a publish failed; failed() is on its way
    // After a (re)connection the states are held back until the records not
    // yet acknowledged have gone out again: a state published from the
    // cursor would be older than one the broker already has.
    bool replaying_ = false;
    std::set<qint32> heldStates_;
    bool refusing_ = false;            // the broker refused a record since one was last delivered
    int lockFd_ = -1;                  // one uplink per working directory
    std::optional<quint32> lateChecked_; // tick of the last look at passed days' files
    std::function<bool()> consoleProbe_;
    QByteArray consoleShown_;          // the console's liveness last published, without its time

    State state_ = State::Idle;
    mqtt::Backoff backoff_;
    int offlineMessage_ = -1;
    QString saveError_;
    QTimer retryTimer_;
    QTimer pollTimer_;
    QTimer saveTimer_;
    QTimer stopTimer_;
    QTimer heartbeatTimer_;
    QTimer consoleTimer_;
    QFileSystemWatcher watcher_;
};

} // namespace dorvan::uplink
