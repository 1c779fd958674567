#include "base/faultboxes.h"

#include <QPointer>

#include <algorithm>

namespace dorvan {

namespace {

QString captionOf(Severity severity)
{
    switch (severity) {
    case Severity::Error: return QStringLiteral("Ошибка");
    case Severity::Warning: return QStringLiteral("Внимание");
    case Severity::Plain: break;
    }
    return Prompter::applicationTitle();
}

Prompter::Icon iconOf(Severity severity)
{
    switch (severity) {
    case Severity::Error: return Prompter::Icon::Error;
    case Severity::Warning: return Prompter::Icon::Warning;
    case Severity::Plain: break;
    }
    return Prompter::Icon::None;
}

} // namespace

FaultBoxes::FaultBoxes(Prompter &display, QObject *parent) : QObject(parent), display_(display)
{
    connect(this, &FaultBoxes::faultsWaiting, this, &FaultBoxes::flush, Qt::QueuedConnection);
}

void FaultBoxes::report(LogArea area, Severity severity, const QString &text)
{
    raise({area, text, captionOf(severity), iconOf(severity)});
}

bool FaultBoxes::pendingOrShown(const QString &text) const
{
    return onScreen_.contains(text)
           || std::any_of(waiting_.cbegin(), waiting_.cend(),
                          [&text](const Fault &fault) { return fault.text == text; });
}

void FaultBoxes::raise(const Fault &fault)
{
    logBox(fault.area, fault.icon, fault.caption, fault.text);
    if (pendingOrShown(fault.text) || waiting() >= MaxWaiting) {
        ++heldBack_;
        return;
    }
    waiting_.push_back(fault);
    if (waiting_.size() == 1)
        emit faultsWaiting();
}

void FaultBoxes::flush()
{
    // A display that waits for its OK runs the event loop meanwhile, which
    // may ask for a flush again: the outer one carries on with what waits.
    if (flushing_)
        return;
    flushing_ = true;
    while (!waiting_.empty() && onScreen() < MaxShown) {
        const Fault fault = waiting_.front();
        waiting_.pop_front();
        onScreen_.append(fault.text);
        QPointer<FaultBoxes> self(this);
        display_.notify(fault.text, fault.caption, fault.icon, [self, text = fault.text] {
            if (self)
                self->closed(text);
        });
    }
    flushing_ = false;
}

void FaultBoxes::closed(const QString &text)
{
    onScreen_.removeOne(text);
    if (!waiting_.empty() && !flushing_)
        emit faultsWaiting();
}

void FaultBoxes::showWaitingAndWait()
{
    while (!waiting_.empty()) {
        const Fault fault = waiting_.front();
        waiting_.pop_front();
        display_.message(fault.text, fault.caption, fault.icon);
    }
}

} // namespace dorvan
