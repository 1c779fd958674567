#pragma once

#include "sensors/sensortable.h"

#include <QString>

namespace dorvan {

class TextGridModel;

// The columns of the sensor grid StringGrid1; row 0 holds the headers and
// the sensor of slot s is on row s + 1.
enum class SensorColumn {
    Number = 0,
    Address = 1,
    Model = 2,
    Loop1 = 3,
    Loop2 = 4,
    Threshold1 = 5,
    Signal1 = 6,
    Threshold2 = 7,
    Signal2 = 8,
    State = 9,
    Guard1 = 10,
    Guard2 = 11,
};
constexpr int SensorColumnCount = 12;

// The loop's "Ш1"/"Ш2" column and its "На охране" column.
constexpr SensorColumn loopColumn(int loop)
{
    return loop == 1 ? SensorColumn::Loop1 : SensorColumn::Loop2;
}
constexpr SensorColumn guardColumn(int loop)
{
    return loop == 1 ? SensorColumn::Guard1 : SensorColumn::Guard2;
}

// What the operator sees of each sensor: the texts and colour of its row.
// The line's decoder and the operator's commands paint rows through it; what
// a sensor is lives in the sensor table, never in the row.
class SensorRows
{
public:
    virtual ~SensorRows() = default;

    virtual void show(int slot, SensorColumn column, const QString &text) = 0;
    virtual quint32 colour(int slot) const = 0;
    // Returns whether the colour changed.
    virtual bool setColour(int slot, quint32 colour) = 0;
    // An empty slot: texts gone, colour as given.
    virtual void clear(int slot, quint32 colour) = 0;
    // Tells the views to repaint every row.
    virtual void repaint() = 0;

    void showLoopAlarm(int slot, int loop, quint8 alarm) { show(slot, loopColumn(loop), alarmText(alarm)); }
    void showGuard(int slot, int loop, quint8 armed) { show(slot, guardColumn(loop), guardText(armed)); }
};

// The rows as cells of the sensor grid.
class SensorGridRows : public SensorRows
{
public:
    explicit SensorGridRows(TextGridModel &grid) : grid_(grid) {}

    void show(int slot, SensorColumn column, const QString &text) override;
    quint32 colour(int slot) const override;
    bool setColour(int slot, quint32 colour) override;
    void clear(int slot, quint32 colour) override;
    void repaint() override;

    QString text(int slot, SensorColumn column) const;

private:
    TextGridModel &grid_;
};

} // namespace dorvan
