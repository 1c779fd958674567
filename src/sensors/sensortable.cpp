#include "sensors/sensortable.h"

#include <cstring>

namespace dorvan {

void SensorRecord::clearWordsAndBlocks()
{
    linkUp = 0;
    pendingRequest = 0;
    std::memset(spareWords, 0, sizeof spareWords);
    std::memset(spareA, 0, sizeof spareA);
    std::memset(spareB, 0, sizeof spareB);
    std::memset(spareC, 0, sizeof spareC);
}

void SensorRecord::clearValues()
{
    threshold1 = threshold2 = 0;
    signalM0a = signalM0b = signal1 = signal2 = 0;
}

void SensorRecord::clearAllValues()
{
    clearValues();
    thresholdDc1 = thresholdDc2 = 0;
}

QString stateText(qint32 state)
{
    switch (state) {
    case 0: return QStringLiteral("Норма");
    case 2: return QStringLiteral("Сопр.изол.ЧЭ1 ниже нормы");
    case 3: return QStringLiteral("Сопр.изол.ЧЭ2 ниже нормы");
    case 4: return QStringLiteral("Обрыв ЧЭ 1");
    case 5: return QStringLiteral("Обрыв ЧЭ 2");
    case 7: return QStringLiteral("Разбаланс фл.(1>2)");
    case 8: return QStringLiteral("Разбаланс фл.(2>1)");
    case 9: return QStringLiteral("Ошибка ППЗУ");
    case 10: return QStringLiteral("Сопр.изол.ЧЭ1 ниже нормы. Обрыв ЧЭ1");
    case 11: return QStringLiteral("Сопр.изол.ЧЭ2 ниже нормы. Обрыв ЧЭ2");
    case 15: return QStringLiteral("Нет связи");
    default: return {};
    }
}

// A sensor's fault states are the codes of its fault events.
QString modelName(int model)
{
    return model == 0 ? QStringLiteral("Дорван-301ДК") : QStringLiteral("Дорван-302ДК");
}

QString alarmText(quint8 alarm)
{
    return alarm ? QStringLiteral("Тревога") : QStringLiteral("Норма");
}

QString guardText(quint8 armed)
{
    return armed == 1 ? QStringLiteral("Взят") : QStringLiteral("Снят");
}

SensorTable::SensorTable()
{
    Reset_table();
}

void SensorTable::Reset_table()
{
    for (auto &record : slots_)
        record = SensorRecord();
    missedReplies.fill(0);
    storedRecord.fill(StoredRecord::Sound);
    noteChanged(AllSlots, SensorChange::Connection);
}

void SensorTable::Occupy_slot(int slot, quint32 address, qint16 model, qint16 operatorRecord,
                              double now)
{
    SensorRecord &r = slots_[size_t(slot)];
    r.recordMark = 1;
    r.address = address;
    r.model = model == 0 ? 0 : 1;
    r.position = qint16(slot);
    r.connectedAt = now;
    r.connectedBy = operatorRecord;
    r.disconnectedAt = 0;
    r.disconnectedBy = -1;
    r.spare = 0;
    r.armed1 = r.armed2 = 0;
    r.state = SensorState::NoLink;
    r.alarm1 = r.alarm2 = 1;
    r.clearAllValues();
    r.clearWordsAndBlocks();
    storedRecord[size_t(slot)] = StoredRecord::Sound;
    noteChanged(slot, SensorChange::Connection);
}

void SensorTable::Free_slot_stamp(int slot, qint16 operatorRecord, double now)
{
    SensorRecord &r = slots_[size_t(slot)];
    r.disconnectedAt = now;
    r.disconnectedBy = operatorRecord;
}

void SensorTable::Free_slot_reset(int slot)
{
    SensorRecord &r = slots_[size_t(slot)];
    r.recordMark = 1;
    r.position = 0;
    r.connectedAt = 0;
    r.connectedBy = 0;
    r.spare = 0;
    r.armed1 = r.armed2 = 0;
    r.state = SensorState::NoLink;
    r.alarm1 = r.alarm2 = 1;
    r.clearAllValues();
    r.clearWordsAndBlocks();
}

void SensorTable::Free_slot_empty(int slot)
{
    SensorRecord &r = slots_[size_t(slot)];
    r.address = 0;
    r.model = 0;
    r.disconnectedAt = 0;
    r.disconnectedBy = 0;
    storedRecord[size_t(slot)] = StoredRecord::Sound;
    noteChanged(slot, SensorChange::Connection);
}

void SensorTable::Mark_no_link()
{
    for (auto &r : slots_) {
        r.state = SensorState::NoLink;
        r.alarm1 = r.alarm2 = 1;
        r.clearValues();
        r.clearWordsAndBlocks();
    }
    noteChanged(AllSlots, SensorChange::State | SensorChange::Values | SensorChange::Link);
}

int SensorTable::Find_sensor(quint16 address) const
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        const SensorRecord &r = slots_[size_t(slot)];
        if (r.address == quint32(address))
            // A position read from a damaged file must not send the receiver
            // outside the table.
            return validSlot(r.position) ? r.position : slot;
    }
    return -1;
}

int SensorTable::Count_sensors() const
{
    int count = 0;
    for (const auto &r : slots_)
        count += r.address != 0 ? 1 : 0;
    return count;
}

} // namespace dorvan
