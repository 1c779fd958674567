#pragma once

#include <QRandomGenerator>

namespace dorvan::mqtt {

// The wait before the next connection attempt: about a second after the
// first failure, doubling to at most 15 s, each wait drawn from the second
// half of its step, so that clients that lost one broker together do not all
// come back at the same moment. A good connection starts the count again.
class Backoff
{
public:
    static constexpr int FirstMs = 1000;
    static constexpr int MaxMs = 15000;

    int nextWaitMs()
    {
        const int wait = stepMs_ / 2 + int(QRandomGenerator::global()->bounded(stepMs_ / 2 + 1));
        stepMs_ = qMin(stepMs_ * 2, MaxMs);
        return wait;
    }
    void reset() { stepMs_ = FirstMs; }
    int stepMs() const { return stepMs_; }

private:
    int stepMs_ = FirstMs;
};

} // namespace dorvan::mqtt
