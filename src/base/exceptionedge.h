#pragma once

#include <QLoggingCategory>

#include <concepts>
#include <exception>
#include <utility>

namespace dorvan {

// An exception must never unwind through Qt's event loop. Handlers called by
// a timer, a socket or a signal are wrapped by guarded(); what still escapes
// is logged by the terminate handler before the process aborts, so the log
// says why the program died.
using LogCategory = const QLoggingCategory &(*)();

void installTerminateLog(LogCategory category);
void logEscapedException(LogCategory category, const char *handler, const std::exception &exception);

// The handler, made to log an exception under its name and let the loop go on.
template<typename Handler>
auto guarded(LogCategory category, const char *name, Handler handler)
{
    // Constrained, so that Qt finds how many of a signal's arguments it takes.
    return [category, name, handler = std::move(handler)](auto &&...args) -> void
               requires std::invocable<const Handler &, decltype(args)...>
    {
        try {
            handler(std::forward<decltype(args)>(args)...);
        } catch (const std::exception &exception) {
            logEscapedException(category, name, exception);
        }
    };
}

} // namespace dorvan
