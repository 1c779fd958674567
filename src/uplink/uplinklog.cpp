#include "uplink/uplinklog.h"

#include <cstdlib>

Q_LOGGING_CATEGORY(lcUplink, "dorvan.uplink", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUplinkFiles, "dorvan.uplink.files", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUplinkMqtt, "dorvan.uplink.mqtt", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUplinkSignals, "dorvan.uplink.signals")

namespace dorvan::uplink {

namespace {

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
    qCCritical(lcUplink).noquote() << QStringLiteral("terminating: %1").arg(QString::fromLocal8Bit(what));
    std::abort();
}

} // namespace

void installTerminateLog()
{
    std::set_terminate(logAndAbort);
}

void logEscapedException(const char *handler, const std::exception &exception)
{
    qCCritical(lcUplink).noquote() << QStringLiteral("%1: %2; going on")
                                          .arg(QLatin1String(handler), QString::fromLocal8Bit(exception.what()));
}

} // namespace dorvan::uplink
