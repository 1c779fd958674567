#pragma once

#include "base/captions.h"
#include "base/context.h"
#include "events/eventlog.h"
#include "link/link.h"
#include "sensors/sensorrows.h"
#include "sensors/sensortable.h"
#include "sensors/settingsfiles.h"

#include <QString>

#include <optional>

namespace dorvan {

// What the connect dialog collected.
struct ConnectEntry
{
    QString number;          // EditNumSen as typed
    int typeIndex = 1;       // ComboBoxTypeSen: 0 = Дорван-301ДК, else Дорван-302ДК
    int operatorIndex = -1;  // ComboBoxFam: index into the operator table, -1 = none
};

// What the disconnect dialog collected.
struct DisconnectEntry
{
    int operatorIndex = -1;  // ComboBoxFam: index into the operator table, -1 = none
};

// The operator's commands on the sensors: connection, disconnection, arming
// and disarming, and the repaint of a row from the table. Built from the parts
// they change; the console owns one. `row` is the selected grid row, 1..32.
class SensorCommands
{
public:
    struct Parts
    {
        ConsoleContext &ctx;
        SensorTable &table;
        SensorRows &rows;
        HardwareSettings &hardware;
        SensorFiles &sensorFiles;
        OperatorList &operators;
        EventLog &events;
        Link &link;
        Captions &captions;
    };

    explicit SensorCommands(const Parts &parts) : p_(parts) {}

    // "Принять" of the connect dialog: refuses a wrong entry with its message and
    // changes nothing, else puts the sensor into slot row - 1, shows it,
    // logs it, restarts polling and saves the settings and the sensor's file.
    // Returns true when the sensor was connected.
    bool acceptConnection(int row, const ConnectEntry &entry);
    // "Принять" of the disconnect dialog: closes the sensor's record in its file,
    // logs the disconnection and empties the slot of row - 1.
    bool acceptDisconnection(int row, const DisconnectEntry &entry);
    // The sensor the disconnect dialog would disconnect ("Датчик <Дорван-301ДК>
    // № 1001"), or an empty text when the slot of row - 1 holds none.
    QString disconnectTarget(int row) const;

    // Arming and disarming of loop 1 or 2 of a slot; nothing goes on the line.
    void setLoopGuard(int slot, int loop, bool arm);
    // The alarm window's disarm by a typed address.
    void disarmByAddress(const QString &typedAddress, int loop);

    // Shows a slot's sensor as the table holds it: texts and row colour.
    void Refresh_row(int slot);
    void showSensorCount();

private:
    const OperatorEntry *chosenOperator(int index) const;
    bool numberInUse(qint32 number) const;
    std::optional<qint32> checkedNumber(const QString &text);
    QString operatorName(const QString &picked, qint16 recordNumber);
    void logSensorEvent(const SensorRecord &r, double time, quint8 code, const QString &text);
    void logConnection(const SensorRecord &r, const QString &name);

    Parts p_;
};

} // namespace dorvan
