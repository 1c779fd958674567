#include "trends/trendrecorder.h"

#include "base/log.h"

#include <QDir>
#include <QFile>

namespace dorvan {

namespace {

QString faultText(TrendStore::Fault fault)
{
    switch (fault) {
    case TrendStore::Fault::Damaged: return QStringLiteral("файл повреждён");
    case TrendStore::Fault::Locked: return QStringLiteral("файл занят другой программой");
    case TrendStore::Fault::Full: return QStringLiteral("нет места");
    case TrendStore::Fault::Unwritable: return QStringLiteral("запись невозможна");
    default: return QStringLiteral("ошибка базы данных");
    }
}

} // namespace

bool TrendWriter::tryOpen(qint64 nowMs, Outcome &outcome)
{
    tried_ = true;
    if (store_.open()) {
        outcome.movedAside = store_.movedAside();
        return true;
    }
    failed(nowMs, outcome);
    return false;
}

void TrendWriter::failed(qint64 nowMs, Outcome &outcome)
{
    retryAtMs_ = nowMs + RetryMs;
    store_.close();
    const QString text = QStringLiteral("%1: %2").arg(faultText(store_.fault()), store_.errorText());
    if (failing_) {
        outcome.stillFailing = text;
        return;
    }
    failing_ = true;
    outcome.failure = text;
}

TrendWriter::~TrendWriter()
{
    leaveIfMoved();
}

// A store deleted, renamed or replaced while open would take every later
// write with it, and SQLite leaves the journal of a moved file behind at the
// path: its content goes into the file that was open, the connection is
// closed and the journal's names freed for a new store.
bool TrendWriter::leaveIfMoved()
{
    if (!store_.isOpen() || store_.stillAtPath())
        return false;
    store_.checkpoint();
    store_.close();
    QFile::remove(store_.path() + QStringLiteral("-wal"));
    QFile::remove(store_.path() + QStringLiteral("-shm"));
    return true;
}

TrendWriter::Outcome TrendWriter::write(const std::vector<TrendSample> &batch, qint64 nowMs)
{
    Outcome outcome;
    if (leaveIfMoved()) {
        outcome.replaced = true;
        tried_ = false; // a new store at once
    }
    if (!store_.isOpen()) {
        // At the start at once; after a failure when the minute is up, or
        // when the clock was set back past it.
        if (tried_ && nowMs < retryAtMs_ && nowMs > retryAtMs_ - 2 * RetryMs)
            return outcome;
        if (!tryOpen(nowMs, outcome))
            return outcome;
    }
    if (batch.empty() && !failing_)
        return outcome;
    if (!store_.write(batch, nowMs)) {
        failed(nowMs, outcome);
        return outcome;
    }
    outcome.wrote = true;
    outcome.recovered = failing_;
    failing_ = false;
    return outcome;
}

TrendRecorder::TrendRecorder(WorkContext &context, QObject *parent)
    : QObject(parent), context_(context)
{
    timer_.setInterval(FlushMs);
    connect(&timer_, &QTimer::timeout, this, &TrendRecorder::flush);
}

TrendRecorder::~TrendRecorder()
{
    stop();
}

QString TrendRecorder::storePath(const QString &workDir)
{
    return QDir(workDir).filePath(QStringLiteral("data/trends.sqlite"));
}

bool TrendRecorder::start(const QString &workDir, bool ownThread)
{
    path_ = storePath(workDir);
    const TrendLimits limits = TrendLimits::fromFile(QDir(workDir).filePath(QStringLiteral("data/trends.ini")));
    if (!limits.record) {
        qCInfo(lcFiles) << "signal trends not recorded (record=false in data/trends.ini)";
        return false;
    }
    writer_ = std::make_unique<TrendWriter>(path_, limits);
    if (ownThread) {
        thread_ = std::make_unique<QThread>();
        thread_->setObjectName(QStringLiteral("trends"));
        inThread_ = std::make_unique<QObject>();
        inThread_->moveToThread(thread_.get());
        thread_->start(QThread::LowPriority);
    }
    // The store is opened before the console goes on, as its other files are.
    const qint64 nowMs = context_.clock.now().toMSecsSinceEpoch();
    TrendWriter::Outcome opened;
    if (thread_)
        QMetaObject::invokeMethod(inThread_.get(), [&] { opened = writer_->write({}, nowMs); },
                                  Qt::BlockingQueuedConnection);
    else
        opened = writer_->write({}, nowMs);
    report(opened);
    timer_.start();
    return true;
}

void TrendRecorder::stop()
{
    if (!writer_)
        return;
    flush();
    timer_.stop();
    if (thread_) {
        // The store's connection belongs to the thread: closed there, after the last batch.
        QMetaObject::invokeMethod(inThread_.get(), [this] { writer_.reset(); }, Qt::BlockingQueuedConnection);
        thread_->quit();
        thread_->wait();
        inThread_.reset();
        thread_.reset();
    }
    writer_.reset();
}

void TrendRecorder::flush()
{
    if (!writer_)
        return;
    std::vector<TrendSample> batch;
    buffer.takeInto(batch);
    const qint64 nowMs = context_.clock.now().toMSecsSinceEpoch();
    if (!thread_) {
        report(writer_->write(batch, nowMs));
        return;
    }
    TrendWriter *writer = writer_.get();
    QMetaObject::invokeMethod(
        inThread_.get(),
        [this, writer, batch = std::move(batch), nowMs] {
            const TrendWriter::Outcome outcome = writer->write(batch, nowMs);
            QMetaObject::invokeMethod(this, [this, outcome] { report(outcome); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void TrendRecorder::report(const TrendWriter::Outcome &outcome)
{
    if (!outcome.movedAside.isEmpty()) {
        ++reported_;
        context_.faults.warning(LogArea::Files,
                                 QStringLiteral("Журнал сигналов %1 был повреждён и сохранён как %2; начат новый.")
                                     .arg(QDir::toNativeSeparators(path_),
                                          QDir::toNativeSeparators(outcome.movedAside)));
    }
    if (!outcome.failure.isEmpty()) {
        ++reported_;
        context_.faults.warning(LogArea::Files,
                                 QStringLiteral("Журнал сигналов %1 не записывается (%2). Пульт работает без "
                                                "журнала сигналов и повторит попытку через минуту.")
                                     .arg(QDir::toNativeSeparators(path_), outcome.failure));
    }
    if (outcome.replaced)
        qCWarning(lcFiles).noquote() << "trend store" << path_
                                     << "was deleted or replaced while open; a new store begun";
    if (!outcome.stillFailing.isEmpty())
        qCDebug(lcFiles) << "trend store still failing:" << outcome.stillFailing;
    if (outcome.recovered)
        qCInfo(lcFiles) << "trend store written again:" << path_;
    if (outcome.wrote)
        emit written();
}

} // namespace dorvan
