#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
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

// Why something is done (a sensor or a post taken out of service): the
// station decides, a refusal stays in the dialog for the operator to mend.
class ReasonDialog : public QDialog
{
    Q_OBJECT

public:
    using Check = std::function<bool(const QString &reason, QString *error)>;

    ReasonDialog(const QString &title, const QString &what, const QString &action, Check check, QWidget *parent = nullptr);

    void done(int result) override;

private:
    Check check_;
    QLineEdit *reason_;
    QLabel *error_;
};

// How long and why an alarm (or every alarm of its sensor) is shelved. The
// station decides: a refusal stays in the dialog for the operator to mend.
class ShelveDialog : public QDialog
{
    Q_OBJECT

public:
    using Check = std::function<bool(int minutes, bool wholeSensor, const QString &reason, QString *error)>;

    // wholeSensor offered only when the alarm is a sensor's.
    ShelveDialog(const QString &what, int maxMinutes, bool sensorOffered, Check check, QWidget *parent = nullptr);

    void done(int result) override;

private:
    Check check_;
    QComboBox *time_;
    QCheckBox *wholeSensor_;
    QLineEdit *reason_;
    QLabel *error_;
};

} // namespace dorvan::station
