#include "sound/qtalarmsound.h"

#include "sound/wavefile.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QIODevice>
#include <QMediaDevices>
#include <QMutex>
#include <QPointer>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <cstring>

namespace dorvan {

namespace {

// How much sound the server holds ahead of what it plays: a stream that stops
// being played stops taking samples within this time.
constexpr int BufferUSecs = 200'000;
// How long a stream may wait for the audio system to come up at start.
constexpr int AudioReadyMs = 3000;

// The wave's samples, over and over.
class LoopDevice : public QIODevice
{
public:
    explicit LoopDevice(QByteArray pcm) : pcm_(std::move(pcm)) {}

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return QIODevice::bytesAvailable() + (qint64(1) << 20); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize) {
            const qint64 chunk = qMin(maxSize - done, qint64(pcm_.size()) - at_);
            std::memcpy(data + done, pcm_.constData() + at_, size_t(chunk));
            done += chunk;
            at_ = (at_ + chunk) % pcm_.size();
        }
        return done;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray pcm_;
    qint64 at_ = 0;
};

QAudioFormat formatOf(const WaveSound &wave)
{
    QAudioFormat format;
    format.setSampleRate(wave.sampleRate);
    format.setChannelCount(wave.channels);
    switch (wave.sample) {
    case WaveSound::Sample::UInt8: format.setSampleFormat(QAudioFormat::UInt8); break;
    case WaveSound::Sample::Int16: format.setSampleFormat(QAudioFormat::Int16); break;
    case WaveSound::Sample::Int32: format.setSampleFormat(QAudioFormat::Int32); break;
    case WaveSound::Sample::Float: format.setSampleFormat(QAudioFormat::Float); break;
    }
    return format;
}

// What one stream's thread shares with the console's thread.
struct StreamState
{
    std::atomic<qint64> processed{0};
    std::atomic<bool> stopping{false};
    mutable QMutex mutex;
    QString fault;

    void setFault(const QString &why)
    {
        QMutexLocker lock(&mutex);
        if (fault.isEmpty())
            fault = why;
    }
    QString faultText() const
    {
        QMutexLocker lock(&mutex);
        return fault;
    }
};

QString sinkFault(const QAudioSink &sink)
{
    switch (sink.error()) {
    case QAudio::NoError:
    case QAudio::UnderrunError: // a fed stream is idle between writes; progress tells
        break;
    case QAudio::OpenError: return QStringLiteral("поток не открылся");
    case QAudio::IOError: return QStringLiteral("ошибка записи в поток");
    case QAudio::FatalError: return QStringLiteral("звуковой сервер недоступен");
    }
    if (sink.state() == QAudio::StoppedState)
        return QStringLiteral("поток остановлен");
    return {};
}

// The body of one stream's thread: from the file to the sink, then follow it
// until the console lets it go.
void playStream(StreamState &state, const QString &wavePath, QSemaphore &audioReady)
{
    const WaveSound wave = readWave(wavePath);
    if (!wave.playable()) {
        state.setFault(wave.fault);
        return;
    }
    if (!audioReady.tryAcquire(1, AudioReadyMs)) {
        state.setFault(QStringLiteral("звуковая система не ответила за %1 с").arg(AudioReadyMs / 1000));
        return;
    }
    audioReady.release();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        state.setFault(QStringLiteral("нет устройства вывода звука"));
        return;
    }
    const QAudioFormat format = formatOf(wave);
    LoopDevice loop(wave.pcm);
    loop.open(QIODevice::ReadOnly);
    QAudioSink sink(device, format);
    sink.setBufferSize(format.bytesForDuration(BufferUSecs));
    // Fed by this thread with as much as the server has room for, so the
    // stream takes samples only as fast as they go out.
    QIODevice *stream = sink.start();
    if (!stream) {
        const QString fault = sinkFault(sink);
        state.setFault(fault.isEmpty() ? QStringLiteral("поток не открылся") : fault);
        return;
    }

