#include "uplink/uplinklog.h"

Q_LOGGING_CATEGORY(lcUplink, "dorvan.uplink", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUplinkFiles, "dorvan.uplink.files", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUplinkMqtt, "dorvan.uplink.mqtt", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUplinkSignals, "dorvan.uplink.signals")
