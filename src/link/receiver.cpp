#include "link/receiver.h"

#include <algorithm>

namespace dorvan {

namespace {

ReceivedByte outcome(ReceivedByte::Outcome kind)
{
    ReceivedByte result;
    result.outcome = kind;
    return result;
}

} // namespace

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
