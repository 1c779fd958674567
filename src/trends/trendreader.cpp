#include "trends/trendreader.h"

#include "base/log.h"
#include "trends/trendexport.h"

#include <QDir>
#include <QSaveFile>

namespace dorvan {

// The reader thread's own: the store's connection and the event file read so far.
struct TrendReader::Work
{
    explicit Work(const QString &path) : store(path, TrendStore::Mode::ReadOnly) {}

    // Open, and still the file at the path: a store deleted or replaced while
    // read is opened afresh.
    bool ready()
    {
        if (store.isOpen() && !store.stillAtPath())
            store.close();
        return store.isOpen() || store.open();
    }
    QString failure() const
    {
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(store.path()), store.reason());
    }
    TrendAnswer answer(const TrendQuery &query);
    QString exportTo(const TrendQuery &query, ExportFormat format, const QString &path);

    TrendStore store;
    TrendMarkFile marks;
};

TrendAnswer TrendReader::Work::answer(const TrendQuery &query)
{
    TrendAnswer answer;
    answer.query = query;
    answer.view.fromMs = query.fromMs;
    answer.view.toMs = query.toMs;
    if (query.sensor < 0)
        return answer;
    if (!ready()) {
        answer.failure = failure();
        return answer;
    }
    answer.view = loadTrendView(store, query.sensor, query.fromMs, query.toMs, query.nowMs, query.columns);
    answer.readable = store.fault() == TrendStore::Fault::None;
    if (!answer.readable) {
        answer.failure = failure();
        store.close(); // opened afresh by the next query
    }
    if (!query.eventFile.isEmpty()) {
        if (!marks.update(query.eventFile))
            qCDebug(lcTrends) << "event file not read for the marks:" << query.eventFile;
        answer.marks = reduceMarks(marks.marks(), query.fromMs, query.toMs, query.columns);
    }
    return answer;
}

QString TrendReader::Work::exportTo(const TrendQuery &query, ExportFormat format, const QString &path)
{
    if (!ready())
        return failure();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (!exportTrend(store, query.sensor, query.fromMs, query.toMs, query.nowMs, format, file, false)) {
        const bool storeFailed = store.fault() != TrendStore::Fault::None;
        const QString why = storeFailed ? failure() : file.errorString();
        file.cancelWriting();
        if (storeFailed)
            store.close();
        return why;
    }
    return file.commit() ? QString() : file.errorString();
}

TrendReader::TrendReader(const QString &storePath, QObject *parent)
    : TrendReader([storePath] { return storePath; }, parent)
{
}

TrendReader::TrendReader(std::function<QString()> storePath, QObject *parent)
    : QObject(parent), storePath_(std::move(storePath))
{
}

TrendReader::~TrendReader()
{
    if (!thread_)
        return;
    // The connection belongs to the thread: closed there.
    QMetaObject::invokeMethod(inThread_.get(), [this] { work_.reset(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

void TrendReader::start()
{
    if (thread_)
        return;
    work_ = std::make_unique<Work>(storePath_());
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("trend-reader"));
    inThread_ = std::make_unique<QObject>();
    inThread_->moveToThread(thread_.get());
    thread_->start(QThread::LowPriority);
}

void TrendReader::ask(const TrendQuery &query)
{
    start();
    const quint64 serial = ++asked_;
    Work *work = work_.get();
    QMetaObject::invokeMethod(
        inThread_.get(),
        [this, work, serial, query] {
            if (serial != asked_.load())
                return; // a later query waits behind this one
            const TrendAnswer answer = work->answer(query);
            QMetaObject::invokeMethod(this, [this, serial, answer] { deliver(serial, answer); },
                                      Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void TrendReader::deliver(quint64 serial, const TrendAnswer &answer)
{
    if (serial != asked_.load())
        return; // superseded on its way
    answered_ = serial;
    emit answered(answer);
}

void TrendReader::exportTo(const TrendQuery &query, ExportFormat format, const QString &path)
{
    start();
    Work *work = work_.get();
    QMetaObject::invokeMethod(
        inThread_.get(),
        [this, work, query, format, path] {
            const QString failure = work->exportTo(query, format, path);
            QMetaObject::invokeMethod(this, [this, path, failure] { emit exported(path, failure); },
                                      Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace dorvan
