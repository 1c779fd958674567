#pragma once

#include "base/log.h"
#include "base/prompter.h"

#include <QObject>
#include <QStringList>

#include <deque>

namespace dorvan {

// Every box of the console passes here and is logged.
//
// The operator's own commands ask and refuse through the Prompter interface,
// and may wait for the answer. A fault of a file or of the line, reported while
// the console polls, receives, decodes, logs an event, starts up or shuts
// down, must never make the line wait for the operator: error() and warning()
// log it at once and queue it; flush(), which runs from the event loop after
// the handler that raised it has returned, shows what waits, oldest first, in
// boxes that do not block.
//
// A repeated fault must not grow memory or windows: a text already on screen
// or waiting is not queued again, at most MaxShown boxes are on screen and
// MaxWaiting wait for a place; beyond that a report is only logged and counted.
class ReportQueue : public QObject, public Prompter
{
    Q_OBJECT

public:
    static constexpr int MaxShown = 16;
    static constexpr int MaxWaiting = 16;

    explicit ReportQueue(Prompter &display, QObject *parent = nullptr);

    // Prompter: the operator's boxes, shown at once; they may wait.
    void message(const QString &text, const QString &caption, Icon icon) override;
    void notify(const QString &text, const QString &caption, Icon icon,
                const std::function<void()> &closed) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    std::optional<QString> openFile(const QString &directory, bool mustExist) override;
    std::optional<SavedFile> saveFile(const QString &suggested, const QStringList &filters) override;
    using Prompter::error;
    using Prompter::plain;
    using Prompter::warning;

    // Faults that never wait: caption "Ошибка" with the stop icon, caption
    // "Внимание" with the warning icon, or the plain application box.
    void error(LogArea area, const QString &text);
    void warning(LogArea area, const QString &text);
    void plain(LogArea area, const QString &text);

    // Shows what waits, as far as there is room on screen.
    void flush();
    // After the shutdown the operator asked for: what still waits is shown
    // in boxes that wait for their OK, since nothing runs any more.
    void showWaitingAndWait();

    int waiting() const { return int(waiting_.size()); }
    int onScreen() const { return int(onScreen_.size()); }
    // Reports that were logged but not shown (already on screen or waiting,
    // or no room left).
    qint64 heldBack() const { return heldBack_; }

signals:
    // A report waits; connected (queued) to flush() so that it runs from the
    // event loop, never inside the handler that raised the report.
    void reportsWaiting();

private:
    struct Report
    {
        LogArea area;
        QString text;
        QString caption;
        Icon icon;
    };

    void raise(const Report &report);
    void closed(const QString &text);
    bool pendingOrShown(const QString &text) const;

    Prompter &display_;
    std::deque<Report> waiting_;
    QStringList onScreen_;
    qint64 heldBack_ = 0;
    bool flushing_ = false;
};

} // namespace dorvan
