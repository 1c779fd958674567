#pragma once

#include <QLoggingCategory>

#include <concepts>
#include <exception>
#include <utility>

// The uplink logs to standard error (the journal when it runs as a service),
// one category per area; debug messages are off unless QT_LOGGING_RULES asks.
Q_DECLARE_LOGGING_CATEGORY(lcUplink)      // dorvan.uplink: start, stop, configuration
Q_DECLARE_LOGGING_CATEGORY(lcUplinkFiles) // dorvan.uplink.files: daily files and the cursor
Q_DECLARE_LOGGING_CATEGORY(lcUplinkMqtt)  // dorvan.uplink.mqtt: the broker connection
Q_DECLARE_LOGGING_CATEGORY(lcUplinkSignals) // dorvan.uplink.signals: the signal trends published

namespace dorvan::uplink {

// An exception that escapes everything else is logged before the process
// aborts, so the journal says why the service died.
void installTerminateLog();

void logEscapedException(const char *handler, const std::exception &exception);

// A timer's, a socket's or a signal's handler that lets no exception unwind
// into Qt's event loop: it is logged, and the loop goes on.
template<typename Handler>
auto guarded(const char *name, Handler handler)
{
    // Constrained, so that Qt finds how many of a signal's arguments it takes.
    return [name, handler = std::move(handler)](auto &&...args) -> void
               requires std::invocable<const Handler &, decltype(args)...>
    {
        try {
            handler(std::forward<decltype(args)>(args)...);
        } catch (const std::exception &exception) {
            logEscapedException(name, exception);
        }
    };
}

} // namespace dorvan::uplink
