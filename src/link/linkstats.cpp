#include "link/link.h"

namespace dorvan {

namespace {

constexpr int LinkColumn = 7;

} // namespace

void Link::showSlotCounter(int slot, int column, qint32 value)
{
    comGrid_.setCell(column, slot + 1, QString::number(value));
}

void Link::showSlotCounters(int slot)
{
    for (int column = 1; column <= 6; ++column)
        comGrid_.setCell(column, slot + 1, QStringLiteral("0"));
}

void Link::Button2Click()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        stats_[size_t(slot)] = SlotStats();
        if (table_[slot].address != 0)
            showSlotCounters(slot);
    }
}

void Link::clearSlotStats(int slot)
{
    if (!SensorTable::validSlot(slot))
        return;
    stats_[size_t(slot)] = SlotStats();
    statsLinkShown_[size_t(slot)] = 0;
}

void Link::clearSlotStatsRow(int slot)
{
    if (SensorTable::validSlot(slot))
        comGrid_.clearRow(slot + 1, 1, 9);
}

void Link::showConnectedSlotStats(int slot)
{
    if (!SensorTable::validSlot(slot))
        return;
    showSlotCounters(slot);
    statsLinkShown_[size_t(slot)] = 0;
    comGrid_.setCell(LinkColumn, slot + 1, QStringLiteral("Нет связи"));
}

void Link::showStoredSlotStats(int slot)
{
    if (!SensorTable::validSlot(slot))
        return;
    if (table_[slot].state == SensorState::NoLink)
        comGrid_.setCell(LinkColumn, slot + 1, QStringLiteral("Нет связи"));
    showSlotCounters(slot);
}

} // namespace dorvan
