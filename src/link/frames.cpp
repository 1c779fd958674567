#include "link/frames.h"

#include <cmath>
#include <cstring>

namespace dorvan {

namespace {

constexpr std::array<quint16, 256> makeCrcTable()
{
    std::array<quint16, 256> table{};
    for (int i = 0; i < 256; ++i) {
        quint16 value = quint16(i);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? quint16((value >> 1) ^ 0x8408) : quint16(value >> 1);
        table[size_t(i)] = value;
    }
    return table;
}

constexpr std::array<quint16, 256> crcTable = makeCrcTable();

void appendLe16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
}

void appendFloat(QByteArray &bytes, float value)
{
    char raw[4];
    std::memcpy(raw, &value, 4);
    bytes.append(raw, 4);
}

// The low 16 bits of the integer part; out-of-range values wrap instead of
// being undefined.
quint16 low16OfIntegerPart(float value)
{
    const double truncated = std::trunc(double(value));
    if (!std::isfinite(truncated))
        return 0;
    const double wrapped = std::fmod(truncated, 65536.0);
    return quint16(qint64(wrapped) & 0xFFFF);
}

} // namespace

quint16 Calc_crc(const quint8 *data, qint16 length)
{
    quint16 crc = 0;
    for (qint16 i = 0; i < length; ++i)
        crc = quint16(crcTable[(data[i] ^ crc) & 0xFF] ^ (crc >> 8));
    return crc;
}

QByteArray buildFrame(quint8 sync, quint8 mark, quint8 netCode, quint16 address, quint8 code,
                      QByteArrayView data)
{
    QByteArray frame;
    frame.append(char(sync));
    frame.append(char(mark));
    frame.append(char(netCode));
    appendLe16(frame, address);
    frame.append(char(quint8(data.size() + 1)));
    frame.append(char(code));
    frame.append(data.data(), data.size());
    appendLe16(frame, Calc_crc(frame));
    return frame;
}

QByteArray unstuffedRequest(const SensorRecord &slot)
{
    const quint16 address = quint16(slot.address & 0xFFFF);
    QByteArray data;
    quint8 code = Frame::CMD_POLL;
    if (slot.pendingRequest == 193) {
        code = Frame::CMD_SET_DC_M1;
        appendFloat(data, slot.thresholdDc1);
        appendFloat(data, slot.thresholdDc2);
    } else if (slot.pendingRequest == 194) {
        code = Frame::CMD_SET_DC_M0;
        appendLe16(data, low16OfIntegerPart(slot.thresholdDc1));
    } else {
        data.append('\0');
    }
    return buildFrame(Frame::REQ_SYNC, Frame::REQ_MARK, Frame::NET_CODE, address, code, data);
}

QByteArray stuffRequest(QByteArrayView frame)
{
    QByteArray out;
    out.reserve(frame.size() * 2);
    for (qsizetype i = 0; i < frame.size(); ++i) {
        out.append(frame[i]);
        if (i >= 2 && quint8(frame[i]) == Frame::REQ_SYNC)
            out.append('\0');
    }
    return out;
}

QByteArray stuffReply(QByteArrayView frame, quint8 filler)
{
    QByteArray out;
    out.reserve(frame.size() * 2);
    for (qsizetype i = 0; i < frame.size(); ++i) {
        const quint8 byte = quint8(frame[i]);
        out.append(char(byte));
        if (i >= 2 && (byte == Frame::REQ_SYNC || byte == Frame::RPL_SYNC))
            out.append(char(filler));
    }
    return out;
}

int Build_request(const SensorRecord &slot, RequestBuffer &buffer)
{
    buffer.expectedNetCode = Frame::NET_CODE;
    buffer.expectedAddress = quint16(slot.address & 0xFFFF);
    const QByteArray stuffed = stuffRequest(unstuffedRequest(slot));
    std::memcpy(buffer.bytes.data(), stuffed.constData(), size_t(stuffed.size()));
    return int(stuffed.size());
}

} // namespace dorvan
