#pragma once

#include "sensors/sensorrecord.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>

namespace dorvan {

// The RS-485 frame: sync, mark, net code, address (u16 LE), length N, code,
// N-1 data bytes, CRC-16/KERMIT (LE) over everything before it.
namespace Frame {
constexpr quint8 REQ_SYNC = 0xB6;
constexpr quint8 REQ_MARK = 0x49;
constexpr quint8 RPL_SYNC = 0xB9;
constexpr quint8 RPL_MARK = 0x46;
constexpr quint8 NET_CODE = 0x16;
constexpr int SIZE_TR_BUF = 1024;
constexpr int SIZE_RV_BUF = 1024;

constexpr quint8 CMD_POLL = 0x82;
constexpr quint8 CMD_SET_DC_M0 = 0xC2;
constexpr quint8 CMD_SET_DC_M1 = 0xC1;

constexpr quint8 RPL_STATUS_M1 = 0x02;
constexpr quint8 RPL_STATUS_M0 = 0x07;
constexpr quint8 RPL_ACK = 0x41;
} // namespace Frame

quint16 Calc_crc(const quint8 *data, qint16 length);
inline quint16 Calc_crc(QByteArrayView bytes)
{
    return Calc_crc(reinterpret_cast<const quint8 *>(bytes.data()), qint16(bytes.size()));
}

// The unstuffed request for a slot, chosen by its pendingRequest.
QByteArray unstuffedRequest(const SensorRecord &slot);
// Request stuffing: a 0x00 after every 0xB6 from offset 2 on.
QByteArray stuffRequest(QByteArrayView frame);
// Reply stuffing (the sensor's side): one byte after every 0xB6 or 0xB9 from offset 2 on.
QByteArray stuffReply(QByteArrayView frame, quint8 filler = 0x00);
// A complete unstuffed frame: header, length, code, data and CRC.
QByteArray buildFrame(quint8 sync, quint8 mark, quint8 netCode, quint16 address, quint8 code,
                      QByteArrayView data);

// The transmit buffer and what Build_request leaves behind for the receiver.
struct RequestBuffer
{
    std::array<quint8, Frame::SIZE_TR_BUF> bytes{};
    quint8 expectedNetCode = Frame::NET_CODE;
    quint16 expectedAddress = 1;
};

// Fills the buffer with the stuffed request for the slot, sets the expected
// reply header and returns the stuffed length.
int Build_request(const SensorRecord &slot, RequestBuffer &buffer);

} // namespace dorvan
