#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvan {

class HardwareSettings;
class Prompter;

// "Пожалуйста, введите пароль": one masked edit, closed with Enter or the
// close button; however it closes, the password is checked and the result is
// Accepted only for the right one.
class TFormPassword : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPassword(const HardwareSettings &hardware, QWidget *parent = nullptr);

    // Shows the dialog modally, asking for the old password when `forChange`;
    // true when the password was right.
    bool ask(bool forChange);
    void done(int result) override;

    QLabel *Label1 = nullptr;
    QLineEdit *EditPSW = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setTexts(bool forChange);

    const HardwareSettings &hardware_;
};

// "Ввод нового пароля".
class TFormChangeRassword : public QDialog
{
    Q_OBJECT

public:
    TFormChangeRassword(HardwareSettings &hardware, Prompter &prompter, QWidget *parent = nullptr);

    void OkButtonClick();

    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QPushButton *OkButton = nullptr;
    QPushButton *CanselButton = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    HardwareSettings &hardware_;
    Prompter &prompter_;
};

} // namespace dorvan