    QEventLoop events;
    QTimer feed;
    feed.setInterval(20);
    QByteArray chunk;
    QObject::connect(&feed, &QTimer::timeout, &events, [&] {
        if (state.stopping) {
            events.quit();
            return;
        }
        const qint64 room = sink.bytesFree() / format.bytesPerFrame() * format.bytesPerFrame();
        if (room > 0) {
            chunk.resize(room);
            loop.read(chunk.data(), room);
            stream->write(chunk);
        }
        state.processed = sink.processedUSecs();
        if (const QString fault = sinkFault(sink); !fault.isEmpty())
            state.setFault(fault);
    });
    feed.start();
    if (!state.stopping)
        events.exec();
    sink.stop();
}

} // namespace

// Every stream in a thread of its own, dropped (never waited for) when the
// watch closes it. The audio system's own objects are made once, in a
// thread that lives as long as this output, so that they outlive every stream.
class QtAlarmSound::Output : public AlarmOutput
{
public:
    explicit Output(std::function<void()> beep) : beep_(std::move(beep))
    {
        home_->setObjectName(QStringLiteral("alarm-audio"));
        home_->start();
        auto *context = new QObject;
        context->moveToThread(home_);
        QObject::connect(home_, &QThread::finished, context, &QObject::deleteLater);
        QMetaObject::invokeMethod(context, [this] {
            QMediaDevices::defaultAudioOutput();
            audioReady_.release();
        }, Qt::QueuedConnection);
    }

    ~Output() override
    {
        close();
        const QDeadlineTimer deadline(1000);
        for (const QPointer<QThread> &thread : std::as_const(streams_))
            if (thread)
                thread->wait(deadline);
        home_->quit();
        // A thread stuck in the audio system is left to the end of the process.
        if (home_->wait(deadline))
            delete home_;
    }

    void open(const QString &wavePath) override
    {
        close();
        state_ = std::make_shared<StreamState>();
        QThread *thread = QThread::create([state = state_, wavePath, ready = &audioReady_] {
            playStream(*state, wavePath, *ready);
        });
        thread->setObjectName(QStringLiteral("alarm-stream"));
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        streams_.removeAll(nullptr);
        streams_.append(thread);
        thread->start();
    }

    void close() override
    {
        if (state_)
            state_->stopping = true;
        state_.reset();
    }

    qint64 processedUSecs() const override { return state_ ? state_->processed.load() : 0; }
    QString fault() const override { return state_ ? state_->faultText() : QString(); }
    void beep() override
    {
        if (beep_)
            beep_();
    }

private:
    std::function<void()> beep_;
    QThread *home_ = new QThread;
    QSemaphore audioReady_;
    std::shared_ptr<StreamState> state_;
    QList<QPointer<QThread>> streams_;
};

QtAlarmSound::QtAlarmSound(std::function<void()> beep, QObject *parent)
    : QObject(parent), output_(std::make_unique<Output>(std::move(beep))), watch_(*output_)
{
    clock_.start();
    ticker_.setTimerType(Qt::PreciseTimer);
    ticker_.setInterval(AlarmSoundWatch::TickMs);
    connect(&ticker_, &QTimer::timeout, this, &QtAlarmSound::tick);
}

QtAlarmSound::~QtAlarmSound()
{
    watch_.stop();
}

void QtAlarmSound::startLoop(const QString &wavePath)
{
    watch_.start(wavePath, clock_.elapsed());
    ticker_.start();
    // The stream is set up from the event loop, after the caller has returned.
    QMetaObject::invokeMethod(this, &QtAlarmSound::tick, Qt::QueuedConnection);
}

void QtAlarmSound::stop()
{
    watch_.stop();
    ticker_.stop();
}

void QtAlarmSound::tick()
{
    watch_.tick(clock_.elapsed());
}

} // namespace dorvan
