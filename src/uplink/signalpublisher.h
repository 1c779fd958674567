#pragma once

#include "base/clock.h"
#include "trends/trendstore.h"
#include "mqtt/transport.h"
#include "uplink/topics.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

namespace dorvan::uplink {

// Publishes each sensor's per-minute minimum, mean and maximum of signal,
// threshold and reply time to <prefix>/<site>/sensor/<address>/signal, QoS 0
// and not retained: telemetry that a later minute replaces. Read from the
// console's trend store (data/trends.sqlite, opened read-only), never from
// the console itself; a minute is sent once it is over. Minutes that passed
// while the broker was away are sent on reconnecting, the last hour at most.
class SignalPublisher : public QObject
{
    Q_OBJECT

public:
    static constexpr int CheckMs = 10 * 1000;
    static constexpr qint64 BacklogMinutes = 60;
    // A minute is read this long after it ended, so that the console's
    // batch of its last second has been written.
    static constexpr qint64 SettleMs = 3000;

    SignalPublisher(const QString &workDir, const Topics &topics, mqtt::Transport &transport, const Clock &clock,
                    QObject *parent = nullptr);
    ~SignalPublisher() override;

    // Starts with the minutes that end from now on.
    void start();
    // The timer's handler: every minute over since the last one sent.
    void publishDue();

    static QString topic(const Topics &topics, quint16 address);
    static QByteArray payload(quint16 address, int model, const TrendMinute &minute);

private:
    QString path_;
    Topics topics_;
    mqtt::Transport &transport_;
    const Clock &clock_;
    std::unique_ptr<TrendStore> store_;
    std::map<qint64, qint64> sent_; // sensor -> last minute sent
    qint64 startMinute_ = 0;
    bool connected_ = false;
    QString lastProblem_;
    QTimer timer_;
};

} // namespace dorvan::uplink
