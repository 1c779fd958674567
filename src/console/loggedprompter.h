#pragma once

#include "base/prompter.h"

namespace dorvan {

// The operator's boxes, shown at once and logged; they may wait. Questions
// and dialogs pass through unlogged.
class LoggedPrompter : public Prompter
{
public:
    explicit LoggedPrompter(Prompter &display) : display_(display) {}

    void message(const QString &text, const QString &caption, Icon icon) override;
    void notify(const QString &text, const QString &caption, Icon icon,
                const std::function<void()> &closed) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    std::optional<QString> openFile(const QString &directory, bool mustExist) override;
    std::optional<SavedFile> saveFile(const QString &suggested, const QStringList &filters) override;

private:
    Prompter &display_;
};

} // namespace dorvan
