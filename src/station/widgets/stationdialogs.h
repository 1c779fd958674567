#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;

namespace dorvan::station {

// The operator's name and password. The check is the station's: the dialog
// stays open with its answer until it accepts, and forgets the password
// either way.
class SignInDialog : public QDialog
{
    Q_OBJECT

public:
    using Check = std::function<bool(const QString &name, const QString &password, QString *error)>;

    SignInDialog(Check check, QWidget *parent = nullptr);

    void done(int result) override;

private:
    Check check_;
    QLineEdit *name_;
    QLineEdit *password_;
    QLabel *error_;
};

// What an acknowledgement says: which alarms, and the operator's optional
// comment, passed on when the operator confirms.
class CommentDialog : public QDialog
{
    Q_OBJECT

public:
    CommentDialog(const QString &what, QWidget *parent = nullptr);

    QString comment() const;

private:
    QLineEdit *comment_;
};

} // namespace dorvan::station
