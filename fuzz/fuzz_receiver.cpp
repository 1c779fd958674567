// The reply receiver alone, fed arbitrary bytes: the first three choose the
// header it expects, the rest is the line. Whatever arrives, it stays inside
// its buffer and hands out only frames that fit their length byte.
#include "link/receiver.h"

#include <cstdint>
#include <cstdlib>

using namespace dorvan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const ExpectedReply expected{data[0], quint16(data[1] | data[2] << 8)};
    Receiver receiver;
    for (size_t at = 3; at < size; ++at) {
        const ReceivedByte got = receiver.take(data[at], expected);
        if (receiver.position() < 0 || receiver.position() >= Frame::SIZE_RV_BUF)
            std::abort();
        if (got.outcome != ReceivedByte::Outcome::FrameComplete)
            continue;
        const ReplyFrame frame = receiver.frame();
        if (frame.length > 255 || got.lineBytes < frame.length + 8 || got.address != expected.address)
            std::abort();
    }
    return 0;
}
