#include "station/widgets/stationdialogs.h"

#include "station/widgets/stationuilog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dorvan::station {

namespace {

QLabel *errorLabel(QWidget *parent)
{
    auto *error = new QLabel(parent);
    error->setObjectName(QStringLiteral("error"));
    error->setStyleSheet(QStringLiteral("color: #B00000; font-weight: bold"));
    error->setWordWrap(true);
    error->hide();
    return error;
}

QString durationText(int minutes)
{
    if (minutes % 60 != 0)
        return QStringLiteral("%1 мин").arg(minutes);
    return QStringLiteral("%1 ч").arg(minutes / 60);
}

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

ShelveDialog::ShelveDialog(const QString &what, int maxMinutes, bool sensorOffered, Check check, QWidget *parent)
    : QDialog(parent), check_(std::move(check)), time_(new QComboBox(this)),
      wholeSensor_(new QCheckBox(QStringLiteral("все тревоги этого датчика, и новые тоже"), this)),
      reason_(new QLineEdit(this)), error_(errorLabel(this))
{
    setObjectName(QStringLiteral("shelve"));
    setWindowTitle(QStringLiteral("Отложить тревогу"));
    time_->setObjectName(QStringLiteral("time"));
    for (const int minutes : {15, 30, 60, 120, 240, 480, 720, 1440}) {
        if (minutes < maxMinutes)
            time_->addItem(durationText(minutes), minutes);
    }
    time_->addItem(durationText(maxMinutes), maxMinutes);
    time_->setCurrentIndex(qMin(2, time_->count() - 1));
    wholeSensor_->setObjectName(QStringLiteral("wholeSensor"));
    wholeSensor_->setVisible(sensorOffered);
    reason_->setObjectName(QStringLiteral("reason"));
    reason_->setMaxLength(500);
    reason_->setPlaceholderText(QStringLiteral("обязательно: например, ремонт шлейфа"));
    auto *label = new QLabel(what, this);
    label->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("На срок:"), time_);
    form->addRow(QStringLiteral("Причина:"), reason_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(form);
    layout->addWidget(wholeSensor_);
    layout->addWidget(error_);
    layout->addWidget(buttons(this, QStringLiteral("Отложить")));
    setMinimumWidth(420);
}

void ShelveDialog::done(int result)
{
    if (result == QDialog::Accepted) {
        QString error;
        if (!check_(time_->currentData().toInt(), wholeSensor_->isChecked(), reason_->text(), &error)) {
            qCWarning(lcStationUi).noquote() << "shelving refused:" << error;
            error_->setText(error);
            error_->show();
            reason_->setFocus();
            return;
        }
    }
    QDialog::done(result);
}

ReasonDialog::ReasonDialog(const QString &title, const QString &what, const QString &action, Check check, QWidget *parent)
    : QDialog(parent), check_(std::move(check)), reason_(new QLineEdit(this)), error_(errorLabel(this))
{
    setObjectName(QStringLiteral("reason"));
    setWindowTitle(title);
    reason_->setObjectName(QStringLiteral("reason"));
    reason_->setMaxLength(500);
    reason_->setPlaceholderText(QStringLiteral("обязательно: например, замена датчика"));
    auto *label = new QLabel(what, this);
    label->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Причина:"), reason_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addWidget(buttons(this, action));
    setMinimumWidth(420);
    reason_->setFocus();
}

void ReasonDialog::done(int result)
{
    if (result == QDialog::Accepted) {
        QString error;
        if (!check_(reason_->text(), &error)) {
            qCWarning(lcStationUi).noquote() << windowTitle() << "refused:" << error;
            error_->setText(error);
            error_->show();
            reason_->setFocus();
            return;
        }
    }
    QDialog::done(result);
}

QString CommentDialog::comment() const
{
    return comment_->text().trimmed();
}

} // namespace dorvan::station
