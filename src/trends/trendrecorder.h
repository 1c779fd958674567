#pragma once

#include "base/context.h"
#include "trends/trendsample.h"
#include "trends/trendstore.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace dorvan {

// Takes what the line appended and writes it to the trend store once a
// second, off the line's path. A store that cannot be opened or written is
// logged and shown once, without waiting; the console goes on without
// trends, dropping what the line records, and tries again every minute.
class TrendRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int FlushMs = 1000;
    static constexpr qint64 RetryMs = 60 * 1000;

    explicit TrendRecorder(ConsoleContext &context, QObject *parent = nullptr);
    ~TrendRecorder() override;

    // Opens data/trends.sqlite under the working directory (limits from
    // data/trends.ini) and starts the flush timer; false when the settings
    // turn the recording off.
    bool start(const QString &workDir);
    // The last flush, then the store is closed; nothing is recorded after.
    void stop();

    // The timer's handler.
    void flush();

    // What the line appends to.
    TrendBuffer buffer;

    bool recording() const { return store_ && store_->isOpen(); }
    QString storePath() const { return path_; }
    static QString storePath(const QString &workDir);
    // Failures reported since the start (one per run of failures).
    int reported() const { return reported_; }
    QTimer &timer() { return timer_; }

signals:
    // A batch was written: the windows that show trends may read again.
    void written();

private:
    bool tryOpen(qint64 nowMs);
    void failed(qint64 nowMs);

    ConsoleContext &context_;
    QString path_;
    std::unique_ptr<TrendStore> store_;
    std::vector<TrendSample> batch_;
    QTimer timer_;
    qint64 retryAtMs_ = 0;
    bool failing_ = false;
    int reported_ = 0;
};

} // namespace dorvan
