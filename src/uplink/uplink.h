#pragma once

#include "base/clock.h"
#include "mqtt/supervisor.h"
#include "mqtt/transport.h"
#include "uplink/instancelock.h"
#include "uplink/liveness.h"
#include "uplink/recordpipeline.h"
#include "uplink/topics.h"
#include "uplink/uplinkconfig.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace dorvan::uplink {

// Publishes every record of a console's daily event files to the broker,
// at least once and in file order, with the post's and the console's
// liveness beside them. Wires its parts: the connection's supervisor, the
// record pipeline (window and cursor) and the liveness; one uplink per
// working directory. Subscribes to nothing and takes no commands.
class Uplink : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstRetryMs = mqtt::Backoff::FirstMs;
    static constexpr int LateCheckMs = RecordPipeline::LateCheckMs;
    static constexpr int ConsoleCheckMs = Liveness::ConsoleCheckMs;
    static constexpr int StopTimeoutMs = 2000; // for the broker to take the "offline" status

    Uplink(const UplinkSettings &settings, mqtt::Transport &transport, const Clock &clock,
           QObject *parent = nullptr);

    // Loads the cursor (or places it on the first run) and starts
    // connecting; false with the reason when it cannot run at all.
    bool start(QString *error);
    // Publishes "offline", disconnects, saves the cursor; stopped() follows.
    void stop();

    void pump() { pipeline_.pump(); }
    void heartbeat() { liveness_.heartbeat(); }
    void checkConsole(bool force = false) { liveness_.checkConsole(force); }
    void setConsoleProbe(std::function<bool()> probe) { liveness_.setConsoleProbe(std::move(probe)); }

    const Cursor &cursor() const { return pipeline_.cursor(); }
    int inFlight() const { return pipeline_.inFlight(); }
    int nextRetryMs() const { return supervisor_.nextRetryMs(); }

signals:
    void stopped();

private:
    enum class State { Running, Stopping, Stopped };

    void onConnected();
    void onLost();
    void finishStop();

    mqtt::Transport &transport_;
    Topics topics_;
    InstanceLock lock_;
    RecordPipeline pipeline_;
    Liveness liveness_;
    mqtt::Supervisor supervisor_;
    State state_ = State::Running;
    int offlineMessage_ = -1;
    QTimer stopTimer_;
};

} // namespace dorvan::uplink
