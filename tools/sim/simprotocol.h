#pragma once

#include "simsignals.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace dorvan::sim {

// One request as the console put it on the line, stuffing removed.
struct Request
{
    quint8 netCode = 0;
    quint16 address = 0;
    quint8 code = 0;
    QByteArray data;      // the bytes after the code, before the checksum
    bool crcOk = false;
    int wireBytes = 0;    // as received, stuffing bytes included
};

// Finds request frames in the byte stream from the console. The stream may
// arrive in pieces of any size; a frame cut short by a new sync pair is
// dropped and the new frame taken, as a sensor on a noisy line would.
class RequestParser
{
public:
    QList<Request> feed(QByteArrayView bytes);

private:
    void take(quint8 byte, QList<Request> &done);
    void takeStuffingCandidate(quint8 byte, QList<Request> &done);
    void append(quint8 byte);
    bool complete() const;
    void emitFrame(QList<Request> &done);
    void restartWith(quint8 byte);

    QByteArray frame_;          // unstuffed, from REQ_SYNC on
    bool stuffingPending_ = false;
    int wireBytes_ = 0;
};

// One simulated sensor: what it reports and what it was last told.
struct SimSensor
{
    quint16 address = 0;
    int model = 0;              // 0 = Дорван-301ДК, 1 = Дорван-302ДК
    bool loop1Tripped = false;
    bool loop2Tripped = false;
    quint8 faultCode = 0;       // 0 normal, else the sensor's state code (0..63)
    bool silent = false;
    // Model 0 reports threshold1 and signal1 as 16-bit integers; model 1 all four as singles.
    float threshold1 = 0;
    float threshold2 = 0;
    float signal1 = 0;
    float signal2 = 0;
    bool dcReceived = false;
    float dc1 = 0;
    float dc2 = 0;
    int polls = 0;
    int setRequests = 0;
    int unansweredRun = 0;      // requests left unanswered since it last answered
    LoopMotion motion[2];       // loop 1, loop 2; a 301's one signal moves with loop 1

    static SimSensor make(quint16 address, int model);
    quint8 statusByte() const;
    QString describe() const;
};

// Faults put on the line once, with the next reply that goes out.
struct LineFaults
{
    int noiseBytes = 0;         // garbage before the reply (never 0xB9)
    bool badCrc = false;        // the reply's checksum is wrong
    bool foreign = false;       // a reply from an unknown address goes first
    quint16 foreignAddress = 0; // 0: pick one no simulated sensor has
    int dropBytes = 0;          // the reply is cut short by this many bytes at its end
};

// What the line saw and what was done to it, for comparing a long run with
// the console's own counters and event files.
struct SimCounters
{
    qint64 requests = 0;        // request frames received, whatever their fate
    qint64 polls = 0;           // CMD_POLL requests to a simulated sensor
    qint64 setRequests = 0;     // set requests to a simulated sensor
    qint64 unanswered = 0;      // requests to a silent sensor
    qint64 replies = 0;         // the sensors' own replies put on the line
    qint64 cleanReplies = 0;    // of those, neither spoilt nor cut short
    qint64 lostReplies = 0;     // could not be written (the port was closed)
    qint64 foreignReplies = 0;
    qint64 noiseBursts = 0;
    qint64 noiseBytes = 0;
    qint64 badCrc = 0;
    qint64 drops = 0;
    qint64 trips = 0;           // a loop went from normal into alarm
    qint64 restores = 0;        // a loop went from alarm back to normal
    qint64 faults = 0;          // the state code changed to a non-zero code
    qint64 faultClears = 0;     // the state code changed back to 0
    qint64 silences = 0;        // an answering sensor fell silent
    qint64 answers = 0;         // a silent sensor answered again
    qint64 longSilences = 0;    // of those, after 9 or more unanswered requests

    // "requests=... polls=... ...", one line.
    QString text() const;
};

// The simulated sensors on one line and how they answer the console.
class SensorLine
{
public:
    struct Answer
    {
        QByteArray wire;        // empty when nothing goes on the line
        QString note;           // for the log: why, or what was sent
    };

    bool add(const SimSensor &sensor);
    bool remove(quint16 address);
    SimSensor *find(quint16 address);
    QList<SimSensor> &sensors() { return sensors_; }
    LineFaults &faults() { return faults_; }
    SimCounters &counters() { return counters_; }

    // State changes that the counters record; a command that leaves the
    // state as it was is no change.
    void setLoop(SimSensor &sensor, int loop, bool tripped);
    void setFault(SimSensor &sensor, quint8 code);
    void setSilent(SimSensor &sensor, bool silent);

    Answer answer(const Request &request);
    // The time the signals move by: the wall clock unless a test sets it.
    std::function<qint64()> clockMs;

private:
    Answer answerAs(SimSensor &sensor, const Request &request);
    void moveSignals(SimSensor &sensor);
    void followDc(SimSensor &sensor);
    QByteArray replyFrame(const Request &request, quint16 address, quint8 code,
                          QByteArrayView data);
    QByteArray statusData(const SimSensor &sensor) const;
    QByteArray withLineFaults(const Request &request, const SimSensor &sensor,
                              const QByteArray &reply, QString *note);
    QByteArray noise(int count);
    quint16 unusedAddress() const;

    QList<SimSensor> sensors_;
    LineFaults faults_;
    SimCounters counters_;
    quint32 noiseSeed_ = 0x2545F491;
    quint32 signalSeed_ = 0x9E3779B9;
};

// A one-line account of a request for the log: "poll", "set-dc-m0 dc=100", ...
QString describeRequest(const Request &request);

} // namespace dorvan::sim
