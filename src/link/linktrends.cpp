#include "link/link.h"

namespace dorvan {

// On the line's path: one copy into reserved memory, nothing else.
void Link::recordTrend(int slot, bool timeout)
{
    if (!trendBuffer)
        return;
    const SensorRecord &r = table_[slot];
    TrendSample sample;
    sample.utcMs = context_.clock.nowUtcMs();
    sample.address = quint16(r.address);
    sample.model = r.model == 0 ? 0 : 1;
    sample.timeout = timeout;
    if (!timeout) {
        sample.threshold1 = r.threshold1;
        sample.threshold2 = r.threshold2;
        // The 301's one measured value stands for both loops.
        sample.signal1 = r.model == 0 ? r.signalM0a : r.signal1;
        sample.signal2 = r.model == 0 ? r.signalM0b : r.signal2;
        sample.replyMs = qint32(context_.clock.tickMs() - poller_.requestSentMs());
    }
    trendBuffer->append(sample);
}

} // namespace dorvan
