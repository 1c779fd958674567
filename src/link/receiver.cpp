#include "link/link.h"

#include <algorithm>

namespace dorvan {

namespace {

constexpr int HeaderBytes = 5;  // sync, mark, net code, address
constexpr int LengthIndex = 5;  // the length byte N
constexpr int LinkColumn = 7;   // StringGridCOM "Связь"
constexpr int RxBytesColumn = 2;
constexpr int RxFramesColumn = 4;
constexpr int CrcErrorsColumn = 5;

} // namespace

void Link::TimerRvTimer()
{
    if (halted_)
        return;
    const qint64 frequency = context_.clock.counterFrequency();
    if (frequency <= 0 && label35Tag_ != 1) {
        captions_.set(QStringLiteral("Label35"), QStringLiteral("Измерение невозможно"));
        label35Tag_ = 1;
    }
    const qint64 counterBefore = context_.clock.counter();
    const quint32 tickBefore = context_.clock.tickMs();
    Receive_replies();
    showReceiveTiming(frequency, counterBefore, tickBefore);
}

void Link::showReceiveTiming(qint64 frequency, qint64 counterBefore, quint32 tickBefore)
{
    const qint64 counts = qMax<qint64>(0, context_.clock.counter() - counterBefore);
    const quint32 milliseconds = context_.clock.tickMs() - tickBefore;
    if (frequency > 0) {
        // Split so that the multiplication cannot overflow for any span.
        const qint64 microseconds =
            counts / frequency * 1000000 + counts % frequency * 1000000 / frequency;
        maxMicroseconds_ = qMax(maxMicroseconds_, microseconds);
    }
    maxMilliseconds_ = qMax(maxMilliseconds_, milliseconds);
    if (++timingTicks_ < 5)
        return;
    if (frequency > 0)
        captions_.set(QStringLiteral("Label35"), QString::number(maxMicroseconds_));
    captions_.set(QStringLiteral("Label37"), QString::number(maxMilliseconds_));
    maxMicroseconds_ = 0;
    maxMilliseconds_ = 0;
    timingTicks_ = 0;
}

void Link::Receive_replies()
{
    quint8 byte = 0;
    while (line_.readByte(byte))
        takeByte(byte);
    // The count goes on per byte; its caption is refreshed once per drain.
    if (shownRvBytes_ != totals_.N_rv_byte) {
        shownRvBytes_ = totals_.N_rv_byte;
        showTotal("N_rv_byte", totals_.N_rv_byte);
    }
}

void Link::takeByte(quint8 byte)
{
    bumpCount(totals_.N_rv_byte);
    if (rxSkipNext_) {
        // The stuffing byte after a 0xB6/0xB9 is dropped whatever its value.
        rxSkipNext_ = 0;
        ++rxFrameBytes_;
        return;
    }
    if (rxState_ != Rx::HUNT && (byte == Frame::REQ_SYNC || byte == Frame::RPL_SYNC))
        rxSkipNext_ = 1;
    rxBuf_[rxPos_] = byte;
    if (++rxPos_ >= Frame::SIZE_RV_BUF)
        rxPos_ = 0;
    advanceFrame(byte);
}

void Link::advanceFrame(quint8 byte)
{
    switch (rxState_) {
    case Rx::HUNT:
        if (!rxSyncSeen_) {
            if (rxBuf_[0] == Frame::RPL_SYNC)
                rxSyncSeen_ = 1;
            else
                rxPos_ = 0;
            rxFrameBytes_ = 1;
        } else {
            // A second 0xB9 does not start a frame: both are dropped.
            if (rxBuf_[1] == Frame::RPL_MARK)
                rxState_ = Rx::HEADER;
            else
                rxPos_ = 0;
            rxSyncSeen_ = 0;
            rxFrameBytes_ = 2;
        }
        break;
    case Rx::HEADER:
        if (rxPos_ < HeaderBytes)
            break;
        if (rxBuf_[2] == txBuffer_.expectedNetCode
            && quint16(rxBuf_[3] | rxBuf_[4] << 8) == txBuffer_.expectedAddress) {
            rxState_ = Rx::LENGTH;
            rxFrameBytes_ += 3;
        } else {
            resetReceiver();
        }
        break;
    case Rx::LENGTH:
        if (rxPos_ < LengthIndex + 1)
            break;
        rxLength_ = byte;
        rxState_ = Rx::DATA;
        rxFrameBytes_ += 1;
        break;
    case Rx::DATA:
        if (rxPos_ >= rxLength_ + 6) {
            rxState_ = Rx::CRC;
            rxFrameBytes_ += rxLength_;
        }
        break;
    case Rx::CRC:
        if (rxPos_ >= rxLength_ + 8) {
            replyPending_ = 0;
            rxFrameBytes_ += 2;
            acceptFrame();
        }
        break;
    default:
        resetReceiver();
        break;
    }
}

void Link::resetReceiver()
{
    // rxSkipNext_ survives: a stuffing byte after a final 0xB6/0xB9 is still dropped.
    rxState_ = Rx::HUNT;
    rxPos_ = 0;
    rxSyncSeen_ = 0;
    replyPending_ = 0;
    rxFrameBytes_ = 0;
}

void Link::acceptFrame()
{
    // The length byte is at most 255, so the frame (263 bytes at most) lies
    // inside the buffer and none of these indices wraps.
    const int n = rxLength_;
    const quint16 computed = Calc_crc(rxBuf_.data(), qint16(n + 6));
    const quint16 received = quint16(rxBuf_[size_t(n + 6)] | rxBuf_[size_t(n + 7)] << 8);
    const int slot = table_.Find_sensor(quint16(rxBuf_[3] | rxBuf_[4] << 8));
    if (slot < 0) {
        resetReceiver();
        return;
    }
    SlotStats &stats = stats_[size_t(slot)];
    bumpCount(stats.rxBytes, rxFrameBytes_);
    showSlotCounter(slot, RxBytesColumn, stats.rxBytes);
    if (computed != received) {
        bumpCount(stats.crcErrors);
        showSlotCounter(slot, CrcErrorsColumn, stats.crcErrors);
        bumpCount(totals_.KS_ERR);
        showTotal("KS_ERR", totals_.KS_ERR);
        resetReceiver();
        return;
    }
    if (table_[slot].linkUp == 0)
        restoreLink(slot);
    table_.missedReplies[size_t(slot)] = 0;
    bumpCount(totals_.N_rv_frame);
    showTotal("N_rv_frame", totals_.N_rv_frame);
    bumpCount(stats.rxFrames);
    showSlotCounter(slot, RxFramesColumn, stats.rxFrames);
    ReplyFrame frame;
    frame.length = n;
    std::copy_n(rxBuf_.cbegin(), n + 8, frame.bytes.begin());
    // The receiver is ready for the next frame before the decoder logs
    // events and raises alarms.
    resetReceiver();
    Decode_reply(slot, frame);
}

void Link::restoreLink(int slot)
{
    SensorRecord &r = table_[slot];
    r.linkUp = 1;
    awaitingFirstStatus_[size_t(slot)] = true;
    comGrid_.setCell(LinkColumn, slot + 1, QStringLiteral("Есть связь"));
    statsLinkShown_[size_t(slot)] = 1;
    logEvent(slot, EventCode::LinkRestored,
             QStringLiteral("Восстановлена связь с датчиком <%1> № %2")
                 .arg(modelName(r.model))
                 .arg(r.address));
    // The sensor may have lost its DC component while it was away. DC
    // components lost with a damaged file are not sent: the sensor keeps its
    // own until the operator sets them.
    if (table_.storedRecord[size_t(slot)] == StoredRecord::Damaged)
        return;
    if (r.model == 0)
        r.pendingRequest = Request::SetDcModel0;
    else if (r.model == 1)
        r.pendingRequest = Request::SetDcModel1;
}

void Link::restartPolling()
{
    rxState_ = Rx::HUNT;
    rxPos_ = 0;
    rxSyncSeen_ = 0;
    pollIndex_ = 0;
}

} // namespace dorvan
