#pragma once

#include "base/exceptionedge.h"
#include "mqtt/backoff.h"
#include "mqtt/transport.h"

#include <QObject>
#include <QTimer>

namespace dorvan::mqtt {

// Keeps a transport connected: opens it, and after every failure opens it
// again once the jittered back-off has passed; a good connection starts the
// back-off again. The time-outs of an attempt and the keep-alive are the
// transport's own.
class Supervisor : public QObject
{
    Q_OBJECT

public:
    Supervisor(Transport &transport, Message will, LogCategory category, QObject *parent = nullptr);

    void start();
    // No attempt after this one; the transport stays open until its user closes it.
    void stop();
    // Ends a connection its user no longer trusts: closed, and opened again
    // after the back-off, as after a failure.
    void reopen(const QString &reason);
    // A broker that takes the connection and refuses the messages gets no
    // faster retries for it: while held, a connection leaves the back-off as it is.
    void holdBackoff(bool held) { backoffHeld_ = held; }

    bool isConnected() const { return connected_; }
    // The step the next failure's wait is drawn from, and the wait running now (-1: none).
    int nextRetryMs() const { return backoff_.stepMs(); }
    int retryInMs() const { return retryTimer_.isActive() ? retryTimer_.remainingTime() : -1; }

signals:
    void connected();
    // The connection or the attempt ended; also after stop(), with no retry.
    void lost(const QString &reason);

private:
    void onConnected();
    void onFailed(const QString &reason);

    Transport &transport_;
    Message will_;
    LogCategory category_;
    Backoff backoff_;
    QTimer retryTimer_;
    bool stopped_ = false;
    bool connected_ = false;
    bool backoffHeld_ = false;
};

} // namespace dorvan::mqtt
