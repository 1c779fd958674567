#include "base/reportqueue.h"

#include <QPointer>

#include <algorithm>

namespace dorvan {

namespace {

const QString errorCaption = QStringLiteral("Ошибка");
const QString warningCaption = QStringLiteral("Внимание");

} // namespace

ReportQueue::ReportQueue(Prompter &display, QObject *parent) : QObject(parent), display_(display)
{
    connect(this, &ReportQueue::reportsWaiting, this, &ReportQueue::flush, Qt::QueuedConnection);
}

void ReportQueue::message(const QString &text, const QString &caption, Icon icon)
{
    logBox(LogArea::Console, icon, caption, text);
    display_.message(text, caption, icon);
}

void ReportQueue::notify(const QString &text, const QString &caption, Icon icon,
                         const std::function<void()> &closed)
{
    logBox(LogArea::Console, icon, caption, text);
    display_.notify(text, caption, icon, closed);
}

bool ReportQueue::askYesNo(const QString &text, const QString &caption)
{
    return display_.askYesNo(text, caption);
}

std::optional<QString> ReportQueue::inputText(const QString &caption, const QString &prompt,
                                              const QString &initial)
{
    return display_.inputText(caption, prompt, initial);
}

std::optional<QString> ReportQueue::openFile(const QString &directory, bool mustExist)
{
    return display_.openFile(directory, mustExist);
}

std::optional<Prompter::SavedFile> ReportQueue::saveFile(const QString &suggested, const QStringList &filters)
{
    return display_.saveFile(suggested, filters);
}

void ReportQueue::error(LogArea area, const QString &text)
{
    raise({area, text, errorCaption, Icon::Error});
}

void ReportQueue::warning(LogArea area, const QString &text)
{
    raise({area, text, warningCaption, Icon::Warning});
}

void ReportQueue::plain(LogArea area, const QString &text)
{
    raise({area, text, applicationTitle(), Icon::None});
}

bool ReportQueue::pendingOrShown(const QString &text) const
{
    return onScreen_.contains(text)
           || std::any_of(waiting_.cbegin(), waiting_.cend(),
                          [&text](const Report &report) { return report.text == text; });
}

void ReportQueue::raise(const Report &report)
{
    logBox(report.area, report.icon, report.caption, report.text);
    if (pendingOrShown(report.text) || waiting() >= MaxWaiting) {
        ++heldBack_;
        return;
    }
    waiting_.push_back(report);
    if (waiting_.size() == 1)
        emit reportsWaiting();
}

void ReportQueue::flush()
{
    // A display that waits for its OK runs the event loop meanwhile, which
    // may ask for a flush again: the outer one carries on with what waits.
    if (flushing_)
        return;
    flushing_ = true;
    while (!waiting_.empty() && onScreen() < MaxShown) {
        const Report report = waiting_.front();
        waiting_.pop_front();
        onScreen_.append(report.text);
        QPointer<ReportQueue> self(this);
        display_.notify(report.text, report.caption, report.icon, [self, text = report.text] {
            if (self)
                self->closed(text);
        });
    }
    flushing_ = false;
}

void ReportQueue::closed(const QString &text)
{
    onScreen_.removeOne(text);
    if (!waiting_.empty() && !flushing_)
        emit reportsWaiting();
}

void ReportQueue::showWaitingAndWait()
{
    while (!waiting_.empty()) {
        const Report report = waiting_.front();
        waiting_.pop_front();
        display_.message(report.text, report.caption, report.icon);
    }
}

} // namespace dorvan
