#pragma once

#include <QString>

namespace dorvan {

class Link;

// One line with the line totals of the page "Диагностика" and the sums of
// its per-slot counters, for a maintainer who reads them without the window:
// "stats rx_bytes=... rx_frames=... tx_bytes=... tx_frames=... crc_errors=... timeouts=... slot_...".
QString statsLine(const Link &link);

} // namespace dorvan
