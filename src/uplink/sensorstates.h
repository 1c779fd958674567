#pragma once

#include "uplink/eventmessage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <map>
#include <optional>

namespace dorvan::uplink {

// What the events of a console tell about one sensor. The console logs
// changes only (a trip of a disarmed loop is not logged at all), so a part
// that no event has told yet is Unknown.
struct SensorState
{
    enum class Link { Unknown, Up, Lost };
    enum class Loop { Unknown, Disarmed, Normal, Alarm };

    qint32 address = 0;
    int model = -1; // -1 until an event names it
    Link link = Link::Unknown;
    Loop loops[2] = {Loop::Unknown, Loop::Unknown};
    QString fault;       // text of the fault in force, empty when none
    int faultCode = -1;
    double changedAt = 0; // day count of the event that changed it last
    QString changedBy;    // id of that event

    friend bool operator==(const SensorState &, const SensorState &) = default;
};

// The sensors of one console, derived event by event the way the console's
// own grid follows them.
class SensorStates
{
public:
    struct Change
    {
        qint32 address = 0;
        bool added = false;   // first heard of (connected, or first event seen)
        bool removed = false; // disconnected
    };

    // Applies one record; returns the sensors whose state changed.
    QList<Change> apply(const StampedRecord &stamped);

    // The model to report with an event: the one its text names, or for the
    // fault texts (which name a fixed model) the one known for the sensor.
    int modelFor(const StampedRecord &stamped) const;

    const std::map<qint32, SensorState> &sensors() const { return sensors_; }
    const SensorState *find(qint32 address) const;

    // The form kept in the cursor file, and back; nullopt for a damaged form.
    QJsonArray toJson() const;
    static std::optional<SensorStates> fromJson(const QJsonArray &array);

private:
    std::map<qint32, SensorState> sensors_;
};

// The retained payload of <prefix>/<site>/sensor/<address>/state.
QByteArray statePayload(const SensorState &state, const QString &site, const QTimeZone &zone);

} // namespace dorvan::uplink
