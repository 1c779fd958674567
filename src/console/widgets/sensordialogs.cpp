#include "console/widgets/sensordialogs.h"

#include "console/operatorcommands.h"
#include "console/sensorcommands.h"
#include "console/widgets/dialogkeys.h"
#include "console/widgets/fonts.h"
#include "widgets/placement.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace dorvan {

namespace {

constexpr Qt::WindowFlags fixedDialogFlags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint
                                             | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

} // namespace

OperatorGroup::OperatorGroup(OperatorList &operators, Prompter &prompter, QWidget *parent)
    : QGroupBox(QStringLiteral("Фамилия оператора"), parent), operators_(operators), prompter_(prompter)
{
    ComboBoxFam = new QComboBox(this);
    ComboBoxFam->setObjectName(QStringLiteral("ComboBoxFam"));
    ComboBoxFam->setEditable(false);
    // Only "Принять" answers Enter in these dialogs.
    AddButton = namedButton(QStringLiteral("AddButton"), QStringLiteral("Добавить"), this);
    AddButton->setAutoDefault(false);
    RemoveButton1 = namedButton(QStringLiteral("RemoveButton1"), QStringLiteral("Удалить"), this);
    RemoveButton1->setAutoDefault(false);
    connect(AddButton, &QPushButton::clicked, this, &OperatorGroup::AddButtonClick);
    connect(RemoveButton1, &QPushButton::clicked, this, &OperatorGroup::RemoveButton1Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Список"), this));
    layout->addWidget(ComboBoxFam);
    layout->addLayout(buttonRow(AddButton, RemoveButton1));
}

void OperatorGroup::reload()
{
    ComboBoxFam->clear();
    ComboBoxFam->addItems(operators_.names());
    ComboBoxFam->setCurrentIndex(ComboBoxFam->count() > 0 ? 0 : -1);
}

int OperatorGroup::chosenIndex() const
{
    return ComboBoxFam->currentIndex();
}

void OperatorGroup::AddButtonClick()
{
    const auto added = Add_operator(operators_, prompter_);
    if (!added)
        return;
    ComboBoxFam->clear();
    ComboBoxFam->addItems(operators_.names());
    ComboBoxFam->setFocus();
    ComboBoxFam->setCurrentIndex(*added);
}

void OperatorGroup::RemoveButton1Click()
{
    if (Remove_operator(operators_, prompter_, chosenIndex()))
        reload();
}

TFSetSensor::TFSetSensor(const SensorDialogParts &parts, QWidget *parent)
    : QDialog(parent, fixedDialogFlags), p_(parts)
{
    setObjectName(QStringLiteral("FSetSensor"));
    setWindowTitle(QStringLiteral("Подключение датчика"));
    setFont(tahomaFont(11));

    EditNumSen = new QLineEdit(QStringLiteral("0"), this);
    EditNumSen->setObjectName(QStringLiteral("EditNumSen"));
    EditNumSen->installEventFilter(this);
    ComboBoxTypeSen = new QComboBox(this);
    ComboBoxTypeSen->setObjectName(QStringLiteral("ComboBoxTypeSen"));
    ComboBoxTypeSen->addItems({QStringLiteral("Дорван-301ДК"), QStringLiteral("Дорван-302ДК")});
    ComboBoxTypeSen->installEventFilter(this);
    operators = new OperatorGroup(parts.operators, parts.prompter, this);
    operators->ComboBoxFam->installEventFilter(this);
    ButtonAccept = namedButton(QStringLiteral("ButtonAccept"), QStringLiteral("Принять"), this);
    ButtonCansel = namedButton(QStringLiteral("ButtonCansel"), QStringLiteral("Отмена"), this);
    connect(ButtonAccept, &QPushButton::clicked, this, &TFSetSensor::ButtonAcceptClick);
    connect(ButtonCansel, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Номер датчика"), this));
    layout->addWidget(EditNumSen);
    layout->addWidget(new QLabel(QStringLiteral("Тип датчика"), this));
    layout->addWidget(ComboBoxTypeSen);
    layout->addWidget(operators);
    layout->addStretch();
    layout->addLayout(buttonRow(ButtonAccept, ButtonCansel));
    // As designed, but never so narrow that the title bar cuts the caption.
    setFixedSize(std::max(242, widthForTitle(*this, windowTitle())), 356);
}

void TFSetSensor::showEvent(QShowEvent *event)
{
    centreClearOfAlarms(*this);
    FormActivate();
    QDialog::showEvent(event);
}

void TFSetSensor::FormActivate()
{
    operators->reload();
    EditNumSen->setText(QStringLiteral("0"));
    ComboBoxTypeSen->setCurrentIndex(1);
    EditNumSen->setFocus();
}

// Enter in the number moves on to "Принять", whose own Enter then accepts;
// Enter in a pick list does nothing.
bool TFSetSensor::eventFilter(QObject *watched, QEvent *event)
{
    if (!isEnterPress(event))
        return QDialog::eventFilter(watched, event);
    if (watched == EditNumSen)
        ButtonAccept->setFocus();
    return true;
}

void TFSetSensor::ButtonAcceptClick()
{
    const ConnectEntry entry{EditNumSen->text(), ComboBoxTypeSen->currentIndex(),
                             operators->chosenIndex()};
    p_.sensorCommands.acceptConnection(p_.selection.selectedRow(), entry);
    // A refused entry closes the dialog too: the operator starts again from
    // the initial values.
    accept();
}

TRemoveSensor::TRemoveSensor(const SensorDialogParts &parts, QWidget *parent)
    : QDialog(parent, fixedDialogFlags), p_(parts)
{
    setObjectName(QStringLiteral("RemoveSensor"));
    setWindowTitle(QStringLiteral("Отключение датчика"));
    setFont(tahomaFont(11));

    LabelSensor = new QLabel(this);
    LabelSensor->setObjectName(QStringLiteral("LabelSensor"));
    LabelSensor->setFont(tahomaFont(11, true));
    operators = new OperatorGroup(parts.operators, parts.prompter, this);
    operators->ComboBoxFam->installEventFilter(this);
    ButtonAccept = namedButton(QStringLiteral("ButtonAccept"), QStringLiteral("Принять"), this);
    ButtonCansel = namedButton(QStringLiteral("ButtonCansel"), QStringLiteral("Отмена"), this);
    connect(ButtonAccept, &QPushButton::clicked, this, &TRemoveSensor::ButtonAcceptClick);
    connect(ButtonCansel, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LabelSensor);
    layout->addWidget(operators);
    layout->addStretch();
    layout->addLayout(buttonRow(ButtonAccept, ButtonCansel));
    setFixedSize(std::max(265, widthForTitle(*this, windowTitle())), 255);
}

// Opens at the top left corner of the screen, where it was designed, unless
// the alarm window is in the way.
void TRemoveSensor::showEvent(QShowEvent *event)
{
    moveToTopLeft(*this);
    keepClearOfAlarms(*this);
    FormActivate();
    QDialog::showEvent(event);
}

void TRemoveSensor::FormActivate()
{
    LabelSensor->setText(p_.sensorCommands.disconnectTarget(p_.selection.selectedRow()));
    operators->reload();
    ButtonAccept->setFocus();
}

bool TRemoveSensor::eventFilter(QObject *watched, QEvent *event)
{
    if (!isEnterPress(event))
        return QDialog::eventFilter(watched, event);
    ButtonAccept->setFocus();
    return true;
}

void TRemoveSensor::ButtonAcceptClick()
{
    p_.sensorCommands.acceptDisconnection(p_.selection.selectedRow(), {operators->chosenIndex()});
    accept();
}

} // namespace dorvan
