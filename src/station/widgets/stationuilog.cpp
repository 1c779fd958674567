#include "station/widgets/stationuilog.h"

namespace dorvan::station {

Q_LOGGING_CATEGORY(lcStationUi, "dorvan.station.ui")
Q_LOGGING_CATEGORY(lcStationStart, "dorvan.station.start")

} // namespace dorvan::station
