#pragma once

#include "base/alarmsound.h"

#include <QObject>
#include <QTimer>

class QSoundEffect;

namespace dorvan {

// The alarm sound through Qt Multimedia. A missing or unplayable wave file
// falls back to the system beep, repeated about once a second until stopped.
// Nothing here blocks: the effect loads and plays on its own.
class QtAlarmSound : public QObject, public AlarmSound
{
    Q_OBJECT

public:
    explicit QtAlarmSound(QObject *parent = nullptr);

    void startLoop(const QString &wavePath) override;
    void stop() override;

    bool beeping() const { return beepTimer_.isActive(); }

private:
    void startBeeping();
    void onStatusChanged();

    QSoundEffect *effect_ = nullptr; // made at the first alarm
    QTimer beepTimer_;
    bool playing_ = false;
};

} // namespace dorvan
