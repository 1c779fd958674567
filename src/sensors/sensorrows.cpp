#include "sensors/sensorrows.h"

#include "grid/textgridmodel.h"

namespace dorvan {

void SensorGridRows::show(int slot, SensorColumn column, const QString &text)
{
    grid_.setCell(int(column), slot + 1, text);
}

QString SensorGridRows::text(int slot, SensorColumn column) const
{
    return grid_.cell(int(column), slot + 1);
}

quint32 SensorGridRows::colour(int slot) const
{
    return grid_.rowBackground(slot + 1);
}

bool SensorGridRows::setColour(int slot, quint32 colour)
{
    // The grid model repaints the row when the colour changes.
    return grid_.setRowBackground(slot + 1, colour);
}

void SensorGridRows::clear(int slot, quint32 colour)
{
    setColour(slot, colour);
    grid_.clearRow(slot + 1, int(SensorColumn::Address), int(SensorColumn::Guard2));
    grid_.repaint();
}

void SensorGridRows::repaint()
{
    grid_.repaint();
}

} // namespace dorvan
