#pragma once

#include "base/captions.h"
#include "base/workcontext.h"
#include "events/eventsink.h"
#include "link/decoder.h"
#include "link/linestatistics.h"
#include "link/lineport.h"
#include "link/poller.h"
#include "link/receiver.h"
#include "link/serialline.h"
#include "sensors/sensorrows.h"
#include "sensors/sensortable.h"
#include "trends/trendsample.h"

#include <QObject>
#include <QTimer>

namespace dorvan {

class TextGridModel;

// The sensor line, wired from its parts: the port, the poller with the
// transmitter, the receiver, the line statistics and the decoder, and the
// three timers that drive them. Its handlers call the parts in the order a
// reply byte takes:
//
//   TimerRvTimer -> Receive_replies -> Receiver::take -> (frame) statistics,
//   link restored?, Decode_reply -> Decoder -> SensorRows, EventSink
//   Timer1Timer  -> Poller::judgePreviousRequest (time-out, link lost?)
//                -> Poller::sendNextRequest -> Send_Cmd1 -> SerialLine
class Link : public QObject
{
    Q_OBJECT

public:
    static constexpr qint16 LINK_LOSS_MISSES = Poller::LINK_LOSS_MISSES;

    Link(WorkContext &context, SensorTable &table, PortChoice &port, SensorRows &rows,
         TextGridModel &comGrid, Captions &captions, EventSink &events, SerialLine &line,
         QObject *parent = nullptr);

    // The port.
    int Open_port(int portNumber);
    void Reopen_port();
    void ComboBox1Click() { Reopen_port(); }
    void closePort() { port_.close(); }
    // From now on the line's own timers call its handlers: Timer2 every
    // second, Timer1 and TimerRv while the port is open. Until then (and in
    // tests) whoever drives the line calls the handlers.
    void run();
    bool running() const { return running_; }
    // The end of the run: the timers stop for good and their handlers do nothing.
    void halt();
    bool halted() const { return port_.halted(); }
    bool timer1Enabled() const { return port_.timer1Enabled(); }
    bool timerRvEnabled() const { return port_.timerRvEnabled(); }
    static QString portDeviceName(int portNumber) { return LinePort::deviceName(portNumber); }

    // The handlers of the three timers.
    void Timer1Timer();
    void TimerRvTimer();
    void Timer2Timer();

    int Send_Cmd1(const quint8 *data, quint16 length) { return poller_.Send_Cmd1(data, length); }
    // Drains the port and hands every good frame to Decode_reply.
    void Receive_replies();
    // Acts on an accepted frame from the slot's sensor.
    void Decode_reply(int slot, const ReplyFrame &frame);

    // After a connection: the receiver waits for a new frame, polling starts at slot 0.
    void restartPolling();

    // The parts, for the windows and for tests.
    const Receiver &receiver() const { return receiver_; }
    const Poller &poller() const { return poller_; }
    LineStatistics &statistics() { return statistics_; }
    const LineStatistics &statistics() const { return statistics_; }
    int timer2Ticks() const { return timer2Tag_; }
    // Passes of the polling cycle and the time of the last (the console's heartbeat reads them).
    LinePasses passes() const { return poller_.passes(); }

    // Where every decoded status reply and every unanswered request is
    // appended for the signal trends; nothing is recorded while it is null.
    TrendBuffer *trendBuffer = nullptr;

    QTimer Timer1;  // 100 ms: the polling cycle
    QTimer TimerRv; // 5 ms, while the port is open: the receiver
    QTimer Timer2;  // 1 s: the clock labels and the port's reopen every fourth tick

signals:
    void timersChanged();

private:
    void connectTimers();
    void applyTimers();
    int reopen();
    void takeByte(quint8 byte, const ExpectedReply &expected);
    void acceptFrame(const ReceivedByte &received);
    void judgePreviousRequest();
    void markLinkLost(int slot);
    void markLineLost();
    void recordTrend(int slot, bool timeout);

    WorkContext &context_;
    SensorTable &table_;
    PortChoice &portChoice_;
    LinePort port_;
    LineStatistics statistics_;
    Poller poller_;
    Receiver receiver_;
    Decoder decoder_;
    SerialLine &line_;
    int timer2Tag_ = 0;
    bool running_ = false;
};

} // namespace dorvan
