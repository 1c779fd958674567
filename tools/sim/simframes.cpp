#include "simframes.h"

namespace dorvan::sim::wire {

namespace {

constexpr int firstStuffedOffset = 2;

bool isMarkedInReply(quint8 byte)
{
    return byte == REQ_SYNC || byte == RPL_SYNC;
}

bool isMarkedInRequest(quint8 byte)
{
    return byte == REQ_SYNC;
}

QByteArray stuffAfter(QByteArrayView frame, bool (*marked)(quint8))
{
    QByteArray out;
    for (qsizetype i = 0; i < frame.size(); ++i) {
        const quint8 byte = quint8(frame[i]);
        out.append(char(byte));
        if (i >= firstStuffedOffset && marked(byte))
            out.append('\0');
    }
    return out;
}

void appendLe16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
}

} // namespace

// Bit by bit, not by table as the console does it: one frame per poll costs
// nothing, and a second way of computing it keeps the two ends honest.
quint16 crc16(QByteArrayView bytes)
{
    quint16 reg = 0x0000;
    for (char c : bytes) {
        reg ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? quint16((reg >> 1) ^ 0x8408) : quint16(reg >> 1);
    }
    return reg;
}

bool checksumRight(QByteArrayView frame)
{
    if (frame.size() < 2)
        return false;
    const qsizetype body = frame.size() - 2;
    const quint16 stored = quint16(quint8(frame[body]) | (quint8(frame[body + 1]) << 8));
    return crc16(frame.first(body)) == stored;
}

QByteArray frame(quint8 sync, quint8 mark, quint8 netCode, quint16 address, quint8 code,
                 QByteArrayView data)
{
    QByteArray out;
    out.append(char(sync));
    out.append(char(mark));
    out.append(char(netCode));
    appendLe16(out, address);
    out.append(char(quint8(data.size() + 1)));
    out.append(char(code));
    out.append(data.data(), data.size());
    appendLe16(out, crc16(out));
    return out;
}

QByteArray stuffRequest(QByteArrayView frame)
{
    return stuffAfter(frame, isMarkedInRequest);
}

QByteArray stuffReply(QByteArrayView frame)
{
    return stuffAfter(frame, isMarkedInReply);
}

QByteArray unstuffReply(QByteArrayView wire)
{
    QByteArray out;
    for (qsizetype i = 0; i < wire.size(); ++i) {
        const quint8 byte = quint8(wire[i]);
        out.append(char(byte));
        if (i >= firstStuffedOffset && isMarkedInReply(byte))
            ++i;
    }
    return out;
}

} // namespace dorvan::sim::wire
