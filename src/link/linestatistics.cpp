#include "link/linestatistics.h"

#include "grid/textgridmodel.h"

namespace dorvan {

LineStatistics::LineStatistics(const SensorTable &table, TextGridModel &grid, Captions &captions,
                               Clock &clock)
    : table_(table), grid_(grid), captions_(captions), clock_(clock)
{
    for (const char *label : {"N_tr_byte", "N_tr_frame", "N_rv_byte", "N_rv_frame", "KS_ERR"})
        captions_.set(QString::fromLatin1(label), QStringLiteral("----"));
}

void LineStatistics::showTotal(const char *label, qint32 value)
{
    captions_.set(QString::fromLatin1(label), QString::number(value));
}

void LineStatistics::showSlotCounter(int slot, DiagnosticsColumn column, qint32 value)
{
    grid_.setCell(int(column), slot + 1, QString::number(value));
}

void LineStatistics::showSlotCounters(int slot)
{
    for (int column = int(DiagnosticsColumn::TxBytes); column <= int(DiagnosticsColumn::Timeouts);
         ++column)
        grid_.setCell(column, slot + 1, QStringLiteral("0"));
}

void LineStatistics::showReceivedBytes()
{
    if (shownRvBytes_ == totals_.N_rv_byte)
        return;
    shownRvBytes_ = totals_.N_rv_byte;
    showTotal("N_rv_byte", totals_.N_rv_byte);
}

void LineStatistics::countFrameBytes(int slot, int bytes)
{
    SlotStats &stats = stats_[size_t(slot)];
    bumpCount(stats.rxBytes, bytes);
    showSlotCounter(slot, DiagnosticsColumn::RxBytes, stats.rxBytes);
}

void LineStatistics::countChecksumError(int slot)
{
    SlotStats &stats = stats_[size_t(slot)];
    bumpCount(stats.crcErrors);
    showSlotCounter(slot, DiagnosticsColumn::CrcErrors, stats.crcErrors);
    bumpCount(totals_.KS_ERR);
    showTotal("KS_ERR", totals_.KS_ERR);
}

void LineStatistics::countFrame(int slot)
{
    bumpCount(totals_.N_rv_frame);
    showTotal("N_rv_frame", totals_.N_rv_frame);
    SlotStats &stats = stats_[size_t(slot)];
    bumpCount(stats.rxFrames);
    showSlotCounter(slot, DiagnosticsColumn::RxFrames, stats.rxFrames);
}

void LineStatistics::countSentFrame()
{
    showTotal("N_tr_byte", totals_.N_tr_byte);
    bumpCount(totals_.N_tr_frame);
    showTotal("N_tr_frame", totals_.N_tr_frame);
}

void LineStatistics::countRequest(int slot, int bytes)
{
    SlotStats &stats = stats_[size_t(slot)];
    bumpCount(stats.txFrames);
    showSlotCounter(slot, DiagnosticsColumn::TxFrames, stats.txFrames);
    bumpCount(stats.txBytes, bytes);
    showSlotCounter(slot, DiagnosticsColumn::TxBytes, stats.txBytes);
}

void LineStatistics::countTimeout(int slot)
{
    SlotStats &stats = stats_[size_t(slot)];
    bumpCount(stats.timeouts);
    showSlotCounter(slot, DiagnosticsColumn::Timeouts, stats.timeouts);
}

void LineStatistics::showLinkUp(int slot)
{
    grid_.setCell(int(DiagnosticsColumn::Link), slot + 1, QStringLiteral("Есть связь"));
    linkShown_[size_t(slot)] = 1;
}

void LineStatistics::showLinkLost(int slot)
{
    linkShown_[size_t(slot)] = 0;
    grid_.setCell(int(DiagnosticsColumn::Link), slot + 1, QStringLiteral("Нет связи"));
}

LineStatistics::Timing LineStatistics::startTiming()
{
    Timing timing;
    timing.frequency = clock_.counterFrequency();
    if (timing.frequency <= 0 && label35Tag_ != 1) {
        captions_.set(QStringLiteral("Label35"), QStringLiteral("Измерение невозможно"));
        label35Tag_ = 1;
    }
    timing.counter = clock_.counter();
    timing.tick = clock_.tickMs();
    return timing;
}

void LineStatistics::finishTiming(const Timing &started)
{
    const qint64 frequency = started.frequency;
    const qint64 counts = qMax<qint64>(0, clock_.counter() - started.counter);
    const quint32 milliseconds = clock_.tickMs() - started.tick;
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

void LineStatistics::Button2Click()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        stats_[size_t(slot)] = SlotStats();
        if (table_[slot].address != 0)
            showSlotCounters(slot);
    }
}

void LineStatistics::clearSlotStats(int slot)
{
    if (!SensorTable::validSlot(slot))
        return;
    stats_[size_t(slot)] = SlotStats();
    linkShown_[size_t(slot)] = 0;
}

void LineStatistics::clearSlotStatsRow(int slot)
{
    if (SensorTable::validSlot(slot))
        grid_.clearRow(slot + 1, int(DiagnosticsColumn::TxBytes), int(DiagnosticsColumn::Last));
}

void LineStatistics::showConnectedSlotStats(int slot)
{
    if (!SensorTable::validSlot(slot))
        return;
    showSlotCounters(slot);
    linkShown_[size_t(slot)] = 0;
    grid_.setCell(int(DiagnosticsColumn::Link), slot + 1, QStringLiteral("Нет связи"));
}

void LineStatistics::showStoredSlotStats(int slot)
{
    if (!SensorTable::validSlot(slot))
        return;
    if (table_[slot].state == SensorState::NoLink)
        grid_.setCell(int(DiagnosticsColumn::Link), slot + 1, QStringLiteral("Нет связи"));
    showSlotCounters(slot);
}

} // namespace dorvan
