#include "link/link.h"

#include "base/exceptionedge.h"
#include "base/log.h"

namespace dorvan {

Link::Link(WorkContext &context, SensorTable &table, PortChoice &port, SensorRows &rows,
           TextGridModel &comGrid, Captions &captions, EventSink &events, SerialLine &line,
           QObject *parent)
    : QObject(parent), context_(context), table_(table), portChoice_(port),
      port_(line, port, captions), statistics_(table, comGrid, captions, context.clock),
      poller_(table, line, statistics_, context.faults, context.clock),
      decoder_(table, rows, events, context.clock), line_(line)
{
    connect(&port_, &LinePort::timersChanged, this, &Link::timersChanged);
    connectTimers();
}

// --- The timers -----------------------------------------------------------

void Link::connectTimers()
{
    Timer1.setInterval(100);
    TimerRv.setInterval(5);
    Timer2.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, guarded(lcConsole, "Timer1Timer", [this] { Timer1Timer(); }));
    connect(&TimerRv, &QTimer::timeout, this, guarded(lcConsole, "TimerRvTimer", [this] { TimerRvTimer(); }));
    connect(&Timer2, &QTimer::timeout, this, guarded(lcConsole, "Timer2Timer", [this] { Timer2Timer(); }));
    connect(&port_, &LinePort::timersChanged, this, &Link::applyTimers);
}

void Link::run()
{
    if (port_.halted() || running_)
        return;
    running_ = true;
    applyTimers();
    Timer2.start();
}

// The port decides when polling and receiving run: only while it is open.
void Link::applyTimers()
{
    if (!running_)
        return;
    const auto follow = [](QTimer &timer, bool enabled) {
        if (enabled && !timer.isActive())
            timer.start();
        else if (!enabled)
            timer.stop();
    };
    follow(Timer1, port_.timer1Enabled());
    follow(TimerRv, port_.timerRvEnabled());
}

void Link::halt()
{
    port_.halt();
    running_ = false;
    Timer1.stop();
    TimerRv.stop();
    Timer2.stop();
}

// --- The port -------------------------------------------------------------

int Link::Open_port(int portNumber)
{
    if (port_.halted())
        return 0;
    if (!port_.open(portNumber)) {
        markLineLost();
        return 0;
    }
    // A request sent before the reopen is not to be judged a time-out.
    poller_.forgetPendingReply();
    return 1;
}

int Link::reopen()
{
    port_.closeForReopen();
    return Open_port(portChoice_.portNumber());
}

void Link::Reopen_port()
{
    // The status bar follows the port here too, so that it never says
    // " включён" of an adapter that has been unplugged.
    port_.showState(reopen() == 1);
}

void Link::Timer2Timer()
{
    if (port_.halted())
        return;
    const QDateTime now = context_.clock.now();
    port_.showClock(now);
    ++timer2Tag_;
    // The port is closed and reopened every fourth second whether or not it
    // works: after a failed open this is the only retry.
    if (timer2Tag_ % 4 == 0)
        Reopen_port();
}

// --- Receiving ------------------------------------------------------------

void Link::TimerRvTimer()
{
    if (port_.halted())
        return;
    const LineStatistics::Timing timing = statistics_.startTiming();
    Receive_replies();
    statistics_.finishTiming(timing);
}

void Link::Receive_replies()
{
    // No request goes out while the port is drained.
    const ExpectedReply expected = poller_.expectedReply();
    quint8 byte = 0;
    while (line_.readByte(byte))
        takeByte(byte, expected);
    statistics_.showReceivedBytes();
}

void Link::takeByte(quint8 byte, const ExpectedReply &expected)
{
    statistics_.countReceivedByte();
    const ReceivedByte received = receiver_.take(byte, expected);
    switch (received.outcome) {
    case ReceivedByte::Outcome::Nothing:
        return;
    case ReceivedByte::Outcome::HeaderRejected:
        poller_.forgetPendingReply();
        return;
    case ReceivedByte::Outcome::FrameComplete:
        poller_.forgetPendingReply();
        acceptFrame(received);
        return;
    }
}

void Link::acceptFrame(const ReceivedByte &received)
{
    const int slot = table_.Find_sensor(received.address);
    if (slot < 0)
        return;
    statistics_.countFrameBytes(slot, received.lineBytes);
    if (!received.checksumOk) {
        statistics_.countChecksumError(slot);
        return;
    }
    if (table_[slot].linkUp == 0) {
        statistics_.showLinkUp(slot);
        decoder_.restoreLink(slot);
    }
    table_.missedReplies[size_t(slot)] = 0;
    statistics_.countFrame(slot);
    Decode_reply(slot, receiver_.frame());
}

void Link::Decode_reply(int slot, const ReplyFrame &frame)
{
    if (decoder_.Decode_reply(slot, frame))
        recordTrend(slot, false);
}

void Link::restartPolling()
{
    receiver_.restart();
    poller_.restart();
}

// --- Polling --------------------------------------------------------------

void Link::Timer1Timer()
{
    if (port_.halted())
        return;
    poller_.countPass();
    judgePreviousRequest();
    poller_.sendNextRequest();
}

void Link::judgePreviousRequest()
{
    const Poller::Unanswered unanswered = poller_.judgePreviousRequest();
    const int slot = unanswered.slot;
    if (slot < 0)
        return;
    if (unanswered.linkLost) {
        markLinkLost(slot);
        // A silent line may be a port gone bad: open it afresh.
        Reopen_port();
    }
    ++table_.missedReplies[size_t(slot)];
    recordTrend(slot, true);
    statistics_.countTimeout(slot);
}

void Link::markLinkLost(int slot)
{
    poller_.forgetPendingReply();
    const bool announced = statistics_.linkShownUp(slot);
    if (announced)
        statistics_.showLinkLost(slot);
    decoder_.loseLink(slot, announced);
}

// With the port gone, polling stops until a reopen succeeds, and no sensor
// would ever reach its ninth miss: every sensor that had a link loses it now,
// so the operator sees the dead line instead of the last states it reported.
void Link::markLineLost()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (table_.occupied(slot) && (table_[slot].linkUp == 1 || statistics_.linkShownUp(slot)))
            markLinkLost(slot);
    }
}

} // namespace dorvan
