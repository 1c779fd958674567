#include "console/sensorcommands.h"

#include "base/russian.h"
#include "console/commands.h"
#include "events/eventcatalog.h"

namespace dorvan {

const OperatorEntry *SensorCommands::chosenOperator(int index) const
{
    const auto &operators = p_.operators.operatorTable();
    if (index < 0 || index >= operators.size() || operators[index].name.isEmpty())
        return nullptr;
    return &operators[index];
}

bool SensorCommands::numberInUse(qint32 number) const
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (p_.table[slot].address == quint32(number))
            return true;
    }
    return false;
}

// The sensor number of the entry, or nullopt after the refusal was shown.
// Only 1..65535 can ever answer: the line carries 16 bits of the address and
// replies are matched to the whole stored address.
std::optional<qint32> SensorCommands::checkedNumber(const QString &text)
{
    Prompter &prompter = p_.ctx.prompter;
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
    if (numberInUse(*number)) {
        prompter.error(QStringLiteral("Датчик с таким номером уже существует!"));
        return std::nullopt;
    }
    return number;
}

// The operator's full name as stored in chop.dat; the pick list's name when
// the file cannot be read.
QString SensorCommands::operatorName(const QString &picked, qint16 recordNumber)
{
    QString name = picked;
    p_.operators.Read_chop(recordNumber, name);
    return name;
}

void SensorCommands::logSensorEvent(const SensorRecord &r, double time, quint8 code,
                                    const QString &text)
{
    p_.events.Put_msg(EventRecord::make(qint32(r.address), time, code, text), r.model);
}

void SensorCommands::logConnection(const SensorRecord &r, const QString &name)
{
    logSensorEvent(r, r.connectedAt, EventCode::Connected,
                   eventText(EventCode::Connected, {0, r.model, qint32(r.address), name}));
    logSensorEvent(r, p_.ctx.clock.nowDays(), EventCode::NoLink,
                   eventText(EventCode::NoLink, {0, r.model, qint32(r.address)}));
}

bool SensorCommands::acceptConnection(int row, const ConnectEntry &entry)
{
    if (row < 1 || row > SlotCount) {
        p_.ctx.prompter.error(selectPositionMessage());
        return false;
    }
    const auto number = checkedNumber(entry.number);
    if (!number)
        return false;
    const OperatorEntry *chosen = chosenOperator(entry.operatorIndex);
    if (!chosen) {
        p_.ctx.prompter.error(QStringLiteral("Не выбрана фамилия оператора"));
        return false;
    }

    const int slot = row - 1;
    const qint16 model = entry.typeIndex == 0 ? 0 : 1;
    const QString chosenName = chosen->name;
    const qint16 recordNumber = chosen->recordNumber;
    p_.table.Occupy_slot(slot, quint32(*number), model, recordNumber, p_.ctx.clock.nowDays());
    Refresh_row(slot);
    p_.rows.showGuard(slot, 1, 0);
    p_.rows.showGuard(slot, 2, 0);
    p_.link.restartPolling();

    logConnection(p_.table[slot], operatorName(chosenName, recordNumber));
    p_.link.statistics().showConnectedSlotStats(slot);
    p_.hardware.Save_Hw();
    p_.sensorFiles.Save_sm(p_.table[slot], 'a');
    showSensorCount();
    return true;
}

bool SensorCommands::acceptDisconnection(int row, const DisconnectEntry &entry)
{
    const OperatorEntry *chosen = chosenOperator(entry.operatorIndex);
    if (!chosen) {
        p_.ctx.prompter.error(QStringLiteral("Не выбрана фамилия"));
        return false;
    }
    const int slot = row - 1;
    if (!p_.table.occupied(slot)) {
        p_.ctx.prompter.error(QStringLiteral("В этой позиции датчик не установлен!"));
        return false;
    }
    const QString chosenName = chosen->name;
    const qint16 recordNumber = chosen->recordNumber;

    p_.table.Free_slot_stamp(slot, recordNumber, p_.ctx.clock.nowDays());
    p_.sensorFiles.saveSlot(slot, true);
    p_.table.Free_slot_reset(slot);
    p_.rows.clear(slot, Colour::Silver);

    const SensorRecord &r = p_.table[slot];
    const QString name = operatorName(chosenName, r.disconnectedBy);
    logSensorEvent(r, r.disconnectedAt, EventCode::Disconnected,
                   eventText(EventCode::Disconnected, {0, r.model, qint32(r.address), name}));

    p_.table.Free_slot_empty(slot);
    p_.hardware.Save_Hw();
    showSensorCount();
    p_.link.statistics().clearSlotStats(slot);
    p_.link.statistics().clearSlotStatsRow(slot);
    return true;
}

