#include "sound/alarmsoundwatch.h"

#include "base/log.h"

namespace dorvan {

void AlarmSoundWatch::start(const QString &wavePath, qint64 nowMs)
{
    stop();
    wavePath_ = wavePath;
    active_ = true;
    failureLogged_ = false;
    retriedAtOnce_ = false;
    nextAttemptMs_ = nowMs; // opened by the next tick, outside the caller's call
}

void AlarmSoundWatch::stop()
{
    if (streamOpen_)
        output_.close();
    active_ = false;
    streamOpen_ = false;
    heard_ = false;
    beeping_ = false;
}

void AlarmSoundWatch::openStream(qint64 nowMs)
{
    output_.open(wavePath_);
    streamOpen_ = true;
    heard_ = false;
    lastProgress_ = 0;
    lastProgressMs_ = nowMs;
}

void AlarmSoundWatch::failed(const QString &why, qint64 nowMs)
{
    output_.close();
    streamOpen_ = false;
    heard_ = false;
    // A stream can stall on its own while a new one plays: the first retry
    // comes at once, the later ones every RetryMs.
    nextAttemptMs_ = retriedAtOnce_ ? nowMs + RetryMs : nowMs;
    retriedAtOnce_ = true;
    if (!beeping_) {
        beeping_ = true;
        output_.beep();
        nextBeepMs_ = nowMs + BeepMs;
    }
    if (!failureLogged_) {
        failureLogged_ = true;
        qCWarning(lcEvents).noquote()
            << QStringLiteral("Звук тревоги не слышен (%1): вместо него звуковой сигнал раз в секунду, "
                              "новая попытка звука каждые %2 с")
                   .arg(why)
                   .arg(RetryMs / 1000);
    }
}

void AlarmSoundWatch::tick(qint64 nowMs)
{
    if (!active_)
        return;
    if (!streamOpen_) {
        if (nowMs >= nextAttemptMs_)
            openStream(nowMs);
    } else if (const QString fault = output_.fault(); !fault.isEmpty()) {
        failed(fault, nowMs);
    } else if (const qint64 progress = output_.processedUSecs(); progress > lastProgress_) {
        lastProgress_ = progress;
        lastProgressMs_ = nowMs;
        if (!heard_) {
            heard_ = true;
            if (beeping_)
                qCInfo(lcEvents).noquote()
                    << QStringLiteral("Звук тревоги снова слышен: звуковой сигнал снят");
            beeping_ = false;
            failureLogged_ = false;
            retriedAtOnce_ = false;
        }
    } else if (nowMs - lastProgressMs_ >= StallMs) {
        failed(heard_ ? QStringLiteral("вывод звука остановился") : QStringLiteral("вывод звука не начался"), nowMs);
    }

    if (beeping_ && nowMs >= nextBeepMs_) {
        output_.beep();
        nextBeepMs_ += BeepMs;
        if (nextBeepMs_ <= nowMs)
            nextBeepMs_ = nowMs + BeepMs;
    }
}

} // namespace dorvan
