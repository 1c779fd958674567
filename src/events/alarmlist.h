#pragma once

#include "base/alarmsound.h"
#include "base/workcontext.h"
#include "events/eventrecord.h"
#include "grid/textgridmodel.h"

#include <QObject>

namespace dorvan {

// The alarm window's state: its list of the last 500 alarms since the
// all-clear, the counter and the looping sound.
class AlarmList : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxRows = 500;

    AlarmList(WorkContext &context, AlarmSound &sound, QObject *parent = nullptr);

    // Builds the header and the sound path; called once the working directory is known.
    void FormCreate();
    // Lists, counts and sounds one alarm, then asks for the window (alarmAdded).
    void Add_alarm(const EventRecord &record);
    // "Отбой тревог": empties the list, silences the sound and hides the window.
    void BitBtnAllOtboyClick();

    TextGridModel &list() { return StringGrid1; }
    int alarmRows() const { return alarmRows_; }
    int alarmCount() const { return alarmCount_; }
    bool soundOn() const { return soundOn_; }
    // Alarms have come since the last all-clear: only the all-clear may take
    // the window out of sight.
    bool awaitingAllClear() const { return alarmCount_ > 0 || soundOn_; }
    QString soundPath() const { return soundPath_; }
    // Yellow cells, red Tahoma text: the look of every alarm row.
    static RowStyle alarmRowStyle();

signals:
    // The window is to be shown and brought to the front unless it is active.
    void alarmAdded();
    void countChanged(int count);
    void hideRequested();

private:
    void startSoundOnce();

    WorkContext &context_;
    AlarmSound &sound_;
    TextGridModel StringGrid1;
    int alarmRows_ = 0;
    int alarmCount_ = 0;
    bool soundOn_ = false;
    QString soundPath_;
};

} // namespace dorvan
