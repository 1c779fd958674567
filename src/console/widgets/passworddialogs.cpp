#include "console/widgets/passworddialogs.h"

#include "console/password.h"
#include "console/widgets/dialogkeys.h"
#include "console/widgets/fonts.h"
#include "widgets/placement.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dorvan {

namespace {

constexpr Qt::WindowFlags fixedDialogFlags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint
                                             | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

QLineEdit *maskedEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setEchoMode(QLineEdit::Password);
    // Every typed character shows as "*", not the style's dot.
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    return edit;
}

} // namespace

TFormPassword::TFormPassword(const HardwareSettings &hardware, QWidget *parent)
    : QDialog(parent, fixedDialogFlags), hardware_(hardware)
{
    setObjectName(QStringLiteral("FormPassword"));
    setFont(tahomaFont(11));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(tahomaFont(12));
    EditPSW = maskedEdit(QStringLiteral("EditPSW"), this);
    // Enter closes; done() then decides the result.
    connect(EditPSW, &QLineEdit::returnPressed, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(EditPSW);
    setTexts(false);
    setFixedSize(403, 120);
}

void TFormPassword::setTexts(bool forChange)
{
    setWindowTitle(forChange ? QStringLiteral("Пожалуйста, введите старый пароль")
                             : QStringLiteral("Пожалуйста, введите пароль"));
    Label1->setText(forChange ? QStringLiteral("Введите старый пароль и нажмите Enter")
                              : QStringLiteral("Введите пароль и нажмите Enter"));
}

bool TFormPassword::ask(bool forChange)
{
    setTexts(forChange);
    const bool accepted = exec() == QDialog::Accepted;
    setTexts(false);
    return accepted;
}

void TFormPassword::showEvent(QShowEvent *event)
{
    centreClearOfAlarms(*this);
    EditPSW->clear();
    EditPSW->setFocus();
    QDialog::showEvent(event);
}

// Every way of closing comes here: the check decides the result, and the
// typed text does not outlive it.
void TFormPassword::done(int)
{
    const bool right = passwordAccepted(hardware_, EditPSW->text());
    EditPSW->clear();
    QDialog::done(right ? QDialog::Accepted : QDialog::Rejected);
}

TFormChangeRassword::TFormChangeRassword(HardwareSettings &hardware, Prompter &prompter, QWidget *parent)
    : QDialog(parent, fixedDialogFlags), hardware_(hardware), prompter_(prompter)
{
    setObjectName(QStringLiteral("FormChangeRassword"));
    setWindowTitle(QStringLiteral("Ввод нового пароля"));
    setFont(tahomaFont(12));
    Edit1 = maskedEdit(QStringLiteral("Edit1"), this);
    Edit2 = maskedEdit(QStringLiteral("Edit2"), this);
    OkButton = namedButton(QStringLiteral("OkButton"), QStringLiteral("Принять"), this);
    CanselButton = namedButton(QStringLiteral("CanselButton"), QStringLiteral("Отмена"), this);
    CanselButton->setAutoDefault(false);
    connect(OkButton, &QPushButton::clicked, this, &TFormChangeRassword::OkButtonClick);
    connect(CanselButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Введите новый пароль"), this));
    layout->addWidget(Edit1);
    layout->addWidget(new QLabel(QStringLiteral("Повторите ввод нового пароля"), this));
    layout->addWidget(Edit2);
    layout->addStretch();
    layout->addLayout(buttonRow(OkButton, CanselButton));
    setFixedSize(355, 219);
}

void TFormChangeRassword::showEvent(QShowEvent *event)
{
    centreClearOfAlarms(*this);
    Edit1->clear();
    Edit2->clear();
    Edit1->setFocus();
    QDialog::showEvent(event);
}

// "Принять" closes in every case; after a refusal the operator starts again
// from "Сменить пароль".
void TFormChangeRassword::OkButtonClick()
{
    acceptNewPassword(hardware_, prompter_, Edit1->text(), Edit2->text());
    Edit1->clear();
    Edit2->clear();
    accept();
}

} // namespace dorvan
