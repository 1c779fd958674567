#pragma once

#include <QString>

namespace dorvan {

class Console;

// What the connect dialog collected.
struct ConnectEntry
{
    QString number;          // EditNumSen as typed
    int typeIndex = 1;       // ComboBoxTypeSen: 0 = Дорван-301ДК, else Дорван-302ДК
    int operatorIndex = -1;  // ComboBoxFam: index into the operator table, -1 = none
};

// "Принять" of the connect dialog: refuses a wrong entry with its message and
// changes nothing, else puts the sensor into slot selectedRow - 1, shows it,
// logs it, restarts polling and saves the settings and the sensor's file.
// Returns true when the sensor was connected.
bool acceptConnection(Console &console, const ConnectEntry &entry);

// What the disconnect dialog collected.
struct DisconnectEntry
{
    int operatorIndex = -1;  // ComboBoxFam: index into the operator table, -1 = none
};

// "Принять" of the disconnect dialog: closes the sensor's record in its file,
// logs the disconnection and empties the slot of selectedRow - 1.
bool acceptDisconnection(Console &console, const DisconnectEntry &entry);

// The sensor the disconnect dialog would disconnect ("Датчик <Дорван-301ДК>
// № 1001"), or an empty text when the selected slot holds none.
QString disconnectTarget(const Console &console);

} // namespace dorvan
