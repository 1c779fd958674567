#pragma once

// The events a long run against dorvan-sim must have produced, worked out
// from the simulator's request log alone: which status each sensor answered,
// which replies went out spoilt, and how long each sensor stayed silent.
// A model of the console's decoding rules turns that into expected events,
// which are then compared with the event files the console wrote.

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace dorvan::soak {

struct Event
{
    qint32 address = 0;
    int code = 0;
    QString text;
    bool operator==(const Event &) const = default;
};

inline size_t qHash(const Event &e, size_t seed = 0)
{
    return ::qHash(e.text, seed) ^ size_t(e.address) ^ size_t(e.code << 20);
}

// The console's view of one sensor, as far as events depend on it.
struct SensorModel
{
    enum class Colour { Normal, Alarm, NoLink };
    qint32 address = 0;
    int model = 0;
    bool armed1 = true;
    bool armed2 = true;
    // As a normal shutdown leaves a sensor's record: no link, both loops in alarm.
    int state = 15;
    bool alarm1 = true;
    bool alarm2 = true;
    Colour colour = Colour::NoLink;
    bool announced = false;
    int misses = 0;        // requests the console judged unanswered since the last good reply
};

class ExpectedEvents
{
public:
    // Requests unanswered in a row at which the console surely declared the
    // link lost, and below which it surely did not. The console declares it
    // at the 9th; a port reopen while a request is in flight leaves that
    // request unjudged, so 9 to 11 silent requests are no certain loss.
    static constexpr int SureLoss = 12;
    static constexpr int SureNoLoss = 8;

    void addSensor(qint32 address, int model);
    // One line of the simulator's log; lines that are not requests are skipped.
    void takeLogLine(const QString &line);
    // The end of the log: a sensor still silent long enough has lost its link.
    void finish();

    const QList<Event> &events() const { return events_; }
    // Silent spells whose length left the loss uncertain, one text each.
    const QStringList &uncertain() const { return uncertain_; }
    bool knows(qint32 address) const { return sensors_.contains(address); }

private:
    void reply(SensorModel &s, quint8 status);
    void endSilence(SensorModel &s);
    void loseLink(SensorModel &s);
    void decodeStatus(SensorModel &s, quint8 status);
    void decodeLoop(SensorModel &s, int loop, bool tripped);
    void log(const SensorModel &s, int code, const QString &text);

    QMap<qint32, SensorModel> sensors_;
    QList<Event> events_;
    QStringList uncertain_;
};

// The model name in event texts.
QString modelText(int model);

} // namespace dorvan::soak
