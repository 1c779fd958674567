#pragma once

#include "base/captions.h"
#include "base/workcontext.h"
#include "events/alarmlist.h"
#include "events/eventlog.h"
#include "grid/textgridmodel.h"
#include "link/frames.h"
#include "link/serialline.h"
#include "sensors/sensortable.h"
#include "trends/trendsample.h"

#include <QObject>

#include <array>

namespace dorvan {

// The six counters of one row of the diagnostics grid StringGridCOM.
struct SlotStats
{
    qint32 txBytes = 0;   // column 1 "Перед.байты"
    qint32 rxBytes = 0;   // column 2 "Прин.байты"
    qint32 txFrames = 0;  // column 3 "Число пер.пакетов"
    qint32 rxFrames = 0;  // column 4 "Число пр.пакетов"
    qint32 crcErrors = 0; // column 5 "Ошибки КС"
    qint32 timeouts = 0;  // column 6 "Тайм-ауты"
};

// The running totals of the whole line, kept (like the labels' Tags they
// stand for) as 32-bit signed counts that wrap instead of overflowing.
struct LineTotals
{
    qint32 N_tr_byte = 0;
    qint32 N_tr_frame = 0;
    qint32 N_rv_byte = 0;
    qint32 N_rv_frame = 0;
    qint32 KS_ERR = 0;
};

// Advances a counter that stands for a 32-bit label Tag: it wraps rather
// than overflows.
inline void bumpCount(qint32 &count, qint32 by = 1)
{
    count = qint32(quint32(count) + quint32(by));
}

// States of the reply receiver.
namespace Rx {
constexpr qint16 HUNT = 0;   // looking for 0xB9 0x46
constexpr qint16 HEADER = 1; // collecting bytes 2-4
constexpr qint16 LENGTH = 2; // awaiting byte 5
constexpr qint16 DATA = 3;   // collecting N bytes
constexpr qint16 CRC = 4;    // collecting the two checksum bytes
} // namespace Rx

// One accepted reply, unstuffed, copied out of the receive buffer: the
// decoder works on this copy alone, whatever the receiver does meanwhile.
struct ReplyFrame
{
    static constexpr int MaxBytes = 255 + 8; // length byte 255, header and checksum

    std::array<quint8, MaxBytes> bytes{};
    int length = 0; // the length byte N
};

// The sensor line: the port and its timers, the transmitter, the receiver,
// the polling cycle, the link statistics and the reply decoder.
class Link : public QObject
{
    Q_OBJECT

public:
    // A link is declared lost when a request goes unanswered while the
    // slot's miss count already stands at this value.
    static constexpr qint16 LINK_LOSS_MISSES = 8;

    Link(WorkContext &context, SensorTable &table, PortChoice &port, TextGridModel &sensorGrid,
         TextGridModel &comGrid, Captions &captions, EventLog &events, AlarmList &alarms,
         SerialLine &line, QObject *parent = nullptr);

    // The port.
    int Open_port(int portNumber);
    void Reopen_port();
    void ComboBox1Click();
    void closePort();
    // The end of the run: the timers stop for good and their handlers do nothing.
    void halt();
    bool halted() const { return halted_; }
    bool timer1Enabled() const { return timer1Enabled_; }
    bool timerRvEnabled() const { return timerRvEnabled_; }
    // The Windows name Open_port opens for a port number ("COM9", "//./COM10").
    static QString portDeviceName(int portNumber);

    // The three timers of the main window.
    void Timer1Timer();
    void TimerRvTimer();
    void Timer2Timer();

    int Send_Cmd1(const quint8 *data, quint16 length);

    // Drains the port and hands every good frame to Decode_reply.
    void Receive_replies();
    // Acts on an accepted frame from the slot's sensor.
    void Decode_reply(int slot, const ReplyFrame &frame);

    // After a connection: the receiver waits for a new frame, polling starts at slot 0.
    void restartPolling();
    // Statistics of the page "Диагностика".
    void Button2Click();
    void clearSlotStats(int slot);
    void showConnectedSlotStats(int slot);
    void showStoredSlotStats(int slot);
    // Empties columns 1..9 of the slot's diagnostics row (disconnection).
    void clearSlotStatsRow(int slot);

