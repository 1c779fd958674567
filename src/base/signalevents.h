#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>

class QSocketNotifier;

namespace dorvan {

// Signals taken into the event loop, for the programs' mains: the handler
// only writes the signal's number to a socket pair, and the loop reads it
// and calls back with the number, once per signal. One per process.
class SignalEvents : public QObject
{
public:
    using Callback = std::function<void(int signal)>;

    SignalEvents(std::initializer_list<int> caught, Callback callback, QObject *parent = nullptr);
    ~SignalEvents() override;
    SignalEvents(const SignalEvents &) = delete;
    SignalEvents &operator=(const SignalEvents &) = delete;

    // False when the socket pair could not be made: the signals then keep
    // their default actions.
    bool catching() const { return notifier_ != nullptr; }

private:
    void readOne();

    Callback callback_;
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace dorvan
