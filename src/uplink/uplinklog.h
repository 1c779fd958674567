#pragma once

#include <QLoggingCategory>

// The uplink logs to standard error (the journal when it runs as a service),
// one category per area; debug messages are off unless QT_LOGGING_RULES asks.
Q_DECLARE_LOGGING_CATEGORY(lcUplink)      // dorvan.uplink: start, stop, configuration
Q_DECLARE_LOGGING_CATEGORY(lcUplinkFiles) // dorvan.uplink.files: daily files and the cursor
Q_DECLARE_LOGGING_CATEGORY(lcUplinkMqtt)  // dorvan.uplink.mqtt: the broker connection
Q_DECLARE_LOGGING_CATEGORY(lcUplinkSignals) // dorvan.uplink.signals: the signal trends published
