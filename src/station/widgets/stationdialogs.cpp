#include "station/widgets/stationdialogs.h"

#include "station/widgets/stationuilog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dorvan::station {

namespace {

QDialogButtonBox *buttons(QDialog *dialog, const QString &acceptText)
{
    auto *box = new QDialogButtonBox(dialog);
    QPushButton *accept = box->addButton(acceptText, QDialogButtonBox::AcceptRole);
    accept->setObjectName(QStringLiteral("accept"));
    accept->setDefault(true);
    box->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

} // namespace

SignInDialog::SignInDialog(Check check, QWidget *parent)
    : QDialog(parent), check_(std::move(check)), name_(new QLineEdit(this)), password_(new QLineEdit(this)),
      error_(new QLabel(this))
{
    setObjectName(QStringLiteral("signIn"));
    setWindowTitle(QStringLiteral("Вход оператора"));
    name_->setObjectName(QStringLiteral("name"));
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    error_->setObjectName(QStringLiteral("error"));
    error_->setStyleSheet(QStringLiteral("color: #B00000; font-weight: bold"));
    error_->setWordWrap(true);
    error_->hide();

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Имя:"), name_);
    form->addRow(QStringLiteral("Пароль:"), password_);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addWidget(buttons(this, QStringLiteral("Войти")));
    setMinimumWidth(360);
}

void SignInDialog::done(int result)
{
    if (result == QDialog::Accepted) {
        QString error;
        if (!check_(name_->text().trimmed(), password_->text(), &error)) {
            qCWarning(lcStationUi).noquote() << "sign-in refused:" << error;
            error_->setText(error);
            error_->show();
            password_->clear();
            password_->setFocus();
            return;
        }
    }
    password_->clear();
    QDialog::done(result);
}

CommentDialog::CommentDialog(const QString &what, QWidget *parent) : QDialog(parent), comment_(new QLineEdit(this))
{
    setObjectName(QStringLiteral("acknowledge"));
    setWindowTitle(QStringLiteral("Квитирование"));
    comment_->setObjectName(QStringLiteral("comment"));
    comment_->setMaxLength(500);
    comment_->setPlaceholderText(QStringLiteral("необязательно"));
    auto *label = new QLabel(what, this);
    label->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(new QLabel(QStringLiteral("Комментарий:"), this));
    layout->addWidget(comment_);
    layout->addWidget(buttons(this, QStringLiteral("Квитировать")));
    setMinimumWidth(420);
}

QString CommentDialog::comment() const
{
    return comment_->text().trimmed();
}

} // namespace dorvan::station
