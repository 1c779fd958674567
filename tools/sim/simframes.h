#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The line's frames as a sensor makes and reads them. The simulator is the
// peer the console is tested against, so this is written apart from the
// console's own framing: a fault in either end then shows up as a reply the
// other refuses, instead of passing unseen on both.
namespace dorvan::sim::wire {

constexpr quint8 REQ_SYNC = 0xB6;
constexpr quint8 REQ_MARK = 0x49;
constexpr quint8 RPL_SYNC = 0xB9;
constexpr quint8 RPL_MARK = 0x46;
constexpr quint8 NET_CODE = 0x16;

constexpr quint8 CMD_POLL = 0x82;
constexpr quint8 CMD_SET_DC_M0 = 0xC2;
constexpr quint8 CMD_SET_DC_M1 = 0xC1;
constexpr quint8 RPL_STATUS_M1 = 0x02;
constexpr quint8 RPL_STATUS_M0 = 0x07;
constexpr quint8 RPL_ACK = 0x41;

// CRC-16/KERMIT: reflected polynomial 0x1021, register from 0, no final XOR.
quint16 crc16(QByteArrayView bytes);
// Whether the last two bytes (low first) are the checksum of all before them.
bool checksumRight(QByteArrayView frame);

// An unstuffed frame: sync, mark, net code, address (low byte first), the
// length N of code and data, the code, the data and the checksum.
QByteArray frame(quint8 sync, quint8 mark, quint8 netCode, quint16 address, quint8 code,
                 QByteArrayView data);

// A request marks only 0xB6 with a following 0x00; a reply marks 0xB6 and
// 0xB9. Both from offset 2 on: the sync and mark pair stays as it is.
QByteArray stuffRequest(QByteArrayView frame);
QByteArray stuffReply(QByteArrayView frame);
// The reply as the console reads it: the byte after each marked one dropped.
QByteArray unstuffReply(QByteArrayView wire);

} // namespace dorvan::sim::wire
