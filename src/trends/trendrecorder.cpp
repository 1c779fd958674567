#include "trends/trendrecorder.h"

#include "base/log.h"

#include <QDir>

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

TrendRecorder::TrendRecorder(ConsoleContext &context, QObject *parent)
    : QObject(parent), context_(context)
{
    timer_.setInterval(FlushMs);
    connect(&timer_, &QTimer::timeout, this, &TrendRecorder::flush);
}

TrendRecorder::~TrendRecorder() = default;

QString TrendRecorder::storePath(const QString &workDir)
{
    return QDir(workDir).filePath(QStringLiteral("data/trends.sqlite"));
}

bool TrendRecorder::start(const QString &workDir)
{
    path_ = storePath(workDir);
    const TrendLimits limits = TrendLimits::fromFile(QDir(workDir).filePath(QStringLiteral("data/trends.ini")));
    if (!limits.record) {
        qCInfo(logCategory(LogArea::Files)) << "signal trends not recorded (record=false in data/trends.ini)";
        return false;
    }
    store_ = std::make_unique<TrendStore>(path_, TrendStore::Mode::ReadWrite, limits);
    tryOpen(context_.clock.now().toMSecsSinceEpoch());
    timer_.start();
    return true;
}

void TrendRecorder::stop()
{
    if (!store_)
        return;
    flush();
    timer_.stop();
    store_.reset();
}

bool TrendRecorder::tryOpen(qint64 nowMs)
{
    if (store_->open()) {
        if (!store_->movedAside().isEmpty()) {
            const QString text = QStringLiteral("Журнал сигналов %1 был повреждён и сохранён как %2; "
                                                "начат новый.")
                                     .arg(QDir::toNativeSeparators(path_),
                                          QDir::toNativeSeparators(store_->movedAside()));
            context_.reports.warning(LogArea::Files, text);
            ++reported_;
        }
        return true;
    }
    failed(nowMs);
    return false;
}

void TrendRecorder::failed(qint64 nowMs)
{
    retryAtMs_ = nowMs + RetryMs;
    store_->close();
    if (failing_) {
        qCDebug(logCategory(LogArea::Files)) << "trend store still failing:" << store_->errorText();
        return;
    }
    failing_ = true;
    ++reported_;
    context_.reports.warning(
        LogArea::Files,
        QStringLiteral("Журнал сигналов %1 не записывается (%2: %3). Пульт работает без журнала "
                       "сигналов и повторит попытку через минуту.")
            .arg(QDir::toNativeSeparators(path_), faultText(store_->fault()), store_->errorText()));
}

void TrendRecorder::flush()
{
    if (!store_)
        return;
    buffer.takeInto(batch_);
    const qint64 nowMs = context_.clock.now().toMSecsSinceEpoch();
    if (!store_->isOpen()) {
        // Retry when the minute is up, or when the clock was set back past it.
        if (nowMs < retryAtMs_ && nowMs > retryAtMs_ - 2 * RetryMs)
            return;
        if (!tryOpen(nowMs))
            return;
    }
    if (batch_.empty() && !failing_)
        return;
    if (!store_->write(batch_, nowMs)) {
        failed(nowMs);
        return;
    }
    if (failing_) {
        failing_ = false;
        qCInfo(logCategory(LogArea::Files)) << "trend store written again:" << path_;
    }
    emit written();
}

} // namespace dorvan
