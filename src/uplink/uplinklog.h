#pragma once

#include "base/exceptionedge.h"

#include <QLoggingCategory>

#include <utility>

// The uplink logs to standard error (the journal when it runs as a service),
// one category per area; debug messages are off unless QT_LOGGING_RULES asks.
Q_DECLARE_LOGGING_CATEGORY(lcUplink)      // dorvan.uplink: start, stop, configuration
Q_DECLARE_LOGGING_CATEGORY(lcUplinkFiles) // dorvan.uplink.files: daily files and the cursor
Q_DECLARE_LOGGING_CATEGORY(lcUplinkMqtt)  // dorvan.uplink.mqtt: the broker connection
Q_DECLARE_LOGGING_CATEGORY(lcUplinkSignals) // dorvan.uplink.signals: the signal trends published

namespace dorvan::uplink {

// The exception edge of the uplink's handlers; see base/exceptionedge.h.
inline void installTerminateLog()
{
    dorvan::installTerminateLog(lcUplink);
}

template<typename Handler>
auto guarded(const char *name, Handler handler)
{
    return dorvan::guarded(lcUplink, name, std::move(handler));
}

} // namespace dorvan::uplink
