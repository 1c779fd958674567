#pragma once

#include "base/exceptionedge.h"

#include <QLoggingCategory>

#include <utility>

// The station logs to standard error, one category per area.
Q_DECLARE_LOGGING_CATEGORY(lcStation)        // dorvan.station: start, stop, configuration, operators
Q_DECLARE_LOGGING_CATEGORY(lcStationMqtt)    // dorvan.station.mqtt: the broker connection
Q_DECLARE_LOGGING_CATEGORY(lcStationIntake)  // dorvan.station.intake: bad input, gaps, liveness
Q_DECLARE_LOGGING_CATEGORY(lcStationJournal) // dorvan.station.journal: the database

namespace dorvan::station {

template<typename Handler>
auto guarded(const char *name, Handler handler)
{
    return dorvan::guarded(lcStation, name, std::move(handler));
}

} // namespace dorvan::station
