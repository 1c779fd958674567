#include "base/signalevents.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace dorvan {

namespace {

// [0] is read by the event loop, [1] written by the handler.
int signalSockets[2] = {-1, -1};

extern "C" void onSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[1], &byte, 1);
}

} // namespace

SignalEvents::SignalEvents(std::initializer_list<int> caught, Callback callback, QObject *parent)
    : QObject(parent), callback_(std::move(callback))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0)
        return;
    notifier_ = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalEvents::readOne);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : caught)
        ::sigaction(signal, &action, nullptr);
}

// The handlers stay: a late signal's byte goes to a socket nobody reads.
SignalEvents::~SignalEvents() = default;

// One byte a call: the notifier calls again while more are waiting.
void SignalEvents::readOne()
{
    char byte = 0;
    if (::read(signalSockets[0], &byte, 1) == 1)
        callback_(int(byte));
}

} // namespace dorvan
