#include "events/widgets/qtalarmsound.h"

#include "base/log.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace dorvan {

QtAlarmSound::QtAlarmSound(QObject *parent) : QObject(parent)
{
    beepTimer_.setInterval(1000);
    connect(&beepTimer_, &QTimer::timeout, this, [] { QApplication::beep(); });
    startCheck_.setSingleShot(true);
    startCheck_.setInterval(StartCheckMs);
    connect(&startCheck_, &QTimer::timeout, this, &QtAlarmSound::checkPlaying);
}

void QtAlarmSound::startLoop(const QString &wavePath)
{
    stop();
    playing_ = true;
    if (!QFileInfo(wavePath).isFile()) {
        fallBackToBeep(QStringLiteral("нет файла ") + wavePath);
        return;
    }
    // Without an output device Qt still reports the effect as playing.
    if (QMediaDevices::audioOutputs().isEmpty()) {
        fallBackToBeep(QStringLiteral("нет устройства вывода звука"));
        return;
    }
    if (!effect_) {
        effect_ = new QSoundEffect(this);
        connect(effect_, &QSoundEffect::statusChanged, this, &QtAlarmSound::onStatusChanged);
    }
    effect_->setSource(QUrl::fromLocalFile(wavePath));
    effect_->setLoopCount(QSoundEffect::Infinite);
    effect_->play();
    startCheck_.start();
    onStatusChanged(); // a source that failed before may report no change
}

void QtAlarmSound::stop()
{
    playing_ = false;
    beepTimer_.stop();
    startCheck_.stop();
    if (effect_)
        effect_->stop();
}

void QtAlarmSound::fallBackToBeep(const QString &why)
{
    if (!playing_ || beepTimer_.isActive())
        return;
    if (!silenceLogged_) {
        silenceLogged_ = true;
        qCWarning(logCategory(LogArea::Events)).noquote()
            << QStringLiteral("Звук тревоги не воспроизводится (%1): вместо него звуковой сигнал раз в секунду")
                   .arg(why);
    }
    if (effect_)
        effect_->stop();
    QApplication::beep();
    beepTimer_.start();
}

void QtAlarmSound::onStatusChanged()
{
    // The file is decoded after play() returned; an unplayable one shows up here.
    if (effect_ && effect_->status() == QSoundEffect::Error)
        fallBackToBeep(QStringLiteral("ошибка воспроизведения ") + effect_->source().toLocalFile());
}

void QtAlarmSound::checkPlaying()
{
    if (effect_ && !effect_->isPlaying())
        fallBackToBeep(QStringLiteral("звук не начался за %1 мс").arg(StartCheckMs));
}

} // namespace dorvan
