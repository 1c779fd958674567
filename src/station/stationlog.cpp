#include "station/stationlog.h"

Q_LOGGING_CATEGORY(lcStation, "dorvan.station", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStationMqtt, "dorvan.station.mqtt", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStationIntake, "dorvan.station.intake", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStationJournal, "dorvan.station.journal", QtInfoMsg)
