#include "console/commands.h"

#include "base/prompter.h"
#include "console/sensorcommands.h"
#include "events/reportpager.h"
#include "sensors/sensortable.h"

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

MenuCommands::MenuCommands(const Parts &parts, OperatorDialogs &dialogs) : p_(parts), dialogs_(dialogs) {}

int MenuCommands::selectedRow() const
{
    return p_.selection.selectedRow();
}

MenuEnabling MenuCommands::PopupMenu1Popup()
{
    checkSelection();
    return menuEnabling(selectedRow(), p_.table);
}

bool MenuCommands::checkSelection()
{
    if (selectedRow() >= 1)
        return true;
    p_.prompter.error(selectPositionMessage());
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
    p_.sensorCommands.setLoopGuard(selectedRow() - 1, loop, arm);
}

void MenuCommands::refusePassword()
{
    p_.prompter.error(QStringLiteral("Ваш пароль неверный"));
}

void MenuCommands::N_Direct_component_porogClick()
{
    if (!dialogs_.askPassword(false)) {
        refusePassword();
        return;
    }
    if (p_.table.occupied(selectedRow() - 1))
        dialogs_.showThresholdOffset();
}

void MenuCommands::N1Click()
{
    const int slot = selectedRow() - 1;
    if (!p_.table.occupied(slot))
        return;
    p_.report.sensorReport(p_.table[slot].address, p_.table[slot].model);
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
