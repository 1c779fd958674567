#include "events/widgets/qtalarmsound.h"

#include <QApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace dorvan {

QtAlarmSound::QtAlarmSound(QObject *parent) : QObject(parent)
{
    beepTimer_.setInterval(1000);
    connect(&beepTimer_, &QTimer::timeout, this, [] { QApplication::beep(); });
}

void QtAlarmSound::startLoop(const QString &wavePath)
{
    stop();
    playing_ = true;
    if (!QFileInfo(wavePath).isFile()) {
        startBeeping();
        return;
    }
    if (!effect_) {
        effect_ = new QSoundEffect(this);
        connect(effect_, &QSoundEffect::statusChanged, this, &QtAlarmSound::onStatusChanged);
    }
    effect_->setSource(QUrl::fromLocalFile(wavePath));
    effect_->setLoopCount(QSoundEffect::Infinite);
    effect_->play();
    onStatusChanged(); // a source that failed before may report no change
}

void QtAlarmSound::stop()
{
    playing_ = false;
    beepTimer_.stop();
    if (effect_)
        effect_->stop();
}

void QtAlarmSound::startBeeping()
{
    QApplication::beep();
    beepTimer_.start();
}

void QtAlarmSound::onStatusChanged()
{
    // The file is decoded after play() returned; an unplayable one shows up here.
    if (playing_ && effect_ && effect_->status() == QSoundEffect::Error && !beepTimer_.isActive())
        startBeeping();
}

} // namespace dorvan
