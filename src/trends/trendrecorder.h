#pragma once

#include "base/workcontext.h"
#include "trends/trendsample.h"
#include "trends/trendstore.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <memory>

namespace dorvan {

// The store's side of the recorder: opens, writes, moves a damaged file
// aside and waits a minute after a failure. It runs wherever the recorder
// puts it; what it found is handed back for reporting.
class TrendWriter
{
public:
    struct Outcome
    {
        bool wrote = false;
        QString movedAside;  // a damaged file was renamed to this
        QString failure;     // the first failure of a run of failures, to report
        QString stillFailing; // a later one, for the debug log
        bool recovered = false; // written again after failures
        bool replaced = false;  // the file was deleted or replaced; a new store was begun
    };

    static constexpr qint64 RetryMs = 60 * 1000;

    TrendWriter(const QString &path, TrendLimits limits) : store_(path, TrendStore::Mode::ReadWrite, limits) {}
    ~TrendWriter();
    TrendWriter(const TrendWriter &) = delete;
    TrendWriter &operator=(const TrendWriter &) = delete;

    Outcome write(const std::vector<TrendSample> &batch, qint64 nowMs);
    bool isOpen() const { return store_.isOpen(); }

private:
    bool tryOpen(qint64 nowMs, Outcome &outcome);
    void failed(qint64 nowMs, Outcome &outcome);
    bool leaveIfMoved();

    TrendStore store_;
    qint64 retryAtMs_ = 0;
    bool tried_ = false;
    bool failing_ = false;
};

// Takes what the line appended and writes it to the trend store once a
// second, off the line's path: in a thread of its own in the console, so
// that no transaction or checkpoint of the store ever delays the line; in
// the calling thread for tests. A store that cannot be opened or written is
// logged and shown once, without waiting; the console goes on without
// trends, dropping what the line records, and tries again every minute.
class TrendRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int FlushMs = 1000;
    static constexpr qint64 RetryMs = TrendWriter::RetryMs;

    explicit TrendRecorder(WorkContext &context, QObject *parent = nullptr);
    ~TrendRecorder() override;

    // Opens data/trends.sqlite under the working directory (limits from
    // data/trends.ini) and starts the flush timer; false when the settings
    // turn the recording off. With ownThread the store is written in a
    // thread of its own.
    bool start(const QString &workDir, bool ownThread = false);
    // The last flush, then the store is closed; nothing is recorded after.
    void stop();

    // The timer's handler.
    void flush();

    // What the line appends to.
    TrendBuffer buffer;

    // Whether the store was open after the last write (the calling thread's writer only).
    bool recording() const { return writer_ && !thread_ && writer_->isOpen(); }
    QString storePath() const { return path_; }
    static QString storePath(const QString &workDir);
    // Failures reported since the start (one per run of failures).
    int reported() const { return reported_; }

signals:
    // A batch was written: the windows that show trends may read again.
    void written();

private:
    void report(const TrendWriter::Outcome &outcome);

    WorkContext &context_;
    QString path_;
    std::unique_ptr<TrendWriter> writer_;
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<QObject> inThread_; // lives in thread_, for queued calls
    QTimer timer_;
    int reported_ = 0;
};

} // namespace dorvan
