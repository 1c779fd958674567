#pragma once

#include "base/prompter.h"

namespace dorvan {

// The console's message boxes, questions, input boxes and open-file dialogs
// as Qt dialogs, modal over whatever window is active.
class QtPrompter final : public Prompter
{
public:
    void message(const QString &text, const QString &caption, Icon icon) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    std::optional<QString> openFile(const QString &directory, bool mustExist) override;
};

} // namespace dorvan
