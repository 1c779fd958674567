#pragma once

#include "base/alarmsound.h"
#include "sound/alarmsoundwatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace dorvan {

// The alarm sound through Qt Multimedia, judged by what really goes out.
// Every alarm plays Error.wav in a loop through a new QAudioSink in a thread
// of its own, so a sound server that hangs or dies never stops the console.
// AlarmSoundWatch follows the sink's progress: when it stalls or fails (no
// file, no device, the server gone) the system beep sounds at once and every
// second while the alarm lasts, the log says why, and the sound is tried
// again in the background. The beep is the program's (QApplication::beep()
// in a widgets program), so that the sound needs nothing beyond Qt Core and
// Qt Multimedia.
class QtAlarmSound : public QObject, public AlarmSound
{
    Q_OBJECT

public:
    explicit QtAlarmSound(std::function<void()> beep, QObject *parent = nullptr);
    ~QtAlarmSound() override;

    void startLoop(const QString &wavePath) override;
    void stop() override;

    bool beeping() const { return watch_.beeping(); }
    bool heard() const { return watch_.heard(); }

private:
    class Output;

    void tick();

    std::unique_ptr<Output> output_;
    AlarmSoundWatch watch_;
    QTimer ticker_;
    QElapsedTimer clock_;
};

} // namespace dorvan
