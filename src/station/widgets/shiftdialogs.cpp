#include "station/widgets/shiftdialogs.h"

#include "station/widgets/shiftreport.h"
#include "station/widgets/stationuilog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QThread>

#include <memory>
#include <QVBoxLayout>

namespace dorvan::station {

namespace {

QString localTime(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

void showError(QWidget *parent, const QString &text)
{
    qCWarning(lcStationUi).noquote() << "box:" << text;
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Дорван: центральная станция"), text,
                                QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("box"));
    box->addButton(QStringLiteral("ОК"), QMessageBox::AcceptRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QPushButton *namedButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QPlainTextEdit *remarksEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QPlainTextEdit(parent);
    edit->setObjectName(name);
    edit->setTabChangesFocus(true);
    edit->setMaximumHeight(edit->fontMetrics().lineSpacing() * 5);
    return edit;
}

QString handoverLine(const Handover &handover)
{
    const QString accepted = handover.isAccepted() ? QStringLiteral("принял %1").arg(handover.incoming)
                                                   : QStringLiteral("не принята");
    return QStringLiteral("%1 — %2, сдал %3, %4")
        .arg(localTime(handover.from), localTime(handover.to), handover.outgoing, accepted);
}

} // namespace

ShiftReportPane::ShiftReportPane(QWidget *parent)
    : QWidget(parent), browser_(new QTextBrowser(this)), print_(namedButton(QStringLiteral("&Печать…"), QStringLiteral("print"), this)),
      save_(namedButton(QStringLiteral("Сохранить &PDF…"), QStringLiteral("savePdf"), this))
{
    browser_->setObjectName(QStringLiteral("report"));
    connect(print_, &QPushButton::clicked, this, &ShiftReportPane::print);
    connect(save_, &QPushButton::clicked, this, &ShiftReportPane::askAndSave);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(print_);
    buttons->addWidget(save_);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_, 1);
    layout->addLayout(buttons);
}

void ShiftReportPane::setReport(ShiftReport report)
{
    report_ = std::move(report);
    browser_->setHtml(shiftReportHtml(report_));
}

void ShiftReportPane::print()
{
    printShiftReport(report_, this);
}

void ShiftReportPane::askAndSave()
{
    const QString name = QStringLiteral("Отчёт о смене %1.pdf")
                             .arg(report_.to.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH-mm")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить отчёт о смене"),
                                                      QDir::home().filePath(name), QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty())
        saveTo(path);
}

// Off the window's thread: a long shift takes a second or more to lay out
// on its pages, and the alarms go on arriving meanwhile.
void ShiftReportPane::saveTo(const QString &path)
{
    save_->setEnabled(false);
    auto outcome = std::make_shared<std::pair<bool, QString>>();
    QThread *worker = QThread::create([report = report_, path, outcome] {
        outcome->first = writeShiftPdf(report, path, &outcome->second);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [this, path, outcome] {
        save_->setEnabled(true);
        if (!outcome->first)
            showError(this, outcome->second);
        emit saved(path, outcome->first);
    });
    worker->start();
}

ShiftHandoverDialog::ShiftHandoverDialog(ShiftHandover &shifts, const QString &outgoing, Accepted accepted,
                                         QWidget *parent)
    : QDialog(parent), shifts_(shifts), outgoing_(outgoing), accepted_(std::move(accepted)), title_(new QLabel(this)),
      report_(new ShiftReportPane(this)), forms_(new QStackedWidget(this)), error_(new QLabel(this))
{
    setObjectName(QStringLiteral("shiftHandover"));
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setWordWrap(true);
    error_->setObjectName(QStringLiteral("error"));
    error_->setStyleSheet(QStringLiteral("color: #B00000; font-weight: bold"));
    error_->setWordWrap(true);
    error_->hide();
    forms_->addWidget(makeHandOverForm());
    forms_->addWidget(makeAcceptForm());
    done_ = new QLabel(forms_);
    done_->setWordWrap(true);
    forms_->addWidget(done_);

    auto *close = new QDialogButtonBox(this);
    close->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("close"));
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(report_, 1);
    layout->addWidget(forms_);
    layout->addWidget(error_);
    layout->addWidget(close);
    resize(900, 700);
    showStep(shifts_.pending() ? Step::Accept : Step::HandOver);
}

QWidget *ShiftHandoverDialog::makeHandOverForm()
{
    auto *form = new QWidget(forms_);
    auto *layout = new QFormLayout(form);
    outgoingRemarks_ = remarksEdit(QStringLiteral("outgoingRemarks"), form);
    layout->addRow(QStringLiteral("Замечания сдающего:"), outgoingRemarks_);
    QPushButton *handOver = namedButton(QStringLiteral("&Сдать смену"), QStringLiteral("handOver"), form);
    connect(handOver, &QPushButton::clicked, this, &ShiftHandoverDialog::handOver);
    layout->addRow(QString(), handOver);
    return form;
}

