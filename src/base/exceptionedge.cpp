#include "base/exceptionedge.h"

#include <atomic>
#include <cstdlib>

namespace dorvan {

namespace {

// The terminate handler is one per process; so is the category it logs to.
std::atomic<LogCategory> terminateCategory{nullptr};

[[noreturn]] void logAndAbort()
{
    const char *what = "no exception in flight";
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception &exception) {
            what = exception.what();
        } catch (...) {
            what = "an exception of an unknown type";
        }
    }
    if (const LogCategory category = terminateCategory.load())
        qCCritical(category).noquote() << QStringLiteral("terminating: %1").arg(QString::fromLocal8Bit(what));
    std::abort();
}

} // namespace

void installTerminateLog(LogCategory category)
{
    terminateCategory.store(category);
    std::set_terminate(logAndAbort);
}

void logEscapedException(LogCategory category, const char *handler, const std::exception &exception)
{
    qCCritical(category).noquote() << QStringLiteral("%1: %2; going on")
                                          .arg(QLatin1String(handler), QString::fromLocal8Bit(exception.what()));
}

} // namespace dorvan
