#pragma once

#include <QDialog>
#include <QGroupBox>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvan {

class Console;

// The group "Фамилия оператора" of the connect and disconnect dialogs: the
// operator list with its "Добавить" and "Удалить" buttons.
class OperatorGroup : public QGroupBox
{
    Q_OBJECT

public:
    OperatorGroup(Console &console, QWidget *parent);

    // Fills the pick list from the operator table and chooses item 0.
    void reload();
    int chosenIndex() const;
    void AddButtonClick();
    void RemoveButton1Click();

    QComboBox *ComboBoxFam = nullptr;
    QPushButton *AddButton = nullptr;
    QPushButton *RemoveButton1 = nullptr;

private:
    Console &console_;
};

// "Подключение датчика".
class TFSetSensor : public QDialog
{
    Q_OBJECT

public:
    explicit TFSetSensor(Console &console, QWidget *parent = nullptr);

    void FormActivate();
    void ButtonAcceptClick();

    QLineEdit *EditNumSen = nullptr;
    QComboBox *ComboBoxTypeSen = nullptr;
    OperatorGroup *operators = nullptr;
    QPushButton *ButtonAccept = nullptr;
    QPushButton *ButtonCansel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Console &console_;
};

// "Отключение датчика".
class TRemoveSensor : public QDialog
{
    Q_OBJECT

public:
    explicit TRemoveSensor(Console &console, QWidget *parent = nullptr);

    void FormActivate();
    void ButtonAcceptClick();

    QLabel *LabelSensor = nullptr; // the sensor to be disconnected
    OperatorGroup *operators = nullptr;
    QPushButton *ButtonAccept = nullptr;
    QPushButton *ButtonCansel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Console &console_;
};

} // namespace dorvan
