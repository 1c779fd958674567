#pragma once

#include "base/faultreporter.h"
#include "base/prompter.h"

#include <QObject>
#include <QStringList>

#include <deque>

namespace dorvan {

// The boxes of the faults of the files and of the line.
//
// A fault reported while the console polls, receives, decodes, logs an event,
// starts up or shuts down must never make the line wait for the operator:
// report() logs it at once and queues it; flush(), which runs from the event
// loop after the handler that raised it has returned, shows what waits,
// oldest first, in boxes that do not block.
//
// A repeated fault must not grow memory or windows: a text already on screen
// or waiting is not queued again, at most MaxShown boxes are on screen and
// MaxWaiting wait for a place; beyond that a fault is only logged and counted.
class FaultBoxes : public QObject, public FaultReporter
{
    Q_OBJECT

public:
    static constexpr int MaxShown = 16;
    static constexpr int MaxWaiting = 16;

    explicit FaultBoxes(Prompter &display, QObject *parent = nullptr);

    void report(LogArea area, Severity severity, const QString &text) override;

    // Shows what waits, as far as there is room on screen.
    void flush();
    // After the shutdown the operator asked for: what still waits is shown
    // in boxes that wait for their OK, since nothing runs any more.
    void showWaitingAndWait();

    int waiting() const { return int(waiting_.size()); }
    int onScreen() const { return int(onScreen_.size()); }
    // Faults that were logged but not shown (already on screen or waiting,
    // or no room left).
    qint64 heldBack() const { return heldBack_; }

signals:
    // A fault waits; connected (queued) to flush() so that it runs from the
    // event loop, never inside the handler that raised the fault.
    void faultsWaiting();

private:
    struct Fault
    {
        LogArea area;
        QString text;
        QString caption;
        Prompter::Icon icon;
    };

    void raise(const Fault &fault);
    void closed(const QString &text);
    bool pendingOrShown(const QString &text) const;

    Prompter &display_;
    std::deque<Fault> waiting_;
    QStringList onScreen_;
    qint64 heldBack_ = 0;
    bool flushing_ = false;
};

} // namespace dorvan
