#include "events/alarmlist.h"

#include "base/russian.h"

namespace dorvan {

AlarmList::AlarmList(WorkContext &context, AlarmSound &sound, QObject *parent)
    : QObject(parent), context_(context), sound_(sound), StringGrid1(2, 2)
{
    StringGrid1.setRowStyle(0, alarmRowStyle());
    StringGrid1.setRowStyle(1, alarmRowStyle());
}

RowStyle AlarmList::alarmRowStyle()
{
    RowStyle style;
    style.background = Colour::Yellow;
    style.fontName = QStringLiteral("Tahoma");
    style.fontColor = Colour::Red;
    style.fontSize = 10; // 13 pixels at 96 dpi
    return style;
}

void AlarmList::FormCreate()
{
    StringGrid1.setCell(0, 0, QStringLiteral("  Дата и время"));
    StringGrid1.setCell(1, 0, QStringLiteral("  Событие"));
    soundPath_ = context_.path(QStringLiteral("Error.wav"));
    soundOn_ = false;
}

void AlarmList::startSoundOnce()
{
    if (soundOn_)
        return;
    sound_.startLoop(soundPath_);
    soundOn_ = true;
}

void AlarmList::Add_alarm(const EventRecord &record)
{
    startSoundOnce();

    const int last = StringGrid1.gridRowCount() - 1;
    if (alarmRows_ >= MaxRows)
        StringGrid1.shiftRowsUp(1, last);
    StringGrid1.setCell(0, last, ru::eventTimeText(record.time));
    StringGrid1.setCell(1, last, record.textString());

    if (alarmRows_ < MaxRows)
        ++alarmRows_;
    if (alarmRows_ < MaxRows) {
        StringGrid1.setGridRowCount(last + 2);
        StringGrid1.setRowStyle(last + 1, alarmRowStyle());
    }

    ++alarmCount_;
    emit countChanged(alarmCount_);
    emit alarmAdded();
}

void AlarmList::BitBtnAllOtboyClick()
{
    for (int row = 1; row < StringGrid1.gridRowCount(); ++row)
        StringGrid1.clearRow(row, 0, 1);
    alarmCount_ = 0;
    alarmRows_ = 0;
    StringGrid1.setGridRowCount(2);
    emit countChanged(0);

    sound_.stop();
    soundOn_ = false;
    emit hideRequested();
}

} // namespace dorvan
