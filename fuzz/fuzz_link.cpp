// The receiver with the decoder behind it, fed arbitrary bytes. The first bytes
// choose the sensor in slot 0 (address, model, arming) so that frames can match
// the request in flight; the rest arrives in chunks, with a poll between chunks.
#include "fuzzrig.h"

#include <cstring>

using namespace dorvan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    if (size < 4)
        return 0;
    fuzz::cleanEventFiles();
    fuzz::Rig rig;
    rig.console.setWorkDir(fuzz::workDir());
    const ConsoleParts &parts = rig.console.parts();
    parts.link.Open_port(1);

    quint16 address;
    std::memcpy(&address, data, 2);
    const quint8 flags = data[2];
    const quint8 chunk = quint8(data[3] | 1);
    parts.table.Occupy_slot(0, address == 0 ? 1 : address, flags & 1, 0, 1.0);
    parts.table[0].armed1 = (flags >> 1) & 1;
    parts.table[0].armed2 = (flags >> 2) & 1;
    parts.table[0].pendingRequest = (flags & 8) ? 193 : 130;
    parts.table.Occupy_slot(31, 0xB9B6, (flags >> 4) & 1, 0, 1.0);

    for (size_t at = 4; at < size; at += chunk) {
        parts.link.Timer1Timer();
        const size_t length = std::min(size - at, size_t(chunk));
        rig.line.feed(QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(length)));
        parts.link.TimerRvTimer();
        rig.clock.advanceMs(100);
    }
    return 0;
}