QWidget *ShiftHandoverDialog::makeAcceptForm()
{
    auto *form = new QWidget(forms_);
    auto *layout = new QFormLayout(form);
    incomingName_ = new QLineEdit(form);
    incomingName_->setObjectName(QStringLiteral("name"));
    password_ = new QLineEdit(form);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    incomingRemarks_ = remarksEdit(QStringLiteral("incomingRemarks"), form);
    QPushButton *accept = namedButton(QStringLiteral("&Принять смену"), QStringLiteral("acceptShift"), form);
    connect(accept, &QPushButton::clicked, this, &ShiftHandoverDialog::accept);
    layout->addRow(QStringLiteral("Принимающий оператор:"), incomingName_);
    layout->addRow(QStringLiteral("Пароль:"), password_);
    layout->addRow(QStringLiteral("Замечания принимающего:"), incomingRemarks_);
    layout->addRow(QString(), accept);
    return form;
}

void ShiftHandoverDialog::showStep(Step step)
{
    step_ = step;
    error_->hide();
    forms_->setCurrentIndex(int(step));
    ShiftReport report = step == Step::Done ? ShiftReport() : shifts_.current();
    if (step == Step::Accept)
        handoverSeq_ = report.handover.seq;
    switch (step) {
    case Step::HandOver:
        setWindowTitle(QStringLiteral("Сдать смену"));
        title_->setText(QStringLiteral("Оператор %1 сдаёт смену: прочтите отчёт, допишите замечания и нажмите "
                                       "«Сдать смену».")
                            .arg(outgoing_));
        outgoingRemarks_->setFocus();
        break;
    case Step::Accept:
        setWindowTitle(QStringLiteral("Принять смену"));
        title_->setText(QStringLiteral("Смену сдал %1. Принимающий оператор: имя, пароль, замечания и «Принять смену».")
                            .arg(report.handover.outgoing));
        incomingName_->setFocus();
        break;
    case Step::Done:
        report = shifts_.reportOf(handoverSeq_).value_or(report);
        setWindowTitle(QStringLiteral("Смена принята"));
        title_->setText(QStringLiteral("Смену принял %1.").arg(report.handover.incoming));
        done_->setText(QStringLiteral("Отчёт можно напечатать сейчас или позже: «Отчёты о сменах…»."));
        break;
    }
    report_->setReport(std::move(report));
}

void ShiftHandoverDialog::handOver()
{
    QString error;
    if (!shifts_.handOver(outgoing_, outgoingRemarks_->toPlainText(), &error))
        return refuse(error);
    showStep(Step::Accept);
}

void ShiftHandoverDialog::accept()
{
    const QString name = incomingName_->text().trimmed();
    const QString password = password_->text();
    password_->clear();
    QString error;
    if (!shifts_.accept(name, password, incomingRemarks_->toPlainText(), &error))
        return refuse(error);
    showStep(Step::Done);
    if (accepted_)
        accepted_(name, password);
}

void ShiftHandoverDialog::refuse(const QString &error)
{
    qCWarning(lcStationUi).noquote() << "shift handover refused:" << error;
    error_->setText(error);
    error_->show();
}

ShiftArchiveDialog::ShiftArchiveDialog(ShiftHandover &shifts, QWidget *parent)
    : QDialog(parent), shifts_(shifts), list_(new QListWidget(this)), report_(new ShiftReportPane(this))
{
    setObjectName(QStringLiteral("shiftArchive"));
    setWindowTitle(QStringLiteral("Отчёты о сменах"));
    list_->setObjectName(QStringLiteral("handovers"));
    for (const Handover &handover : shifts_.handovers()) {
        auto *item = new QListWidgetItem(handoverLine(handover), list_);
        item->setData(Qt::UserRole, handover.seq);
    }
    connect(list_, &QListWidget::currentRowChanged, this, &ShiftArchiveDialog::showChosen);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(list_);
    splitter->addWidget(report_);
    splitter->setStretchFactor(1, 2);
    auto *close = new QDialogButtonBox(this);
    close->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    if (list_->count() == 0)
        layout->addWidget(new QLabel(QStringLiteral("Смены ещё не сдавались."), this));
    layout->addWidget(splitter, 1);
    layout->addWidget(close);
    resize(1100, 700);
    if (list_->count() > 0)
        list_->setCurrentRow(0);
}

void ShiftArchiveDialog::showChosen()
{
    const QListWidgetItem *item = list_->currentItem();
    if (!item)
        return;
    if (std::optional<ShiftReport> report = shifts_.reportOf(item->data(Qt::UserRole).toLongLong()))
        report_->setReport(std::move(*report));
}

} // namespace dorvan::station
