#pragma once

#include <QDialog>
#include <QGroupBox>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvan {

class OperatorList;
class Prompter;
class SensorCommands;
class SensorSelection;

// What the connect and disconnect dialogs work with.
struct SensorDialogParts
{
    SensorCommands &sensorCommands;
    OperatorList &operators;
    Prompter &prompter;
    const SensorSelection &selection;
};

// The group "Фамилия оператора" of the connect and disconnect dialogs: the
// operator list with its "Добавить" and "Удалить" buttons.
class OperatorGroup : public QGroupBox
{
    Q_OBJECT

public:
    OperatorGroup(OperatorList &operators, Prompter &prompter, QWidget *parent);

    // Fills the pick list from the operator table and chooses item 0.
    void reload();
    int chosenIndex() const;
    void AddButtonClick();
    void RemoveButton1Click();

    QComboBox *ComboBoxFam = nullptr;
    QPushButton *AddButton = nullptr;
    QPushButton *RemoveButton1 = nullptr;

private:
    OperatorList &operators_;
    Prompter &prompter_;
};

// "Подключение датчика".
class TFSetSensor : public QDialog
{
    Q_OBJECT

public:
    explicit TFSetSensor(const SensorDialogParts &parts, QWidget *parent = nullptr);

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
    SensorDialogParts p_;
};

// "Отключение датчика".
class TRemoveSensor : public QDialog
{
    Q_OBJECT

public:
    explicit TRemoveSensor(const SensorDialogParts &parts, QWidget *parent = nullptr);

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
    SensorDialogParts p_;
};

} // namespace dorvan
