#pragma once

#include "base/clock.h"
#include "base/linepasses.h"
#include "base/faultreporter.h"
#include "link/frames.h"
#include "link/linestatistics.h"
#include "link/receiver.h"
#include "link/serialline.h"
#include "sensors/sensortable.h"

namespace dorvan {

// The polling cycle and the transmitter: one request per Timer1 tick to the
// next occupied slot, the request in flight and the reply it awaits.
class Poller
{
public:
    Poller(SensorTable &table, SerialLine &line, LineStatistics &statistics, FaultReporter &faults,
           Clock &clock);

    // The request judged at a tick: its slot, or -1 when no reply was
    // awaited (or the slot was emptied since); whether the miss that this
    // time-out adds is the one too many.
    struct Unanswered
    {
        int slot = -1;
        bool linkLost = false;
    };
    static constexpr qint16 LINK_LOSS_MISSES = 8;
    Unanswered judgePreviousRequest() const;

    void countPass()
    {
        ++passes_;
        lastPassUtcMs_ = clock_.nowUtcMs();
    }
    // Sends the request of the next occupied slot; a tick with none ends the pass.
    void sendNextRequest();
    int Send_Cmd1(const quint8 *data, quint16 length);

    // The awaited reply came, was refused, or will never come.
    void forgetPendingReply() { replyPending_ = 0; }
    // After a connection: polling starts again at slot 0.
    void restart() { pollIndex_ = 0; }

    ExpectedReply expectedReply() const { return {txBuffer_.expectedNetCode, txBuffer_.expectedAddress}; }
    int pollIndex() const { return pollIndex_; }
    int lastPolled() const { return lastPolled_; }
    bool replyPending() const { return replyPending_ != 0; }
    const RequestBuffer &requestBuffer() const { return txBuffer_; }
    quint32 requestSentMs() const { return requestSentMs_; }
    // Passes of the polling cycle in this run and the wall-clock time of the
    // last one (the console's heartbeat reads them).
    LinePasses passes() const { return {passes_, lastPassUtcMs_}; }

private:
    SensorTable &table_;
    SerialLine &line_;
    LineStatistics &statistics_;
    FaultReporter &faults_;
    Clock &clock_;

    RequestBuffer txBuffer_;
    quint16 pollIndex_ = 0;
    qint16 lastPolled_ = 0;
    qint16 replyPending_ = 0;
    quint32 requestSentMs_ = 0; // tick of the last request, for the reply time
    quint64 passes_ = 0;
    qint64 lastPassUtcMs_ = 0;
};

} // namespace dorvan
