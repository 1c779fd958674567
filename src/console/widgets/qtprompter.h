#pragma once

#include "base/prompter.h"

#include <QList>
#include <QPointer>

class QMessageBox;
class QWidget;

namespace dorvan {

// The console's message boxes, questions, input boxes and open-file dialogs
// as Qt dialogs.
//
// Boxes that wait for an answer are modal to the main window only: the alarm
// window, which has no parent, answers the operator while one is open. Boxes
// that do not wait (notify) belong to no window either, stay on top like the
// alarm window and open in the top left corner of the screen, one below the
// other, clear of the alarm window in the middle.
class QtPrompter final : public Prompter
{
public:
    ~QtPrompter() override;

    void message(const QString &text, const QString &caption, Icon icon) override;
    void notify(const QString &text, const QString &caption, Icon icon,
                const std::function<void()> &closed) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    std::optional<QString> openFile(const QString &directory, bool mustExist) override;

    // Boxes that do not wait, still on screen.
    int openBoxes() const;
    // Puts the open boxes above every other window again (after the alarm
    // window came to the front), so no fault report is hidden behind it.
    void raiseOpenBoxes();

private:
    QPoint nextBoxPosition() const;

    QList<QPointer<QMessageBox>> open_;
};

} // namespace dorvan
