#pragma once

#include <QtGlobal>

#include <vector>

namespace dorvan {

// One poll of one sensor as the trend store keeps it: the values of an
// accepted status reply, or a request that went unanswered. Plain data, so
// that the line only copies it into a vector.
struct TrendSample
{
    qint64 utcMs = 0;     // when the reply was decoded or the request judged unanswered
    quint16 address = 0;
    quint8 model = 0;     // 0 = Дорван-301ДК, 1 = Дорван-302ДК
    bool timeout = false; // no reply: the values below mean nothing
    float threshold1 = 0;
    float signal1 = 0;
    float threshold2 = 0;
    float signal2 = 0;
    qint32 replyMs = -1;  // request sent → reply accepted; -1 when unknown
};

// A sensor as the store names it: model and address in one number.
constexpr qint64 trendSensorKey(int model, quint16 address)
{
    return qint64(model == 0 ? 0 : 1) << 16 | address;
}

// What the line appends to and the recorder takes from. The line's only
// cost is a push_back into reserved memory; when the store cannot keep up
// (or is out of order) the oldest half is dropped rather than memory grown.
class TrendBuffer
{
public:
    static constexpr size_t Capacity = 64 * 1024;

    TrendBuffer() { samples_.reserve(1024); }

    void append(const TrendSample &sample)
    {
        if (samples_.size() >= Capacity) {
            samples_.erase(samples_.begin(), samples_.begin() + Capacity / 2);
            dropped_ += Capacity / 2;
        }
        samples_.push_back(sample);
    }
    // Hands over what was appended; the buffer keeps its memory.
    void takeInto(std::vector<TrendSample> &out)
    {
        out.clear();
        out.swap(samples_);
        samples_.reserve(out.capacity());
    }
    size_t size() const { return samples_.size(); }
    qint64 dropped() const { return dropped_; }

private:
    std::vector<TrendSample> samples_;
    qint64 dropped_ = 0;
};

} // namespace dorvan
