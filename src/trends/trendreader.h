#pragma once

#include "events/eventexport.h"
#include "trends/trendview.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

namespace dorvan {

// What a window asks for: a sensor's range reduced to a number of pixel
// columns, with the marks of its event file when one is named.
struct TrendQuery
{
    qint64 sensor = -1;
    qint64 fromMs = 0;
    qint64 toMs = 0;
    qint64 nowMs = 0; // decides samples or minutes
    int columns = 0;
    QString eventFile;
};

struct TrendAnswer
{
    TrendQuery query;
    TrendView view;
    std::vector<TrendMark> marks; // reduced to the columns
    bool readable = false;        // the store was read
    QString failure;              // why not, in the operator's words
};

// Reads and reduces the trend store and the event files in a thread of its
// own, on a read-only connection of its own, so that a week of samples or a
// hundred thousand events never hold up the thread that polls the line.
// Answers come back to this object's thread; an answer to a query that a
// later one has superseded is not delivered (nor, when it was still waiting,
// worked out). The thread starts with the first query.
class TrendReader : public QObject
{
    Q_OBJECT

public:
    explicit TrendReader(const QString &storePath, QObject *parent = nullptr);
    // The store's path is asked for when the first query comes: a window
    // made before start-up knows the working directory only then.
    explicit TrendReader(std::function<QString()> storePath, QObject *parent = nullptr);
    ~TrendReader() override;

    void ask(const TrendQuery &query);
    // Writes [fromMs, toMs) of the sensor to the file at path (replaced when
    // complete), as dorvan-report --trends does.
    void exportTo(const TrendQuery &query, ExportFormat format, const QString &path);
    // Whether the last query is still unanswered.
    bool waiting() const { return answered_ != asked_.load(); }

signals:
    void answered(const TrendAnswer &answer);
    // Empty failure: written.
    void exported(const QString &path, const QString &failure);

private:
    struct Work;
    void start();
    void deliver(quint64 serial, const TrendAnswer &answer);

    std::function<QString()> storePath_;
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<QObject> inThread_; // lives in thread_, for queued calls
    std::unique_ptr<Work> work_;        // used in thread_ only
    std::atomic<quint64> asked_{0};
    quint64 answered_ = 0;
};

} // namespace dorvan
