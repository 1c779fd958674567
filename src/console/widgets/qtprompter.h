#pragma once

#include "base/prompter.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>

namespace dorvan {

// The console's message boxes, questions, input boxes and open-file dialogs
// as Qt dialogs, modal over whatever window is active.
//
// The timers keep running while a message box waits for its OK, so a failing
// file can report again and again from inside the first box. Such reports
// never open a nested modal loop (which would deepen the stack with every
// event for as long as the operator is away): they appear as boxes that do not
// block, and a text that is already on screen is not shown twice.
class QtPrompter final : public Prompter
{
public:
    static constexpr int MaxWaitingBoxes = 16;

    ~QtPrompter() override;

    void message(const QString &text, const QString &caption, Icon icon) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    std::optional<QString> openFile(const QString &directory, bool mustExist) override;

    // Boxes shown while another one waited, still on screen.
    int waitingBoxes() const;

private:
    void showWithoutBlocking(const QString &text, const QString &caption, Icon icon);
    bool alreadyShown(const QString &text) const;

    int modalDepth_ = 0;
    QString modalText_;
    QList<QPointer<QMessageBox>> waiting_;
};

} // namespace dorvan
