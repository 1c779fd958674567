#pragma once

#include "fakes.h"

#include <QList>

#include <functional>

namespace dorvan::test {

// The event loop of one thread in fake time, as Qt runs it: each timer fires
// when it is due, but never again while its own handler has not returned (a
// box opened inside a handler runs a nested loop in which every other timer
// goes on). Posted work, such as a report flush, runs between timer events.
class FakeEventLoop
{
public:
    explicit FakeEventLoop(FakeClock &clock) : clock_(clock) {}

    void addTimer(int intervalMs, std::function<bool()> enabled, std::function<void()> handler)
    {
        timers_.append({intervalMs, std::move(enabled), std::move(handler), intervalMs, false});
    }
    // `run` is called whenever `pending` holds and `run` is not already on the stack.
    void addPosted(std::function<bool()> pending, std::function<void()> run)
    {
        posted_.append({std::move(pending), std::move(run), false});
    }
    // Runs for `ms` of fake time in steps of one millisecond; a nested call
    // moves the same clock on.
    void run(qint64 ms)
    {
        const qint64 end = now_ + ms;
        while (now_ < end) {
            ++now_;
            clock_.advanceMs(1);
            for (int i = 0; i < timers_.size(); ++i)
                fireIfDue(i);
            for (int i = 0; i < posted_.size(); ++i)
                runIfPending(i);
        }
    }
    qint64 now() const { return now_; }

private:
    struct Timer
    {
        int interval;
        std::function<bool()> enabled;
        std::function<void()> handler;
        qint64 due;
        bool running;
    };
    struct Posted
    {
        std::function<bool()> pending;
        std::function<void()> run;
        bool running;
    };

    void fireIfDue(int i)
    {
        if (timers_[i].running || now_ < timers_[i].due)
            return;
        timers_[i].due = now_ + timers_[i].interval;
        if (!timers_[i].enabled())
            return;
        timers_[i].running = true;
        timers_[i].handler();
        timers_[i].running = false;
        timers_[i].due = now_ + timers_[i].interval;
    }
    void runIfPending(int i)
    {
        if (posted_[i].running || !posted_[i].pending())
            return;
        posted_[i].running = true;
        posted_[i].run();
        posted_[i].running = false;
    }

    FakeClock &clock_;
    qint64 now_ = 0;
    QList<Timer> timers_;
    QList<Posted> posted_;
};

} // namespace dorvan::test
