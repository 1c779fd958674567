#pragma once

#include "sensors/sensorrecord.h"

#include <QObject>
#include <QString>

#include <array>

namespace dorvan {

constexpr int SlotCount = 32;

namespace SensorState {
constexpr qint32 Normal = 0;
constexpr qint32 EepromError = 9;
constexpr qint32 NoLink = 15;
} // namespace SensorState

namespace Request {
constexpr qint16 Poll = 130;
constexpr qint16 SetDcModel1 = 193;
constexpr qint16 SetDcModel0 = 194;
} // namespace Request

// Grid text of a state code; empty for a code the console does not know.
QString stateText(qint32 state);
// "Дорван-301ДК" for model 0, "Дорван-302ДК" for any other model.
QString modelName(int model);
QString alarmText(quint8 alarm);  // "Норма" / "Тревога"
QString guardText(quint8 armed);  // "Взят" / "Снят"

// What a slot's record stands on, as start-up found the sensor's file.
enum class StoredRecord : quint8 {
    Sound,     // the file's last record is the slot's own: saves update it in place
    Damaged,   // nothing of the file's last record was taken: the file is left as it
               // is and the DC components, unknown, are not sent to the sensor
    Refounded, // the operator has set the DC components of a Damaged slot since: the
               // next save appends a record after the damaged one
};

// What changed of a sensor, for those that follow it.
enum class SensorChange : quint8 {
    Connection = 0x01, // connected, disconnected, or every slot loaded afresh
    Guard = 0x02,      // a loop armed or disarmed
    State = 0x04,      // the state code or a loop's alarm
    Values = 0x08,     // thresholds, signals or the DC components
    Link = 0x10,       // the link lost or restored
};
Q_DECLARE_FLAGS(SensorChanges, SensorChange)
Q_DECLARE_OPERATORS_FOR_FLAGS(SensorChanges)

// The 32 slots of the line and the per-slot miss counters. Those that change
// a sensor say so through noteChanged(); whoever follows a sensor listens to
// changed() rather than to the grid that shows it.
class SensorTable : public QObject
{
    Q_OBJECT

public:
    // The slot of a change that concerns every slot.
    static constexpr int AllSlots = -1;

    SensorTable();

    SensorRecord &operator[](int slot) { return slots_[size_t(slot)]; }
    const SensorRecord &operator[](int slot) const { return slots_[size_t(slot)]; }
    static bool validSlot(int slot) { return slot >= 0 && slot < SlotCount; }
    bool occupied(int slot) const { return validSlot(slot) && slots_[size_t(slot)].address != 0; }

    void Reset_table();
    void Occupy_slot(int slot, quint32 address, qint16 model, qint16 operatorRecord, double now);
    // The in-memory steps of freeing a slot; the caller writes the sensor's
    // file after the first and logs the disconnection before the last.
    void Free_slot_stamp(int slot, qint16 operatorRecord, double now);
    void Free_slot_reset(int slot);
    void Free_slot_empty(int slot);
    void Mark_no_link();
    int Find_sensor(quint16 address) const;
    int Count_sensors() const;

    void noteChanged(int slot, SensorChanges what) { emit changed(slot, what); }

    std::array<qint16, SlotCount> missedReplies{};
    std::array<StoredRecord, SlotCount> storedRecord{};

signals:
    void changed(int slot, dorvan::SensorChanges what);

private:
    std::array<SensorRecord, SlotCount> slots_{};
};

// The sensor grid's row the operator selected last, 1..32, 0 before any:
// every operator command acts on its slot.
class SensorSelection : public QObject
{
    Q_OBJECT

public:
    int selectedRow() const { return selectedRow_; }
    int selectedSlot() const { return selectedRow_ - 1; }
    void select(int row)
    {
        if (row == selectedRow_)
            return;
        selectedRow_ = row;
        emit selected(row);
    }

signals:
    void selected(int row);

private:
    int selectedRow_ = 0;
};

} // namespace dorvan
