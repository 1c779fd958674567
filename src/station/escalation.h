#pragma once

#include "station/journal.h"

#include <QDateTime>
#include <QObject>
#include <QString>

namespace dorvan::station {

// How long an alarm may stay unacknowledged, per priority; 0: never escalated.
struct EscalationLimits
{
    int tripMinutes = 2;
    int faultMinutes = 10;
    int noticeMinutes = 0;

    int minutesFor(AlarmPriority priority) const;
};

// The alarm as the centre's own command reads it on its standard input.
QByteArray escalationJson(const AlarmRow &alarm, const QString &station, const QDateTime &escalated);

// Starts the centre's command for an escalated alarm, the alarm as one JSON
// object on its standard input, and never waits for it: each run is killed
// after its time limit, and a failure (not started, killed, non-zero exit)
// is logged and reported by failed().
class EscalationCommand : public QObject
{
    Q_OBJECT

public:
    static constexpr int TimeLimitMs = 10000;

    // command: run by /bin/sh -c, so it may redirect and pipe as the
    // centre's scripts do; empty: nothing is started.
    explicit EscalationCommand(QString command, int timeLimitMs = TimeLimitMs, QObject *parent = nullptr);

    void run(qint64 alarmId, const QByteArray &json);

signals:
    void failed(const QString &text); // in Russian, for the operator

private:
    void fail(qint64 alarmId, const QString &logged, const QString &shown);

    QString command_;
    int timeLimitMs_;
};

} // namespace dorvan::station
