#pragma once

#include "base/clock.h"
#include "base/consoleheartbeat.h"
#include "mqtt/transport.h"
#include "uplink/topics.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace dorvan::uplink {

// What tells the station that this post lives: the retained status, renewed
// with its time every heartbeat, and the console's liveness (whether a
// console holds the working directory, whether its line polls), published
// when it changes and with every heartbeat.
class Liveness : public QObject
{
    Q_OBJECT

public:
    static constexpr int ConsoleCheckMs = 2000; // how often the console's lock and heartbeat are read
    // A line whose last pass the heartbeat names is older than this is
    // stopped: 10 s, and the up to one beat by which a hung console's
    // heartbeat lags its real last pass. With a look every ConsoleCheckMs,
    // a hung console's line is shown stopped 10 to 14 s after its last pass.
    static constexpr int LineStoppedMs = 10000 + ConsoleHeartbeat::IntervalMs;

    // Publishes retained with QoS 1; false when it could not go out.
    using Publish = std::function<bool(const mqtt::Message &)>;

    Liveness(const QString &workDir, const Topics &topics, int heartbeatSeconds, const Clock &clock, Publish publish,
             QObject *parent = nullptr);

    void start();
    void stop();
    // The status first, then the console's liveness.
    void connected();
    void disconnected();
    // Renews the retained status with the time it is sent.
    void heartbeat();
    // Reads the console's lock and heartbeat; publishes its liveness when it
    // changed (always with force).
    void checkConsole(bool force = false);
    // Whether a console holds the working directory; by default its lock
    // file's process, tests replace it.
    void setConsoleProbe(std::function<bool()> probe) { consoleProbe_ = std::move(probe); }

private:
    QByteArray statusPayload() const;

    QString workDir_;
    Topics topics_;
    int heartbeatSeconds_;
    const Clock &clock_;
    Publish publish_;
    std::function<bool()> consoleProbe_;
    QByteArray consoleShown_; // the console's liveness last published, without its time
    bool connected_ = false;
    QTimer heartbeatTimer_;
    QTimer consoleTimer_;
};

} // namespace dorvan::uplink