    // State, for the windows and for tests.
    int pollIndex() const { return pollIndex_; }
    int lastPolled() const { return lastPolled_; }
    bool replyPending() const { return replyPending_ != 0; }
    int rxState() const { return rxState_; }
    int rxPos() const { return rxPos_; }
    bool rxSyncSeen() const { return rxSyncSeen_ != 0; }
    const SlotStats &slotStats(int slot) const { return stats_[size_t(slot)]; }
    qint16 statsLinkShown(int slot) const { return statsLinkShown_[size_t(slot)]; }
    const LineTotals &totals() const { return totals_; }
    const RequestBuffer &requestBuffer() const { return txBuffer_; }
    int timer2Ticks() const { return timer2Tag_; }
    // Passes of the polling cycle in this run (the console's heartbeat reads it).
    quint64 passes() const { return passes_; }

    // Where every decoded status reply and every unanswered request is
    // appended for the signal trends; nothing is recorded while it is null.
    TrendBuffer *trendBuffer = nullptr;

signals:
    void timersChanged();

private:
    // Port.
    void setTimers(bool timer1, bool timerRv);
    int reopen();
    void logOpenOutcome(int portNumber, bool opened);
    void showPortState(bool opened);

    // Transmitter and line totals.
    void showTotal(const char *label, qint32 value);

    // Receiver.
    void takeByte(quint8 byte);
    void advanceFrame(quint8 byte);
    void resetReceiver();
    void acceptFrame();
    void restoreLink(int slot);
    void showReceiveTiming(qint64 frequency, qint64 counterBefore, quint32 tickBefore);

    // Polling cycle.
    void judgePreviousRequest();
    void declareLinkLost(int slot);
    void markLinkLost(int slot);
    void markLineLost();
    void sendNextRequest();

    // Decoder.
    void decodeStatus(int slot, quint8 status);
    void decodeNormalStatus(int slot, quint8 status);
    void decodeFault(int slot, qint32 code);
    void decodeLoop(int slot, int loop, bool tripped, bool firstAfterRestore);
    void decodeValues(int slot, const ReplyFrame &frame);
    void decodeModel1Values(int slot, const ReplyFrame &frame);
    void decodeModel0Values(int slot, const ReplyFrame &frame);
    quint32 rowColour(int slot) const;
    bool setRowColour(int slot, quint32 colour);
    quint32 normalColour(int slot) const;
    EventRecord logEvent(int slot, quint8 code, const QString &text);
    void raiseAlarm(const EventRecord &record);

    // Signal trends (linktrends.cpp).
    void recordTrend(int slot, bool timeout);

    // Statistics.
    void showSlotCounter(int slot, int column, qint32 value);
    void showSlotCounters(int slot);

    WorkContext &context_;
    SensorTable &table_;
    PortChoice &port_;
    TextGridModel &sensorGrid_;
    TextGridModel &comGrid_;
    Captions &captions_;
    EventLog &events_;
    AlarmList &alarms_;
    SerialLine &line_;
    bool timer1Enabled_ = false;
    bool timerRvEnabled_ = false;
    bool portTried_ = false; // the handle is no longer 0
    bool halted_ = false;
    quint64 passes_ = 0;
    int timer2Tag_ = 0;
    QString lastOpenFailure_; // logged last; empty while the port opens

    // Transmitter and polling cycle.
    RequestBuffer txBuffer_;
    quint16 pollIndex_ = 0;
    qint16 lastPolled_ = 0;
    qint16 replyPending_ = 0;
    quint32 requestSentMs_ = 0; // tick of the last request, for the reply time

    // Receiver.
    std::array<quint8, Frame::SIZE_RV_BUF> rxBuf_{};
    quint16 rxPos_ = 0;
    qint16 rxSyncSeen_ = 0;
    qint16 rxState_ = Rx::HUNT;
    qint16 rxSkipNext_ = 0;
    qint16 rxLength_ = 0;
    qint16 rxFrameBytes_ = 0;
    int label35Tag_ = 0;
    int timingTicks_ = 0;
    qint64 maxMicroseconds_ = 0;
    quint32 maxMilliseconds_ = 0;

    // Statistics.
    LineTotals totals_;
    qint32 shownRvBytes_ = 0;
    std::array<SlotStats, SlotCount> stats_{};
    std::array<qint16, SlotCount> statsLinkShown_{};

    // Decoder: set when a link comes back, cleared by the next status reply.
    std::array<bool, SlotCount> awaitingFirstStatus_{};
};

} // namespace dorvan
