#pragma once

#include "base/prompter.h"

#include <QList>
#include <QPointer>

class QDialog;
class QMessageBox;
class QWidget;

namespace dorvan {

// The console's message boxes, questions, input boxes and open-file dialogs
// as Qt dialogs.
//
// No box hides behind the always-on-top alarm window. Boxes that wait for an
// answer are modal to the main window only, so the alarm window, which has no
// parent, answers the operator while one is open; since a window manager keeps
// such a box in its parent's layer, below the alarm window, it opens clear of
// the alarm window. Boxes that do not wait (notify) belong to no window, stay
// on top and open in the top left corner of the screen, one below the other.
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
    std::optional<SavedFile> saveFile(const QString &suggested, const QStringList &filters) override;

    // Boxes that do not wait, still on screen.
    int openBoxes() const;
    // The window that boxes must not hide behind.
    void keepClearOf(QWidget *window) { clearOf_ = window; }
    // Puts the open boxes above every other window again (after the alarm
    // window came to the front), so no box is hidden behind it.
    void raiseOpenBoxes();

private:
    QPoint nextBoxPosition() const;
    void placeClear(QWidget &box) const;
    int execOnTop(QDialog &dialog);

    QList<QPointer<QMessageBox>> open_;
    QPointer<QDialog> waiting_; // the box or dialog that waits for the operator
    QPointer<QWidget> clearOf_;
};

} // namespace dorvan
