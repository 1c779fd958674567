#pragma once

#include "trends/trendsample.h"

#include <QSqlDatabase>
#include <QString>

#include <sys/types.h>

#include <memory>
#include <vector>

namespace dorvan {

// One minute of one sensor: minimum, mean and maximum of each value over
// the replies of that minute, and the requests that went unanswered.
struct TrendMinute
{
    qint64 minute = 0; // UTC minutes since the epoch
    qint32 replies = 0;
    qint32 timeouts = 0;
    double signal1[3]{};    // min, mean, max
    double signal2[3]{};
    double threshold1[3]{};
    double threshold2[3]{};
    double replyMs[3]{};
};

struct TrendLimits
{
    // At 32 sensors' polling rate a sensor takes about 2.2 MB a day at full
    // resolution and 0.2 MB a day in minutes: 48 hours and a year of 32
    // sensors come to about 2.5 GB, which this holds with room to spare.
    static constexpr qint64 DefaultMaxBytes = 3072LL * 1024 * 1024;

    qint64 maxBytes = DefaultMaxBytes;
    qint64 fullResolutionMs = 48LL * 3600 * 1000;
    qint64 minutesKeptMs = 366LL * 24 * 3600 * 1000;
    bool record = true; // "record=false" turns the recording off (for comparisons)

    // data/trends.ini: maxMegabytes (the default when absent or not a
    // number) and record.
    static TrendLimits fromFile(const QString &path);
};

// The signal trends of all sensors in one SQLite file: every sample for the
// last 48 hours, minute aggregates for a year, within a bound on the file's
// size. Written in batches of one transaction; never waits for a lock.
class TrendStore
{
public:
    enum class Mode { ReadWrite, ReadOnly };
    enum class Fault { None, Damaged, Locked, Full, Unwritable, Other };

    explicit TrendStore(const QString &path, Mode mode = Mode::ReadWrite, TrendLimits limits = {});
    ~TrendStore();
    TrendStore(const TrendStore &) = delete;
    TrendStore &operator=(const TrendStore &) = delete;

    // For a reader that reads once and closes (dorvan-report): a store that
    // no console writes may then be read as it lies (SQLite's immutable), in
    // a directory where SQLite could not make its -shm. Not for a reader that
    // stays open while a console may start writing.
    void allowReadingAsItLies() { asItLies_ = true; }

    // Opens or creates the file. A file that is not a database or is damaged
    // is renamed aside (…-damaged-<UTC time>.sqlite) and a new one begun.
    bool open();
    bool isOpen() const;
    void close();

    // Writes the samples, their minutes and the trims of retention and size
    // in one transaction. nowMs is the wall clock, for retention.
    bool write(const std::vector<TrendSample> &samples, qint64 nowMs);

    // Reading, in time order; empty when the store cannot be read.
    std::vector<TrendSample> samples(qint64 sensor, qint64 fromMs, qint64 toMs);
    std::vector<TrendMinute> minutes(qint64 sensor, qint64 fromMs, qint64 toMs);
    std::vector<qint64> sensors();
    // Copies what the journal holds into the database file and empties it.
    bool checkpoint();
    // Pages in use times the page size: what the bound is held against.
    qint64 usedBytes();

    Fault fault() const { return fault_; }
    // The last failure: what was done and the database's reason.
    QString errorText() const { return errorText_; }
    // Why the store could not be opened or read, in the operator's words
    // ("нет доступа", "нет такого файла или каталога", "файл повреждён", ...).
    QString reason() const;
    // Whether the path still names the file that was opened (same device
    // and inode): false once it was deleted, renamed or replaced.
    bool stillAtPath() const;
    // The name a damaged file was given by the last open(), or empty.
    QString movedAside() const { return movedAside_; }
    QString path() const { return path_; }
    const TrendLimits &limits() const { return limits_; }

private:
    bool fail(const QString &what, const class QSqlError &error);
    bool createSchema();
    bool trim(qint64 nowMs);
    bool trimForSize();
    bool run(const QString &sql);
    bool moveDamagedAside();
    bool openConnection(bool immutable);
    bool fileAccessible();
    void rememberIdentity();

    QString path_;
    Mode mode_;
    TrendLimits limits_;
    QString connection_;
    Fault fault_ = Fault::None;
    QString errorText_;
    QString movedAside_;
    bool asItLies_ = false;
    int fileError_ = 0; // errno of the file itself, when that is why it failed
    dev_t device_ = 0;
    ino_t inode_ = 0;
    qint64 pageSize_ = 4096;
    qint64 lastRetentionMs_ = 0;
    struct Statements;
    std::unique_ptr<Statements> statements_;
};

} // namespace dorvan
