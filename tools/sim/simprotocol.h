#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

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

    Answer answer(const Request &request);

private:
    Answer answerAs(SimSensor &sensor, const Request &request);
    QByteArray replyFrame(const Request &request, quint16 address, quint8 code,
                          QByteArrayView data);
    QByteArray statusData(const SimSensor &sensor) const;
    QByteArray withLineFaults(const Request &request, const SimSensor &sensor,
                              const QByteArray &reply);
    QByteArray noise(int count);
    quint16 unusedAddress() const;

    QList<SimSensor> sensors_;
    LineFaults faults_;
    quint32 noiseSeed_ = 0x2545F491;
};

// Removes the reply stuffing: the byte after every 0xB6 or 0xB9 from offset 2 on.
QByteArray unstuffReply(QByteArrayView wire);

// A one-line account of a request for the log: "poll", "set-dc-m0 dc=100", ...
QString describeRequest(const Request &request);

} // namespace dorvan::sim
