#include "console/commands.h"

#include "console/console.h"

namespace dorvan {

QString selectPositionMessage()
{
    return QStringLiteral("Выберите позицию датчика в таблице, щёлкнув левой кнопкой мыши по "
                          "соответствующей ячейке столбца <Зав.№>");
}

MenuEnabling menuEnabling(int selectedRow, const SensorTable &table)
{
    MenuEnabling items;
    if (selectedRow < 1 || selectedRow > SlotCount)
        return items;
    const int slot = selectedRow - 1;
    if (!table.occupied(slot)) {
        items.PEstablish = true;
        return items;
    }
    const SensorRecord &r = table[slot];
    items.PRemove = true;
    items.N_Direct_component_porog = true;
    items.PRemoveSh1 = r.armed1 != 0;
    items.PSetSh1 = !items.PRemoveSh1;
    items.PRemoveSh2 = r.armed2 != 0;
    items.PSetSh2 = !items.PRemoveSh2;
    return items;
}

MenuCommands::MenuCommands(Console &console, OperatorDialogs &dialogs)
    : console_(console), dialogs_(dialogs)
{
}

MenuEnabling MenuCommands::PopupMenu1Popup()
{
    checkSelection();
    return menuEnabling(console_.selectedRow(), console_.table());
}

bool MenuCommands::checkSelection()
{
    if (console_.selectedRow() >= 1)
        return true;
    console_.ctx().prompter.error(selectPositionMessage());
    return false;
}

void MenuCommands::PEstablishClick()
{
    dialogs_.showConnect();
}

void MenuCommands::PRemoveClick()
{
    dialogs_.showDisconnect();
}

void MenuCommands::changeGuard(int loop, bool arm)
{
    if (!checkSelection())
        return;
    console_.sensorCommands().setLoopGuard(console_.selectedRow() - 1, loop, arm);
}

void MenuCommands::refusePassword()
{
    console_.ctx().prompter.error(QStringLiteral("Ваш пароль неверный"));
}

void MenuCommands::N_Direct_component_porogClick()
{
    if (!dialogs_.askPassword(false)) {
        refusePassword();
        return;
    }
    if (console_.table().occupied(console_.selectedRow() - 1))
        dialogs_.showThresholdOffset();
}

void MenuCommands::N1Click()
{
    const int slot = console_.selectedRow() - 1;
    if (!console_.table().occupied(slot))
        return;
    console_.report().sensorReport(console_.table()[slot].address, console_.table()[slot].model);
    dialogs_.showReport();
}

void MenuCommands::MReplacePasswordClick()
{
    if (!dialogs_.askPassword(true)) {
        refusePassword();
        return;
    }
    dialogs_.showPasswordChange();
}

void MenuCommands::N2Click()
{
    dialogs_.showAbout();
}

} // namespace dorvan
