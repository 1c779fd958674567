#include "link/statsline.h"

#include "link/link.h"

namespace dorvan {

namespace {

// The per-slot counters are 32-bit like the grid cells, but their sum over
// 32 slots is not.
struct SlotSums
{
    qint64 txBytes = 0;
    qint64 rxBytes = 0;
    qint64 txFrames = 0;
    qint64 rxFrames = 0;
    qint64 crcErrors = 0;
    qint64 timeouts = 0;
};

SlotSums sumOfSlots(const Link &link)
{
    SlotSums sums;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const SlotStats &s = link.statistics().slotStats(slot);
        sums.txBytes += s.txBytes;
        sums.rxBytes += s.rxBytes;
        sums.txFrames += s.txFrames;
        sums.rxFrames += s.rxFrames;
        sums.crcErrors += s.crcErrors;
        sums.timeouts += s.timeouts;
    }
    return sums;
}

} // namespace

QString statsLine(const Link &link)
{
    const LineTotals &t = link.statistics().totals();
    const SlotSums s = sumOfSlots(link);
    return QStringLiteral("stats rx_bytes=%1 rx_frames=%2 tx_bytes=%3 tx_frames=%4 crc_errors=%5 "
                          "timeouts=%6 slot_rx_bytes=%7 slot_rx_frames=%8 slot_tx_bytes=%9 "
                          "slot_tx_frames=%10 slot_crc_errors=%11")
        .arg(t.N_rv_byte)
        .arg(t.N_rv_frame)
        .arg(t.N_tr_byte)
        .arg(t.N_tr_frame)
        .arg(t.KS_ERR)
        .arg(s.timeouts)
        .arg(s.rxBytes)
        .arg(s.rxFrames)
        .arg(s.txBytes)
        .arg(s.txFrames)
        .arg(s.crcErrors);
}

} // namespace dorvan
