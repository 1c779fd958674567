#include "link/receiver.h"

#include <algorithm>

namespace dorvan {

namespace {

constexpr int HeaderBytes = 5; // sync, mark, net code, address
constexpr int LengthIndex = 5; // the length byte N

ReceivedByte outcome(ReceivedByte::Outcome kind)
{
    ReceivedByte result;
    result.outcome = kind;
    return result;
}

} // namespace

ReceivedByte Receiver::take(quint8 byte, const ExpectedReply &expected)
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

ReceivedByte Receiver::advance(quint8 byte, const ExpectedReply &expected)
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
        if (pos_ < HeaderBytes)
            break;
        if (buf_[2] != expected.netCode || quint16(buf_[3] | buf_[4] << 8) != expected.address) {
            reset();
            return outcome(ReceivedByte::Outcome::HeaderRejected);
        }
        state_ = State::Length;
        frameBytes_ += 3;
        break;
    case State::Length:
        if (pos_ < LengthIndex + 1)
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

ReceivedByte Receiver::complete()
{
    // The length byte is at most 255, so the frame (263 bytes at most) lies
    // inside the buffer and none of these indices wraps.
    const int n = length_;
    ReceivedByte result = outcome(ReceivedByte::Outcome::FrameComplete);
    const quint16 computed = Calc_crc(buf_.data(), qint16(n + 6));
    const quint16 received = quint16(buf_[size_t(n + 6)] | buf_[size_t(n + 7)] << 8);
    result.checksumOk = computed == received;
    result.address = quint16(buf_[3] | buf_[4] << 8);
    result.lineBytes = frameBytes_;
    completed_.length = n;
    std::copy_n(buf_.cbegin(), n + 8, completed_.bytes.begin());
    reset();
    return result;
}

void Receiver::reset()
{
    // skipNext_ survives: a stuffing byte after a final 0xB6/0xB9 is still dropped.
    state_ = State::Hunt;
    pos_ = 0;
    syncSeen_ = false;
    frameBytes_ = 0;
}

void Receiver::restart()
{
    state_ = State::Hunt;
    pos_ = 0;
    syncSeen_ = false;
}

} // namespace dorvan
