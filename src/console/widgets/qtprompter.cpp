#include "console/widgets/qtprompter.h"

#include "base/russian.h"

#include "base/windowplacement.h"
#include "widgets/placement.h"

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace dorvan {

namespace {

constexpr int BoxMargin = 24;
constexpr int CascadeStep = 28;

// A box that waits belongs to the dialog the operator is in, or else to the
// main window, and blocks only that; never to the alarm window, which must
// answer at any time.
QWidget *dialogParent()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->inherits("QMainWindow"))
            return window;
    }
    return nullptr;
}


// The buttons read as the console names them, whether or not Qt's own
// translations are installed.
void nameButtons(QMessageBox &box)
{
    const std::pair<QMessageBox::StandardButton, QString> names[] = {
        {QMessageBox::Ok, QStringLiteral("OK")},
        {QMessageBox::Yes, QStringLiteral("Да")},
        {QMessageBox::No, QStringLiteral("Нет")}};
    for (const auto &[button, name] : names) {
        if (QAbstractButton *shown = box.button(button))
            shown->setText(name);
    }
}

// The columns of a file dialog's list in Russian whatever the system's
// locale: Qt writes the size and the date in the system's (C.UTF-8: "9 Dec",
// "KiB") and takes the type from a catalogue that may not be installed.
class RussianFileColumns : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || index.column() < 1 || index.column() > 3)
            return QIdentityProxyModel::data(index, role);
        const QFileInfo info = files->fileInfo(mapToSource(index));
        switch (index.column()) {
        case 1: return info.isDir() ? QString() : sizeText(info.size());
        case 2: return info.isDir() ? QStringLiteral("Папка") : QStringLiteral("Файл");
        default: {
            const QDateTime modified = info.lastModified();
            return ru::shortDate(modified.date()) + u' ' + ru::longTime(modified.time());
        }
        }
    }

private:
    static QString sizeText(qint64 bytes)
    {
        if (bytes < 1024)
            return QStringLiteral("%1 байт").arg(bytes);
        return QLocale(QLocale::Russian, QLocale::Russia)
            .formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    }
};

void nameFileDialog(QFileDialog &dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new RussianFileColumns(&dialog));
    if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView"))) {
        const QFontMetrics metrics(details->font());
        details->header()->resizeSection(3, metrics.horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + 16);
    }
    dialog.setWindowTitle(dialog.acceptMode() == QFileDialog::AcceptSave ? QStringLiteral("Сохранить")
                                                                         : QStringLiteral("Открыть"));
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Папка:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Имя файла:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Тип файлов:"));
    dialog.setLabelText(QFileDialog::Accept, dialog.acceptMode() == QFileDialog::AcceptSave
                                                 ? QStringLiteral("Сохранить")
                                                 : QStringLiteral("Открыть"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
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
    for (const auto &box : std::as_const(open_))
        delete box.data();
}

void QtPrompter::placeClear(QWidget &box) const
{
    if (!clearOf_ || !clearOf_->isVisible())
        return;
    const placement::Places places =
        placement::placeDialog(screenArea(*clearOf_), frameOf(box), frameOf(*clearOf_));
    moveFrameTo(box, places.dialog);
    alarmWindowGivesWay(*clearOf_, box, places.alarm);
}

int QtPrompter::execOnTop(QDialog &dialog)
{
    dialog.setWindowModality(dialog.parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (clearOf_ && clearOf_->isVisible()) {
        // Where the dialog would open by itself: centred over its parent.
        dialog.adjustSize();
        QRect frame(QPoint(), dialog.size());
        const QWidget *over = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
        frame.moveCenter(over ? over->frameGeometry().center() : clearOf_->frameGeometry().center());
        dialog.move(frame.topLeft());
        placeClear(dialog);
    }
    const QPointer<QDialog> outer = waiting_;
    waiting_ = &dialog;
    const int result = dialog.exec();
    waiting_ = outer;
    return result;
}

void QtPrompter::message(const QString &text, const QString &caption, Icon icon)
{
    QMessageBox box(boxIcon(icon), caption, text, QMessageBox::Ok, dialogParent());
    nameButtons(box);
    execOnTop(box);
}

QPoint QtPrompter::nextBoxPosition() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QPoint corner = screen ? screen->availableGeometry().topLeft() : QPoint();
    const int step = CascadeStep * (openBoxes() % 8);
    return corner + QPoint(BoxMargin + step, BoxMargin + step);
}

void QtPrompter::notify(const QString &text, const QString &caption, Icon icon,
                        const std::function<void()> &closed)
{
    open_.removeIf([](const QPointer<QMessageBox> &box) { return box.isNull(); });
    auto *box = new QMessageBox(boxIcon(icon), caption, text, QMessageBox::Ok);
    nameButtons(*box);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->setModal(false);
    QObject::connect(box, &QMessageBox::finished, box, [closed] {
        if (closed)
            closed();
    });
    box->move(nextBoxPosition());
    open_.append(box);
    box->show();
}

int QtPrompter::openBoxes() const
{
    return int(std::count_if(open_.cbegin(), open_.cend(),
                             [](const QPointer<QMessageBox> &box) { return !box.isNull(); }));
}

void QtPrompter::raiseOpenBoxes()
{
    for (const auto &box : std::as_const(open_)) {
        if (box)
            box->raise();
    }
    if (waiting_) {
        placeClear(*waiting_);
        waiting_->raise();
    }
}

bool QtPrompter::askYesNo(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    dialogParent());
    nameButtons(box);
    // Every question of the console ends or removes something: a stray Enter
    // must not answer it.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return execOnTop(box) == QMessageBox::Yes;
}

std::optional<QString> QtPrompter::inputText(const QString &caption, const QString &prompt,
                                             const QString &initial)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Отмена"));
    // Its layout decides its size: a label as wide as the caption needs widens it.
    if (auto *label = dialog.findChild<QLabel *>())
        label->setMinimumWidth(widthForTitle(dialog, caption)
                               - 2 * dialog.style()->pixelMetric(QStyle::PM_LayoutLeftMargin));
    if (execOnTop(dialog) != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> QtPrompter::openFile(const QString &directory, bool mustExist)
{
    QFileDialog dialog(dialogParent(), QString(), directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    nameFileDialog(dialog);
    if (execOnTop(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<Prompter::SavedFile> QtPrompter::saveFile(const QString &suggested, const QStringList &filters)
{
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    nameFileDialog(dialog);
    dialog.setNameFilters(filters);
    dialog.selectFile(suggested);
    // The name typed without an extension gets the one of the type chosen.
    const auto suffixOf = [](const QString &filter) {
        return filter.section(QStringLiteral("*."), 1).section(u')', 0, 0);
    };
    dialog.setDefaultSuffix(suffixOf(filters.value(0)));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, suffixOf](const QString &filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
    if (execOnTop(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return SavedFile{dialog.selectedFiles().constFirst(), int(filters.indexOf(dialog.selectedNameFilter()))};
}

} // namespace dorvan
