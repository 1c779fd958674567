#include "console/connection.h"

#include "base/russian.h"
#include "console/commands.h"
#include "console/console.h"

#include <optional>

namespace dorvan {

namespace {

const OperatorEntry *chosenOperator(const Console &console, int index)
{
    const auto &operators = console.operators().operatorTable();
    if (index < 0 || index >= operators.size() || operators[index].name.isEmpty())
        return nullptr;
    return &operators[index];
}

bool numberInUse(const Console &console, qint32 number)
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (console.table()[slot].address == quint32(number))
            return true;
    }
    return false;
}

// The sensor number of the entry, or nullopt after the refusal was shown.
// Only 1..65535 can ever answer: the line carries 16 bits of the address and
// replies are matched to the whole stored address.
std::optional<qint32> checkedNumber(Console &console, const QString &text)
{
    Prompter &prompter = console.ctx().prompter;
    const auto number = ru::parseInt32(text);
    if (!number) {
        prompter.error(QStringLiteral("Вы ввели ошибочное число; повторите ввод"));
        return std::nullopt;
    }
    if (*number == 0) {
        prompter.error(QStringLiteral("Номер датчика должен быть отличен от нуля"));
        return std::nullopt;
    }
    if (*number < 1 || *number > 65535) {
        prompter.error(QStringLiteral("Вы ввели ошибочное число; повторите ввод"));
        return std::nullopt;
    }
    if (numberInUse(console, *number)) {
        prompter.error(QStringLiteral("Датчик с таким номером уже существует!"));
        return std::nullopt;
    }
    return number;
}

// The operator's full name as stored in chop.dat; the pick list's name when
// the file cannot be read.
QString operatorName(Console &console, const QString &picked, qint16 recordNumber)
{
    QString name = picked;
    console.operators().Read_chop(recordNumber, name);
    return name;
}

void logSensorEvent(Console &console, const SensorRecord &r, double time, quint8 code,
                    const QString &text)
{
    console.events().Put_msg(EventRecord::make(qint32(r.address), time, code, text), r.model);
}

void logConnection(Console &console, const SensorRecord &r, const QString &name)
{
    logSensorEvent(console, r, r.connectedAt, EventCode::Connected,
                   eventText(EventCode::Connected, {0, r.model, qint32(r.address), name}));
    logSensorEvent(console, r, console.ctx().clock.nowDays(), EventCode::NoLink,
                   eventText(EventCode::NoLink, {0, r.model, qint32(r.address)}));
}

} // namespace

bool acceptConnection(Console &console, const ConnectEntry &entry)
{
    if (console.selectedRow() < 1 || console.selectedRow() > SlotCount) {
        console.ctx().prompter.error(selectPositionMessage());
        return false;
    }
    const auto number = checkedNumber(console, entry.number);
    if (!number)
        return false;
    const OperatorEntry *chosen = chosenOperator(console, entry.operatorIndex);
    if (!chosen) {
        console.ctx().prompter.error(QStringLiteral("Не выбрана фамилия оператора"));
        return false;
    }

    const int slot = console.selectedRow() - 1;
    const qint16 model = entry.typeIndex == 0 ? 0 : 1;
    const QString chosenName = chosen->name;
    const qint16 recordNumber = chosen->recordNumber;
    console.table().Occupy_slot(slot, quint32(*number), model, recordNumber,
                              console.ctx().clock.nowDays());
    console.Refresh_row(slot);
    console.sensorRows().showGuard(slot, 1, 0);
    console.sensorRows().showGuard(slot, 2, 0);
    console.link().restartPolling();

    logConnection(console, console.table()[slot], operatorName(console, chosenName, recordNumber));
    console.link().statistics().showConnectedSlotStats(slot);
    console.hardware().Save_Hw();
    console.sensorFiles().Save_sm(console.table()[slot], 'a');
    console.showSensorCount();
    return true;
}

bool acceptDisconnection(Console &console, const DisconnectEntry &entry)
{
    const OperatorEntry *chosen = chosenOperator(console, entry.operatorIndex);
    if (!chosen) {
        console.ctx().prompter.error(QStringLiteral("Не выбрана фамилия"));
        return false;
    }
    const int slot = console.selectedRow() - 1;
    if (!console.table().occupied(slot)) {
        console.ctx().prompter.error(QStringLiteral("В этой позиции датчик не установлен!"));
        return false;
    }
    const QString chosenName = chosen->name;
    const qint16 recordNumber = chosen->recordNumber;

    console.table().Free_slot_stamp(slot, recordNumber, console.ctx().clock.nowDays());
    console.sensorFiles().saveSlot(slot, true);
    console.table().Free_slot_reset(slot);
    console.sensorRows().clear(slot, Colour::Silver);

    const SensorRecord &r = console.table()[slot];
    const QString name = operatorName(console, chosenName, r.disconnectedBy);
    logSensorEvent(console, r, r.disconnectedAt, EventCode::Disconnected,
                   eventText(EventCode::Disconnected, {0, r.model, qint32(r.address), name}));

    console.table().Free_slot_empty(slot);
    console.hardware().Save_Hw();
    console.showSensorCount();
    console.link().statistics().clearSlotStats(slot);
    console.link().statistics().clearSlotStatsRow(slot);
    return true;
}

QString disconnectTarget(const Console &console)
{
    const int slot = console.selectedRow() - 1;
    if (!console.table().occupied(slot))
        return {};
    const SensorRecord &r = console.table()[slot];
    return QStringLiteral("Датчик <%1> № %2").arg(modelName(r.model), QString::number(qint32(r.address)));
}

} // namespace dorvan
