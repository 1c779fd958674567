#pragma once

#include <QString>

namespace dorvan {

class Clock;
class EventLog;
class Prompter;
class SensorSelection;
class SensorTable;

// The working values of the threshold offset dialog and its rules; the
// dialog shows the texts and forwards the edits' texts when the focus leaves.
// One set of values for the whole run, reloaded from the slot at every opening.
class ThresholdOffset
{
public:
    // Which group of the dialog fits the sensor's model.
    enum class Group { Unchanged, Single, Flanks };

    struct Parts
    {
        Prompter &prompter;
        Clock &clock;
        SensorTable &table;
        EventLog &events;
        const SensorSelection &selection;
    };

    explicit ThresholdOffset(const Parts &parts);

    // Loads the working values from slot selectedRow - 1.
    Group FormActivate();
    QString singleText() const;          // dcEntry, unsigned decimal
    QString flankText(int flank) const;  // dcEntry1/2 as "0,000"

    // Leaving an edit: converts its text into the working value, or shows
    // "Вы ввели ошибочное число; повторите ввод" and keeps the old value.
    void EditDirect_component_porogExit(const QString &text);
    void EditDirect_component_porogFlankExit(int flank, const QString &text);

    // "Принять": queues the set request and logs each value that changed.
    void ButtonAcceptClick();

    quint16 dcEntry = 0;
    float dcEntry1 = 0;
    float dcEntry2 = 0;

private:
    int slot() const;
    void refuseNumber();
    // Logs a change of the threshold of a flank (1 or 2), or of the sensor's one (0).
    void logChange(int flank);

    Parts p_;
};

} // namespace dorvan
