#pragma once

#include <QLoggingCategory>

namespace dorvan::station {

Q_DECLARE_LOGGING_CATEGORY(lcStationUi)    // dorvan.station.ui: what the window refused or showed in a box
Q_DECLARE_LOGGING_CATEGORY(lcStationStart) // dorvan.station.start: the command line, the lock, operators added

} // namespace dorvan::station
