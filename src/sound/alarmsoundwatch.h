#pragma once

#include <QString>
#include <QtGlobal>

namespace dorvan {

// The audio output the alarm sound plays through. Every open() is a new
// stream on the device that is the default at that moment; nothing of an
// earlier stream is kept.
class AlarmOutput
{
public:
    virtual ~AlarmOutput() = default;
    // Drops any earlier stream and starts a new one playing the wave file in
    // a loop. Returns at once: the stream is set up elsewhere.
    virtual void open(const QString &wavePath) = 0;
    // Drops the stream; returns at once.
    virtual void close() = 0;
    // How much of the loop the output has consumed since open(), in
    // microseconds; it grows only while sound really goes out.
    virtual qint64 processedUSecs() const = 0;
    // Why the stream failed (no file, no device, the server gone); empty while
    // it has not.
    virtual QString fault() const = 0;
    // The system beep, once.
    virtual void beep() = 0;
};

// Decides, from the progress of the output, whether the alarm is heard, and
// beeps when it is not. Driven by tick() every TickMs with a millisecond
// clock; start() and stop() only change state, so the line's path that
// raises an alarm never waits for the sound.
//
// A stream that does not progress for StallMs, or fails, is dropped: the beep
// sounds at once and then every BeepMs for as long as the alarm lasts, the
// failure is logged once, and a new stream is tried at once and then every
// RetryMs; when one progresses the beep stops.
class AlarmSoundWatch
{
public:
    static constexpr int TickMs = 250;
    static constexpr int StallMs = 1000;
    static constexpr int BeepMs = 1000;
    static constexpr int RetryMs = 5000;

    explicit AlarmSoundWatch(AlarmOutput &output) : output_(output) {}

    void start(const QString &wavePath, qint64 nowMs);
    void stop();
    void tick(qint64 nowMs);

    bool active() const { return active_; }
    bool beeping() const { return beeping_; }
    // Sound has gone out since the current stream was opened.
    bool heard() const { return heard_; }

private:
    void openStream(qint64 nowMs);
    void failed(const QString &why, qint64 nowMs);

    AlarmOutput &output_;
    QString wavePath_;
    bool active_ = false;
    bool streamOpen_ = false;
    bool heard_ = false;
    bool beeping_ = false;
    bool failureLogged_ = false;
    bool retriedAtOnce_ = false;
    qint64 nextAttemptMs_ = 0;
    qint64 nextBeepMs_ = 0;
    qint64 lastProgress_ = 0;
    qint64 lastProgressMs_ = 0;
};

} // namespace dorvan
