#include "link/poller.h"

namespace dorvan {

Poller::Poller(SensorTable &table, SerialLine &line, LineStatistics &statistics,
               FaultReporter &faults, Clock &clock)
    : table_(table), line_(line), statistics_(statistics), faults_(faults), clock_(clock)
{
}

Poller::Unanswered Poller::judgePreviousRequest() const
{
    const int slot = lastPolled_;
    // A slot emptied since the request went out is not judged.
    if (!replyPending_ || !table_.occupied(slot))
        return {};
    return {slot, table_.missedReplies[size_t(slot)] == LINK_LOSS_MISSES};
}

void Poller::sendNextRequest()
{
    while (pollIndex_ < SlotCount) {
        const int slot = pollIndex_;
        if (!table_.occupied(slot)) {
            ++pollIndex_;
            continue;
        }
        lastPolled_ = qint16(slot);
        const int length = Build_request(table_[slot], txBuffer_);
        replyPending_ = 1;
        requestSentMs_ = clock_.tickMs();
        // A frame that fails to go out draws no reply and is judged a
        // time-out on the next tick.
        Send_Cmd1(txBuffer_.bytes.data(), quint16(length));
        pollIndex_ = slot + 1 < SlotCount ? quint16(slot + 1) : 0;
        statistics_.countRequest(slot, length);
        return;
    }
    // The wrap: one idle tick ends the pass.
    pollIndex_ = 0;
    lastPolled_ = 0;
    replyPending_ = 0;
}

int Poller::Send_Cmd1(const quint8 *data, quint16 length)
{
    if (length > Frame::SIZE_TR_BUF) {
        faults_.warning(LogArea::Line, QStringLiteral("Send_Cmd1: usDataLen>SIZE_TR_BUF!"));
        return -2;
    }
    for (quint16 i = 0; i < length; ++i) {
        // A failed byte ends the frame: the rest is not sent and the frame
        // is not counted.
        if (!line_.writeByte(data[i]))
            return -2;
        statistics_.countSentByte();
    }
    statistics_.countSentFrame();
    return 0;
}

} // namespace dorvan
