#pragma once

#include "base/captions.h"
#include "base/clock.h"
#include "sensors/sensortable.h"

#include <array>

namespace dorvan {

class TextGridModel;

// The six counters of one row of the diagnostics grid StringGridCOM.
struct SlotStats
{
    qint32 txBytes = 0;   // "Перед.байты"
    qint32 rxBytes = 0;   // "Прин.байты"
    qint32 txFrames = 0;  // "Число пер.пакетов"
    qint32 rxFrames = 0;  // "Число пр.пакетов"
    qint32 crcErrors = 0; // "Ошибки КС"
    qint32 timeouts = 0;  // "Тайм-ауты"
};

// The columns of the diagnostics grid StringGridCOM; the slot's row is slot + 1.
enum class DiagnosticsColumn {
    Number = 0,
    TxBytes = 1,
    RxBytes = 2,
    TxFrames = 3,
    RxFrames = 4,
    CrcErrors = 5,
    Timeouts = 6,
    Link = 7,
    Last = 9,
};
constexpr int DiagnosticsColumnCount = 10;

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

// The statistics of the page "Диагностика": the line totals in their labels,
// the per-slot counters and link state in StringGridCOM, and the time the
// receiver takes per drain.
class LineStatistics
{
public:
    LineStatistics(const SensorTable &table, TextGridModel &grid, Captions &captions, Clock &clock);

    // Receiving.
    void countReceivedByte() { bumpCount(totals_.N_rv_byte); }
    // The byte count's caption, refreshed once per drain.
    void showReceivedBytes();
    void countFrameBytes(int slot, int bytes);
    void countChecksumError(int slot);
    void countFrame(int slot);

    // Sending.
    void countSentByte() { bumpCount(totals_.N_tr_byte); }
    void countSentFrame();
    void countRequest(int slot, int bytes);
    void countTimeout(int slot);

    // The "Связь" column: only a link announced as up is reported lost.
    bool linkShownUp(int slot) const { return linkShown_[size_t(slot)] == 1; }
    qint16 linkShown(int slot) const { return linkShown_[size_t(slot)]; }
    void showLinkUp(int slot);
    void showLinkLost(int slot);

    // The receiver timer's own duration, shown in Label35 (µs) and Label37 (ms).
    struct Timing
    {
        qint64 frequency = 0;
        qint64 counter = 0;
        quint32 tick = 0;
    };
    Timing startTiming();
    void finishTiming(const Timing &started);

    // The button "Сброс", connections and the start-up.
    void Button2Click();
    void clearSlotStats(int slot);
    void clearSlotStatsRow(int slot);
    void showConnectedSlotStats(int slot);
    void showStoredSlotStats(int slot);

    const SlotStats &slotStats(int slot) const { return stats_[size_t(slot)]; }
    const LineTotals &totals() const { return totals_; }

private:
    void showTotal(const char *label, qint32 value);
    void showSlotCounter(int slot, DiagnosticsColumn column, qint32 value);
    void showSlotCounters(int slot);

    const SensorTable &table_;
    TextGridModel &grid_;
    Captions &captions_;
    Clock &clock_;

    LineTotals totals_;
    qint32 shownRvBytes_ = 0;
    std::array<SlotStats, SlotCount> stats_{};
    std::array<qint16, SlotCount> linkShown_{};

    int label35Tag_ = 0;
    int timingTicks_ = 0;
    qint64 maxMicroseconds_ = 0;
    quint32 maxMilliseconds_ = 0;
};

} // namespace dorvan
