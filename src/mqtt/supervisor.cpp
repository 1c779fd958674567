#include "mqtt/supervisor.h"

#include <QLoggingCategory>

namespace dorvan::mqtt {

Supervisor::Supervisor(Transport &transport, Message will, LogCategory category, QObject *parent)
    : QObject(parent), transport_(transport), will_(std::move(will)), category_(category)
{
    connect(&transport_, &Transport::connected, this, guarded(category_, "connected", [this] { onConnected(); }));
    connect(&transport_, &Transport::failed, this,
            guarded(category_, "connection failed", [this](const QString &reason) { onFailed(reason); }));
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, guarded(category_, "retry timer", [this] { start(); }));
}

void Supervisor::start()
{
    stopped_ = false;
    transport_.open(will_);
}

void Supervisor::stop()
{
    stopped_ = true;
    retryTimer_.stop();
}

void Supervisor::reopen(const QString &reason)
{
    transport_.close();
    onFailed(reason);
}

void Supervisor::onConnected()
{
    if (stopped_)
        return;
    retryTimer_.stop();
    connected_ = true;
    if (!backoffHeld_)
        backoff_.reset();
    emit connected();
}

void Supervisor::onFailed(const QString &reason)
{
    connected_ = false;
    emit lost(reason);
    if (stopped_)
        return;
    const int wait = backoff_.nextWaitMs();
    qCWarning(category_).noquote() << reason + QStringLiteral("; retrying in %1 s").arg(wait / 1000.0, 0, 'f', 1);
    retryTimer_.start(wait);
}

} // namespace dorvan::mqtt
