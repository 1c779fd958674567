#include "link/link.h"

namespace dorvan {

namespace {

constexpr int TxBytesColumn = 1;
constexpr int TxFramesColumn = 3;
constexpr int TimeoutsColumn = 6;
constexpr int LinkColumn = 7;
constexpr int StateColumn = 9;

} // namespace

void Link::Timer1Timer()
{
    if (halted_)
        return;
    ++passes_;
    judgePreviousRequest();
    sendNextRequest();
}

void Link::judgePreviousRequest()
{
    const int slot = lastPolled_;
    // A slot emptied since the request went out is not judged.
    if (!replyPending_ || !table_.occupied(slot))
        return;
    qint16 &missed = table_.missedReplies[size_t(slot)];
    if (missed == LINK_LOSS_MISSES)
        declareLinkLost(slot);
    ++missed;
    recordTrend(slot, true);
    SlotStats &stats = stats_[size_t(slot)];
    bumpCount(stats.timeouts);
    showSlotCounter(slot, TimeoutsColumn, stats.timeouts);
}

void Link::declareLinkLost(int slot)
{
    markLinkLost(slot);
    // A silent line may be a port gone bad: open it afresh.
    Reopen_port();
}

// With the port gone, polling stops until a reopen succeeds, and no sensor
// would ever reach its ninth miss: every sensor that had a link loses it now,
// so the operator sees the dead line instead of the last states it reported.
void Link::markLineLost()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (table_.occupied(slot)
            && (table_[slot].linkUp == 1 || statsLinkShown_[size_t(slot)] == 1))
            markLinkLost(slot);
    }
}

void Link::markLinkLost(int slot)
{
    SensorRecord &r = table_[slot];
    const int row = slot + 1;
    r.linkUp = 0;
    replyPending_ = 0;
    // Only a link that was announced as up is reported lost.
    if (statsLinkShown_[size_t(slot)] == 1) {
        statsLinkShown_[size_t(slot)] = 0;
        comGrid_.setCell(LinkColumn, row, QStringLiteral("Нет связи"));
        sensorGrid_.setCell(StateColumn, row, QStringLiteral("Нет связи"));
        r.state = SensorState::NoLink;
        const EventRecord record =
            logEvent(slot, EventCode::NoLink,
                     QStringLiteral("Нет связи с датчиком <%1> № %2")
                         .arg(modelName(r.model))
                         .arg(r.address));
        if (r.armed1 == 1 || r.armed2 == 1)
            raiseAlarm(record);
    }
    table_.missedReplies[size_t(slot)] = 0;
    setRowColour(slot, Colour::DarkRed);
    if (r.alarm1 != 1) {
        r.alarm1 = 1;
        sensorGrid_.setCell(3, row, alarmText(1));
    }
    if (r.alarm2 != 1) {
        r.alarm2 = 1;
        sensorGrid_.setCell(4, row, alarmText(1));
    }
}

void Link::sendNextRequest()
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
        requestSentMs_ = context_.clock.tickMs();
        // A frame that fails to go out draws no reply and is judged a
        // time-out on the next tick.
        Send_Cmd1(txBuffer_.bytes.data(), quint16(length));
        pollIndex_ = slot + 1 < SlotCount ? quint16(slot + 1) : 0;
        SlotStats &stats = stats_[size_t(slot)];
        bumpCount(stats.txFrames);
        showSlotCounter(slot, TxFramesColumn, stats.txFrames);
        bumpCount(stats.txBytes, length);
        showSlotCounter(slot, TxBytesColumn, stats.txBytes);
        return;
    }
    // The wrap: one idle tick ends the pass.
    pollIndex_ = 0;
    lastPolled_ = 0;
    replyPending_ = 0;
}

} // namespace dorvan
