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

    bool operator==(const SensorModel &) const = default;
};

// One course the console may have taken, with the events it gives.
struct Option
{
    QString course; // "link lost", "link kept", ...
    QList<Event> events;
};

// A silent spell whose length left the loss uncertain: the console may have
// declared the link lost or not, and each course gives its own events until
// the two come together again. The console must have taken one of them.
struct Alternative
{
    QString what;          // the spell, for the report
    QList<Option> options; // most events first
};

// What the console's files bear out against the expected events.
struct Verdict
{
    QList<Event> missing;
    QList<Event> invented;
    QStringList courses; // for each uncertain spell, the course the console took
};

// Certain events must each be logged once; of each alternative, the course
// the files bear out best is taken (the loss when all its events are there,
// no loss when none are), and only what it does not explain counts as
// missing or invented.
Verdict judge(const QList<Event> &certain, const QList<Alternative> &alternatives, const QList<Event> &logged);

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

    // The events the console surely owes.
    const QList<Event> &events() const { return events_; }
    // Silent spells whose length left the loss uncertain, with the events of
    // both courses.
    const QList<Alternative> &uncertain() const { return alternatives_; }
    bool knows(qint32 address) const { return sensors_.contains(address); }

private:
    // One course the console may have taken, with its events since the
    // courses parted.
    struct Course
    {
        SensorModel model;
        Option taken;
    };
    // A sensor: one course while the console's is known, two after an
    // uncertain spell until they meet again.
    struct Track
    {
        QList<Course> courses;
        QString spell; // the uncertain spell that parted them
    };
    enum class Answer { Silent, Spoilt, CutShort, Answered };

    // Splits off, for every course whose silence is uncertain, the course in
    // which the console declared the link lost.
    void part(Track &t);
    void step(Course &c, Answer answer, int status);
    // Once the courses are in the same state (or at the end of the log,
    // `force`), their events become certain, when alike, or an alternative.
    void join(Track &t, bool force);
    void reply(Course &c, quint8 status);
    void endSilence(Course &c);
    void loseLink(Course &c);
    void decodeStatus(Course &c, quint8 status);
    void decodeLoop(Course &c, int loop, bool tripped);
    void log(Course &c, int code, const QString &text);

    QMap<qint32, Track> sensors_;
    QList<Event> events_;
    QList<Alternative> alternatives_;
};

// The model name in event texts.
QString modelText(int model);

} // namespace dorvan::soak
