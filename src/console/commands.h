#pragma once

#include <QString>

namespace dorvan {

class Prompter;
class ReportPager;
class SensorCommands;
class SensorSelection;
class SensorTable;

// The message of every command that needs a selected sensor row.
QString selectPositionMessage();

// Which items of the sensor grid's context menu can be chosen. "Протокол
// датчика" and "Сменить пароль" are always enabled and are not listed.
struct MenuEnabling
{
    bool PEstablish = false;
    bool PRemove = false;
    bool PSetSh1 = false;
    bool PSetSh2 = false;
    bool PRemoveSh1 = false;
    bool PRemoveSh2 = false;
    bool N_Direct_component_porog = false;

    bool operator==(const MenuEnabling &) const = default;
};

// The enabling rule alone: an empty slot offers only connection; an occupied
// one offers disconnection, the threshold offset and, per loop, the one of arm
// and disarm that changes its flag. Nothing without a selected row.
MenuEnabling menuEnabling(int selectedRow, const SensorTable &table);

// The windows a menu command may open. The main window provides them; tests
// script them.
class OperatorDialogs
{
public:
    virtual ~OperatorDialogs() = default;
    // The password dialog, captioned for the old password when `forChange`;
    // true when the typed password was right.
    virtual bool askPassword(bool forChange) = 0;
    virtual void showConnect() = 0;
    virtual void showDisconnect() = 0;
    virtual void showThresholdOffset() = 0;
    virtual void showPasswordChange() = 0;
    virtual void showReport() = 0;
    virtual void showAbout() = 0;
};

// The commands of the context menu PopupMenu1 and of the main menu, acting on
// the sensor of the selected row.
class MenuCommands
{
public:
    struct Parts
    {
        Prompter &prompter;
        const SensorTable &table;
        const SensorSelection &selection;
        SensorCommands &sensorCommands;
        ReportPager &report;
    };

    MenuCommands(const Parts &parts, OperatorDialogs &dialogs);

    // Run each time the menu opens; tells the operator to pick a row first.
    MenuEnabling PopupMenu1Popup();

    void PEstablishClick();
    void PRemoveClick();
    void PSetSh1Click() { changeGuard(1, true); }
    void PSetSh2Click() { changeGuard(2, true); }
    void PRemoveSh1Click() { changeGuard(1, false); }
    void PRemoveSh2Click() { changeGuard(2, false); }
    void N_Direct_component_porogClick();
    void N1Click();
    void MReplacePasswordClick();
    void N2Click();

private:
    void changeGuard(int loop, bool arm);
    bool checkSelection();
    void refusePassword();

    int selectedRow() const;

    Parts p_;
    OperatorDialogs &dialogs_;
};

} // namespace dorvan
