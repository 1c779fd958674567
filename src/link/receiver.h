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

// Every byte of the line passes here: defined in the header so that the
// link's drain loop inlines it.
inline ReceivedByte Receiver::take(quint8 byte, const ExpectedReply &expected)
{
    if (skipNext_) {
        // The stuffing byte after a 0xB6/0xB9 is dropped whatever its value.
        skipNext_ = false;
        ++frameBytes_;
        return {};
    }
    if (state_ != State::Hunt && (byte == Frame::REQ_SYNC || byte == Frame::RPL_SYNC))
        skipNext_ = true;
    buf_[pos_] = byte;
    if (++pos_ >= Frame::SIZE_RV_BUF)
        pos_ = 0;
    return advance(byte, expected);
}

inline ReceivedByte Receiver::advance(quint8 byte, const ExpectedReply &expected)
{
    switch (state_) {
    case State::Hunt:
        if (!syncSeen_) {
            if (buf_[0] == Frame::RPL_SYNC)
                syncSeen_ = true;
            else
                pos_ = 0;
            frameBytes_ = 1;
        } else {
            // A second 0xB9 does not start a frame: both are dropped.
            if (buf_[1] == Frame::RPL_MARK)
                state_ = State::Header;
            else
                pos_ = 0;
            syncSeen_ = false;
            frameBytes_ = 2;
        }
        break;
    case State::Header:
        if (pos_ < 5 /* sync, mark, net code, address */)
            break;
        if (buf_[2] != expected.netCode || quint16(buf_[3] | buf_[4] << 8) != expected.address) {
            reset();
            return {ReceivedByte::Outcome::HeaderRejected};
        }
        state_ = State::Length;
        frameBytes_ += 3;
        break;
    case State::Length:
        if (pos_ < 6 /* the length byte N */)
            break;
        length_ = byte;
        state_ = State::Data;
        frameBytes_ += 1;
        break;
    case State::Data:
        if (pos_ >= length_ + 6) {
            state_ = State::Crc;
            frameBytes_ += length_;
        }
        break;
    case State::Crc:
        if (pos_ >= length_ + 8) {
            frameBytes_ += 2;
            return complete();
        }
        break;
    }
    return {};
}

} // namespace dorvan
