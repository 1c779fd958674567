#pragma once

#include "base/alarmsound.h"

#include <QObject>
#include <QTimer>

class QSoundEffect;

namespace dorvan {

// The alarm sound through Qt Multimedia. When the platform cannot play it (no
// wave file, no audio output device, a decoding error, or the effect not
// playing a moment after it was started) the system beep sounds instead,
// about once a second until stopped, and the log says why, once per run.
// Nothing here blocks: the effect loads and plays on its own.
class QtAlarmSound : public QObject, public AlarmSound
{
    Q_OBJECT

public:
    // How long the effect may take to start playing before the beep takes over.
    static constexpr int StartCheckMs = 1500;

    explicit QtAlarmSound(QObject *parent = nullptr);

    void startLoop(const QString &wavePath) override;
    void stop() override;

    bool beeping() const { return beepTimer_.isActive(); }

private:
    void fallBackToBeep(const QString &why);
    void onStatusChanged();
    void checkPlaying();

    QSoundEffect *effect_ = nullptr; // made at the first alarm
    QTimer beepTimer_;
    QTimer startCheck_;
    bool playing_ = false;
    bool silenceLogged_ = false;
};

} // namespace dorvan
