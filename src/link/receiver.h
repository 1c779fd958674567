#pragma once

#include "link/frames.h"

#include <array>

namespace dorvan {

// One accepted reply, unstuffed, copied out of the receive buffer: the
// decoder works on this copy alone, whatever the receiver does meanwhile.
struct ReplyFrame
{
    static constexpr int MaxBytes = 255 + 8; // length byte 255, header and checksum

    std::array<quint8, MaxBytes> bytes{};
    int length = 0; // the length byte N
};

// The header the reply to the request in flight must carry.
struct ExpectedReply
{
    quint8 netCode = Frame::NET_CODE;
    quint16 address = 1;
};

// What one received byte completed.
struct ReceivedByte
{
    enum class Outcome {
        Nothing,        // the frame goes on, or the byte was dropped
        HeaderRejected, // net code or address not those of the request in flight
        FrameComplete,  // the checksum bytes are in: frame() holds the frame
    };

    Outcome outcome = Outcome::Nothing;
    // Only for FrameComplete.
    bool checksumOk = false;
    quint16 address = 0;
    int lineBytes = 0; // bytes the frame took on the line, stuffing included
};

// The reply receiver: bytes in, frames out. It holds no sensor, grid or
// counter; after a rejected header or a complete frame it is ready for the
// next frame before it answers.
class Receiver
{
public:
    enum class State {
        Hunt,   // looking for 0xB9 0x46
        Header, // collecting bytes 2-4
        Length, // awaiting byte 5
        Data,   // collecting N bytes
        Crc,    // collecting the two checksum bytes
    };

    ReceivedByte take(quint8 byte, const ExpectedReply &expected);
    // A new request cycle (after a connection): hunt for a new frame.
    void restart();

    // The frame completed last, by value: the receiver may go on meanwhile.
    ReplyFrame frame() const { return completed_; }

    State state() const { return state_; }
    int position() const { return pos_; }
    bool syncSeen() const { return syncSeen_; }

private:
    ReceivedByte advance(quint8 byte, const ExpectedReply &expected);
    ReceivedByte complete();
    void reset();

    std::array<quint8, Frame::SIZE_RV_BUF> buf_{};
    quint16 pos_ = 0;
    bool syncSeen_ = false;
    State state_ = State::Hunt;
    bool skipNext_ = false;
    int length_ = 0;
    int frameBytes_ = 0;
    ReplyFrame completed_;
};

} // namespace dorvan
