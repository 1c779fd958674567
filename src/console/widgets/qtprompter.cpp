#include "console/widgets/qtprompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include <algorithm>

namespace dorvan {

namespace {

QWidget *dialogParent()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

QMessageBox::Icon boxIcon(Prompter::Icon icon)
{
    switch (icon) {
    case Prompter::Icon::Error: return QMessageBox::Critical;
    case Prompter::Icon::Warning: return QMessageBox::Warning;
    case Prompter::Icon::Information: return QMessageBox::Information;
    case Prompter::Icon::Question: return QMessageBox::Question;
    case Prompter::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QtPrompter::~QtPrompter()
{
    for (const auto &box : std::as_const(waiting_))
        delete box.data();
}

void QtPrompter::message(const QString &text, const QString &caption, Icon icon)
{
    if (modalDepth_ > 0) {
        showWithoutBlocking(text, caption, icon);
        return;
    }
    QMessageBox box(boxIcon(icon), caption, text, QMessageBox::Ok, dialogParent());
    ++modalDepth_;
    modalText_ = text;
    box.exec();
    modalText_.clear();
    --modalDepth_;
}

void QtPrompter::showWithoutBlocking(const QString &text, const QString &caption, Icon icon)
{
    waiting_.removeIf([](const QPointer<QMessageBox> &box) { return box.isNull(); });
    if (alreadyShown(text) || waiting_.size() >= MaxWaitingBoxes)
        return;
    auto *box = new QMessageBox(boxIcon(icon), caption, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    waiting_.append(box);
}

bool QtPrompter::alreadyShown(const QString &text) const
{
    if (text == modalText_)
        return true;
    return std::any_of(waiting_.cbegin(), waiting_.cend(), [&text](const QPointer<QMessageBox> &box) {
        return box && box->text() == text;
    });
}

int QtPrompter::waitingBoxes() const
{
    return int(std::count_if(waiting_.cbegin(), waiting_.cend(),
                             [](const QPointer<QMessageBox> &box) { return !box.isNull(); }));
}

bool QtPrompter::askYesNo(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompter::inputText(const QString &caption, const QString &prompt,
                                             const QString &initial)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(dialogParent(), caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtPrompter::openFile(const QString &directory, bool mustExist)
{
    QFileDialog dialog(dialogParent(), QString(), directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace dorvan