QString SensorCommands::disconnectTarget(int row) const
{
    const int slot = row - 1;
    if (!p_.table.occupied(slot))
        return {};
    const SensorRecord &r = p_.table[slot];
    return QStringLiteral("Датчик <%1> № %2").arg(modelName(r.model), QString::number(qint32(r.address)));
}

void SensorCommands::setLoopGuard(int slot, int loop, bool arm)
{
    if (!p_.table.occupied(slot) || (loop != 1 && loop != 2))
        return;
    SensorRecord &r = p_.table[slot];
    quint8 &flag = loop == 1 ? r.armed1 : r.armed2;
    if ((flag == 1) == arm)
        return;
    flag = arm ? 1 : 0;

    const quint8 code = arm ? (loop == 1 ? EventCode::Armed1 : EventCode::Armed2)
                            : (loop == 1 ? EventCode::Disarmed1 : EventCode::Disarmed2);
    logSensorEvent(r, p_.ctx.clock.nowDays(), code, eventText(code, {loop, r.model, qint32(r.address)}));

    p_.table.noteChanged(slot, SensorChange::Guard);
    p_.rows.showGuard(slot, loop, flag);
    if (arm)
        p_.rows.setColour(slot, Colour::Lime);
    else if (r.armed1 == 0 && r.armed2 == 0)
        p_.rows.setColour(slot, Colour::Aqua);
    p_.rows.repaint();
}

void SensorCommands::disarmByAddress(const QString &typedAddress, int loop)
{
    const auto number = ru::parseInt32(typedAddress);
    if (!number || *number == 0)
        return;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (p_.table[slot].address == quint32(*number)) {
            setLoopGuard(slot, loop, false);
            return;
        }
    }
}

void SensorCommands::Refresh_row(int slot)
{
    if (!p_.table.occupied(slot))
        return;
    const SensorRecord &r = p_.table[slot];
    SensorRows &rows = p_.rows;
    rows.show(slot, SensorColumn::Address, QString::number(r.address));
    rows.show(slot, SensorColumn::Model, modelName(r.model));
    if (r.alarm1 <= 1)
        rows.showLoopAlarm(slot, 1, r.alarm1);
    if (r.alarm2 <= 1)
        rows.showLoopAlarm(slot, 2, r.alarm2);
    rows.show(slot, SensorColumn::Threshold1, ru::generalNumber(r.threshold1));
    rows.show(slot, SensorColumn::Threshold2, ru::generalNumber(r.threshold2));
    if (r.model == 1) {
        rows.show(slot, SensorColumn::Signal1, ru::generalNumber(r.signal1));
        rows.show(slot, SensorColumn::Signal2, ru::generalNumber(r.signal2));
    } else if (r.model == 0) {
        rows.show(slot, SensorColumn::Signal1, ru::generalNumber(r.signalM0a));
        rows.show(slot, SensorColumn::Signal2, ru::generalNumber(r.signalM0b));
    }
    rows.show(slot, SensorColumn::State, stateText(r.state));

    if (r.state == SensorState::NoLink)
        rows.setColour(slot, Colour::DarkRed);
    else if (isFaultEvent(r.state))
        rows.setColour(slot, Colour::AlarmRed);
    else if (r.state == SensorState::Normal)
        rows.setColour(slot, (r.alarm1 == 1 || r.alarm2 == 1) ? Colour::AlarmRed : Colour::Lime);
    rows.repaint();
}

void SensorCommands::showSensorCount()
{
    p_.captions.set(QStringLiteral("Label8"),
                    QStringLiteral("Всего датчиков = %1   ").arg(p_.table.Count_sensors()));
}

} // namespace dorvan
