#include "trends/trendstore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include "base/regularfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>

namespace dorvan {

namespace {

constexpr qint64 MinuteMs = 60 * 1000;
constexpr qint64 DayMinutes = 24 * 60;
constexpr int TrimRowsPerWrite = 2000;
// How often the minutes past their year are looked for.
constexpr qint64 RetentionEveryMs = 10 * MinuteMs;

// SQLite's primary result codes, as the Qt driver passes them on.
constexpr int SqliteBusy = 5;
constexpr int SqliteLocked = 6;
constexpr int SqliteReadOnly = 8;
constexpr int SqliteIoErr = 10;
constexpr int SqliteCorrupt = 11;
constexpr int SqliteFull = 13;
constexpr int SqliteCantOpen = 14;
constexpr int SqliteNotADb = 26;

QString nextConnectionName()
{
    static std::atomic<int> serial{0};
    return QStringLiteral("dorvan-trends-%1").arg(++serial);
}

qint64 floorDiv(qint64 value, qint64 divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

// Minimum, sum and maximum of one value over the samples of a minute.
struct Span
{
    double min = 0, sum = 0, max = 0;

    void add(double value, bool first)
    {
        if (first) {
            min = max = value;
        } else {
            min = std::min(min, value);
            max = std::max(max, value);
        }
        sum += value;
    }
};

struct MinuteBucket
{
    qint32 replies = 0;
    qint32 timeouts = 0;
    Span values[5]; // signal 1, signal 2, threshold 1, threshold 2, reply time
};

constexpr const char *valueColumns[] = {"s1", "s2", "th1", "th2", "r"};

QString upsertSql()
{
    QString columns = QStringLiteral("sensor, minute, n, timeouts");
    QString values = QStringLiteral("?, ?, ?, ?");
    QString updates = QStringLiteral("n = n + excluded.n, timeouts = timeouts + excluded.timeouts");
    for (const char *name : valueColumns) {
        const QString c = QString::fromLatin1(name);
        columns += QStringLiteral(", %1min, %1sum, %1max").arg(c);
        values += QStringLiteral(", ?, ?, ?");
        // A minute of time-outs alone has no values: NULL, which min() and
        // max() would spread, so each side stands in for a missing other.
        updates += QStringLiteral(", %1min = min(coalesce(%1min, excluded.%1min), "
                                  "coalesce(excluded.%1min, %1min))"
                                  ", %1sum = coalesce(%1sum, 0) + coalesce(excluded.%1sum, 0)"
                                  ", %1max = max(coalesce(%1max, excluded.%1max), "
                                  "coalesce(excluded.%1max, %1max))")
                       .arg(c);
    }
    return QStringLiteral("INSERT INTO minutes (%1) VALUES (%2) ON CONFLICT (sensor, minute) DO UPDATE SET %3")
        .arg(columns, values, updates);
}

QString minuteColumns()
{
    QString columns = QStringLiteral("minute, n, timeouts");
    for (const char *name : valueColumns)
        columns += QStringLiteral(", %1min, %1sum, %1max").arg(QString::fromLatin1(name));
    return columns;
}

} // namespace

TrendLimits TrendLimits::fromFile(const QString &path)
{
    TrendLimits limits;
    if (!QFileInfo::exists(path))
        return limits;
    QSettings settings(path, QSettings::IniFormat);
    bool ok = false;
    const qint64 megabytes = settings.value(QStringLiteral("maxMegabytes")).toLongLong(&ok);
    if (ok && megabytes > 0)
        limits.maxBytes = megabytes * 1024 * 1024;
    limits.record = settings.value(QStringLiteral("record"), true).toBool();
    return limits;
}

struct TrendStore::Statements
{
    QSqlQuery insertSample;
    QSqlQuery upsertMinute;
    QSqlQuery insertSensor;
};

TrendStore::TrendStore(const QString &path, Mode mode, TrendLimits limits)
    : path_(path), mode_(mode), limits_(limits), connection_(nextConnectionName())
{
}

TrendStore::~TrendStore()
{
    close();
}

bool TrendStore::isOpen() const
{
    return QSqlDatabase::contains(connection_) && QSqlDatabase::database(connection_, false).isOpen();
}

void TrendStore::close()
{
    statements_.reset();
    if (!QSqlDatabase::contains(connection_))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

bool TrendStore::fail(const QString &what, const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xFF;
    switch (code) {
    case SqliteCorrupt:
    case SqliteNotADb: fault_ = Fault::Damaged; break;
    case SqliteBusy:
    case SqliteLocked: fault_ = Fault::Locked; break;
    case SqliteFull: fault_ = Fault::Full; break;
    case SqliteReadOnly:
    case SqliteCantOpen:
    case SqliteIoErr: fault_ = Fault::Unwritable; break;
    default: fault_ = Fault::Other; break;
    }
    errorText_ = QStringLiteral("%1: %2").arg(what, error.text());
    return false;
}

bool TrendStore::run(const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    if (query.exec(sql))
        return true;
    return fail(sql.section(u' ', 0, 1), query.lastError());
}

QString TrendStore::reason() const
{
    if (fileError_ != 0)
        return fileErrorText(fileError_);
    switch (fault_) {
    case Fault::Damaged: return QStringLiteral("файл повреждён");
    case Fault::Locked: return QStringLiteral("файл занят другой программой");
    case Fault::Full: return QStringLiteral("нет места");
    case Fault::Unwritable:
        return mode_ == Mode::ReadOnly ? QStringLiteral("нет доступа") : QStringLiteral("запись невозможна");
    case Fault::Other:
    case Fault::None: break;
    }
    return errorText_;
}

bool TrendStore::stillAtPath() const
{
    struct stat info {};
    return ::stat(QFile::encodeName(path_).constData(), &info) == 0 && info.st_dev == device_
           && info.st_ino == inode_;
}

void TrendStore::rememberIdentity()
{
    struct stat info {};
    if (::stat(QFile::encodeName(path_).constData(), &info) == 0) {
        device_ = info.st_dev;
        inode_ = info.st_ino;
    }
}

// A reader asks the file system first: SQLite's own words for a file it may
// not read, or one in a directory it may not enter, are "unable to open
// database file" whatever the cause.
bool TrendStore::fileAccessible()
{
    int error = 0;
    FileDescriptor fd(openRegularFile(path_, O_RDONLY, 0, Links::Follow, error));
    if (fd.valid())
        return true;
    fileError_ = error;
    fault_ = error == EACCES || error == EPERM ? Fault::Unwritable : Fault::Other;
    errorText_ = QStringLiteral("%1: %2").arg(path_, fileErrorText(error));
    return false;
}

bool TrendStore::openConnection(bool immutable)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (immutable) {
        // Read as a file that nothing changes: no lock, no -shm to create.
        db.setDatabaseName(QStringLiteral("file:%1?immutable=1")
                               .arg(QString::fromUtf8(QUrl::toPercentEncoding(path_, "/"))));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        db.setDatabaseName(path_);
        // The line never waits for a lock: a busy store is a failed write, tried again later.
        db.setConnectOptions(mode_ == Mode::ReadOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=50")
                                                     : QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    }
    if (!db.open())
        return fail(QStringLiteral("open"), db.lastError());
    return createSchema();
}

bool TrendStore::open()
{
    close();
    fault_ = Fault::None;
    fileError_ = 0;
    errorText_.clear();
    movedAside_.clear();
    if (mode_ == Mode::ReadOnly) {
        if (!fileAccessible())
            return false;
        if (openConnection(false)) {
            rememberIdentity();
            return true;
        }
        close();
        // A store in WAL mode wants its -shm beside it, which a reader may not
        // create in a directory it cannot write. Without a -wal, or with an
        // empty one that a reader left, no console is writing it (a writer's
        // connection keeps one with its pages; its close removes it): then it
        // can be read as it lies.
        const QFileInfo journal(path_ + QStringLiteral("-wal"));
        if (!asItLies_ || fault_ == Fault::Damaged || (journal.exists() && journal.size() > 0))
            return false;
        fault_ = Fault::None;
        if (!openConnection(true)) {
            close();
            return false;
        }
        rememberIdentity();
        return true;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (openConnection(false)) {
            rememberIdentity();
            return true;
        }
        close();
        if (fault_ != Fault::Damaged || attempt > 0 || !moveDamagedAside())
            return false;
    }
    return false;
}

bool TrendStore::moveDamagedAside()
{
    const QFileInfo info(path_);
    const QString aside = info.path() + u'/' + info.completeBaseName() + QStringLiteral("-damaged-")
                          + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"))
                          + u'.' + info.suffix();
    if (!QFile::rename(path_, aside))
        return false;
    // The journal files belong to the damaged database, not to the new one.
    QFile::remove(path_ + QStringLiteral("-wal"));
    QFile::remove(path_ + QStringLiteral("-shm"));
    movedAside_ = aside;
    return true;
}

bool TrendStore::createSchema()
{
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    // Reading the schema is what finds a file that is not a database.
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return fail(QStringLiteral("open"), query.lastError());
    // An unfinished statement holds a read transaction, in which the
    // journal mode cannot change.
    query.finish();
    if (mode_ == Mode::ReadWrite) {
        const bool ok = run(QStringLiteral("PRAGMA auto_vacuum = INCREMENTAL"))
                        && run(QStringLiteral("PRAGMA journal_mode = WAL"))
                        && run(QStringLiteral("PRAGMA synchronous = NORMAL"))
                        && run(QStringLiteral(
                            "CREATE TABLE IF NOT EXISTS samples (sensor INTEGER NOT NULL, "
                            "t INTEGER NOT NULL, th1 REAL, s1 REAL, th2 REAL, s2 REAL, r INTEGER NOT NULL)"))
                        && run(QStringLiteral(
                            "CREATE INDEX IF NOT EXISTS samples_by_sensor ON samples (sensor, t)"))
                        && run(QStringLiteral("CREATE TABLE IF NOT EXISTS minutes (sensor INTEGER NOT NULL, "
                                              "minute INTEGER NOT NULL, n INTEGER NOT NULL, "
                                              "timeouts INTEGER NOT NULL, %1, "
                                              "PRIMARY KEY (sensor, minute)) WITHOUT ROWID")
                                   .arg(QStringLiteral("s1min REAL, s1sum REAL, s1max REAL, "
                                                       "s2min REAL, s2sum REAL, s2max REAL, "
                                                       "th1min REAL, th1sum REAL, th1max REAL, "
                                                       "th2min REAL, th2sum REAL, th2max REAL, "
                                                       "rmin INTEGER, rsum INTEGER, rmax INTEGER")))
                        && run(QStringLiteral("CREATE TABLE IF NOT EXISTS sensors (sensor INTEGER PRIMARY KEY)"));
        if (!ok)
            return false;
    }
    if (!query.exec(QStringLiteral("PRAGMA page_size")) || !query.next())
        return fail(QStringLiteral("PRAGMA page_size"), query.lastError());
    pageSize_ = std::max<qint64>(512, query.value(0).toLongLong());
    query.finish();
    if (mode_ == Mode::ReadOnly)
        return true;
    // The hard stop; trims keep the store below it.
    if (!run(QStringLiteral("PRAGMA max_page_count = %1").arg(std::max<qint64>(16, limits_.maxBytes / pageSize_))))
        return false;
    statements_ = std::make_unique<Statements>();
    statements_->insertSample = QSqlQuery(db);
    statements_->upsertMinute = QSqlQuery(db);
    statements_->insertSensor = QSqlQuery(db);
    if (!statements_->insertSample.prepare(
            QStringLiteral("INSERT INTO samples (sensor, t, th1, s1, th2, s2, r) VALUES (?, ?, ?, ?, ?, ?, ?)")))
        return fail(QStringLiteral("prepare"), statements_->insertSample.lastError());
    if (!statements_->upsertMinute.prepare(upsertSql()))
        return fail(QStringLiteral("prepare"), statements_->upsertMinute.lastError());
    if (!statements_->insertSensor.prepare(QStringLiteral("INSERT OR IGNORE INTO sensors (sensor) VALUES (?)")))
        return fail(QStringLiteral("prepare"), statements_->insertSensor.lastError());
    return true;
}

bool TrendStore::write(const std::vector<TrendSample> &samples, qint64 nowMs)
{
    if (!statements_ && !open())
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!run(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    std::map<std::pair<qint64, qint64>, MinuteBucket> buckets;
    std::map<qint64, bool> seen;
    QSqlQuery &insert = statements_->insertSample;
    bool ok = true;
    for (const TrendSample &s : samples) {
        const qint64 sensor = trendSensorKey(s.model, s.address);
        seen[sensor] = true;
        insert.bindValue(0, sensor);
        insert.bindValue(1, s.utcMs);
        if (s.timeout) {
            for (int i = 2; i < 6; ++i)
                insert.bindValue(i, QVariant());
        } else {
            insert.bindValue(2, double(s.threshold1));
            insert.bindValue(3, double(s.signal1));
            insert.bindValue(4, double(s.threshold2));
            insert.bindValue(5, double(s.signal2));
        }
        insert.bindValue(6, s.timeout ? -1 : s.replyMs);
        if (!insert.exec()) {
            ok = fail(QStringLiteral("INSERT samples"), insert.lastError());
            break;
        }
        MinuteBucket &bucket = buckets[{sensor, floorDiv(s.utcMs, MinuteMs)}];
        if (s.timeout) {
            ++bucket.timeouts;
            continue;
        }
        const bool first = bucket.replies == 0;
        const double values[] = {s.signal1, s.signal2, s.threshold1, s.threshold2,
                                 double(std::max(0, s.replyMs))};
        for (int i = 0; i < 5; ++i)
            bucket.values[i].add(values[i], first);
        ++bucket.replies;
    }
    QSqlQuery &upsert = statements_->upsertMinute;
    for (auto it = buckets.cbegin(); ok && it != buckets.cend(); ++it) {
        const MinuteBucket &b = it->second;
        upsert.bindValue(0, it->first.first);
        upsert.bindValue(1, it->first.second);
        upsert.bindValue(2, b.replies);
        upsert.bindValue(3, b.timeouts);
        for (int i = 0; i < 5; ++i) {
            const bool any = b.replies > 0;
            upsert.bindValue(4 + 3 * i, any ? QVariant(b.values[i].min) : QVariant());
            upsert.bindValue(5 + 3 * i, any ? QVariant(b.values[i].sum) : QVariant());
            upsert.bindValue(6 + 3 * i, any ? QVariant(b.values[i].max) : QVariant());
        }
        if (!upsert.exec())
            ok = fail(QStringLiteral("INSERT minutes"), upsert.lastError());
    }
    for (auto it = seen.cbegin(); ok && it != seen.cend(); ++it) {
        statements_->insertSensor.bindValue(0, it->first);
        if (!statements_->insertSensor.exec())
            ok = fail(QStringLiteral("INSERT sensors"), statements_->insertSensor.lastError());
    }
    ok = ok && trim(nowMs);
    if (ok && db.commit())
        return true;
    if (ok)
        fail(QStringLiteral("COMMIT"), db.lastError());
    const Fault fault = fault_;
    const QString text = errorText_;
    db.rollback();
    fault_ = fault;
    errorText_ = text;
    // A full store makes room in a transaction of its own, for the next batch.
    if (fault_ == Fault::Full && run(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (trimForSize())
            db.commit();
        else
            db.rollback();
        fault_ = fault;
        errorText_ = text;
    }
    return false;
}

bool TrendStore::trim(qint64 nowMs)
{
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    // The oldest rows come first in rowid order; a few at each batch keep
    // every write short, and only the first rows are ever looked at (t has
    // no index of its own).
    const qint64 cutoff = nowMs - limits_.fullResolutionMs;
    if (query.exec(QStringLiteral("SELECT t FROM samples ORDER BY rowid LIMIT 1")) && query.next()
        && query.value(0).toLongLong() < cutoff) {
        query.finish();
        query.prepare(QStringLiteral("DELETE FROM samples WHERE rowid IN (SELECT rowid FROM samples "
                                     "ORDER BY rowid LIMIT %1) AND t < ?")
                          .arg(TrimRowsPerWrite));
        query.addBindValue(cutoff);
        if (!query.exec())
            return fail(QStringLiteral("DELETE samples"), query.lastError());
    }
    query.finish();
    if (nowMs < lastRetentionMs_ || nowMs - lastRetentionMs_ >= RetentionEveryMs) {
        lastRetentionMs_ = nowMs;
        const qint64 oldest = floorDiv(nowMs - limits_.minutesKeptMs, MinuteMs);
        for (const qint64 sensor : sensors()) {
            query.prepare(QStringLiteral("DELETE FROM minutes WHERE sensor = ? AND minute < ?"));
            query.addBindValue(sensor);
            query.addBindValue(oldest);
            if (!query.exec())
                return fail(QStringLiteral("DELETE minutes"), query.lastError());
        }
    }
    // Below nine tenths of the bound there is nothing more to do.
    if (usedBytes() * 10 < limits_.maxBytes * 9)
        return true;
    return trimForSize();
}

// Makes room: the oldest day of minutes while they reach back further than
// the full resolution does, else the oldest hour of samples; until the store
// is down to four fifths of its bound.
bool TrendStore::trimForSize()
{
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    for (int step = 0; step < 64 && usedBytes() * 5 > limits_.maxBytes * 4; ++step) {
        qint64 oldestMinute = std::numeric_limits<qint64>::max();
        const std::vector<qint64> all = sensors();
        for (const qint64 sensor : all) {
            query.prepare(QStringLiteral("SELECT minute FROM minutes WHERE sensor = ? ORDER BY minute LIMIT 1"));
            query.addBindValue(sensor);
            if (query.exec() && query.next())
                oldestMinute = std::min(oldestMinute, query.value(0).toLongLong());
        }
        qint64 oldestSample = std::numeric_limits<qint64>::max();
        if (query.exec(QStringLiteral("SELECT t FROM samples ORDER BY rowid LIMIT 1")) && query.next())
            oldestSample = query.value(0).toLongLong();
        if (oldestMinute == std::numeric_limits<qint64>::max()
            && oldestSample == std::numeric_limits<qint64>::max())
            return true;
        if (oldestMinute != std::numeric_limits<qint64>::max()
            && oldestMinute * MinuteMs + DayMinutes * MinuteMs < oldestSample) {
            for (const qint64 sensor : all) {
                query.prepare(QStringLiteral("DELETE FROM minutes WHERE sensor = ? AND minute < ?"));
                query.addBindValue(sensor);
                query.addBindValue(oldestMinute + DayMinutes);
                if (!query.exec())
                    return fail(QStringLiteral("DELETE minutes"), query.lastError());
            }
        } else {
            query.prepare(QStringLiteral("DELETE FROM samples WHERE t < ?"));
            query.addBindValue(oldestSample + 60 * MinuteMs);
            if (!query.exec())
                return fail(QStringLiteral("DELETE samples"), query.lastError());
            // Minutes as old as the samples that go are no longer worth their room either.
            if (oldestMinute != std::numeric_limits<qint64>::max()
                && oldestMinute * MinuteMs < oldestSample + 60 * MinuteMs) {
                for (const qint64 sensor : all) {
                    query.prepare(QStringLiteral("DELETE FROM minutes WHERE sensor = ? AND minute < ?"));
                    query.addBindValue(sensor);
                    query.addBindValue(floorDiv(oldestSample, MinuteMs) + 60);
                    if (!query.exec())
                        return fail(QStringLiteral("DELETE minutes"), query.lastError());
                }
            }
        }
    }
    return true;
}

bool TrendStore::checkpoint()
{
    return run(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

qint64 TrendStore::usedBytes()
{
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    if (!query.exec(QStringLiteral("SELECT (SELECT page_count FROM pragma_page_count()) - "
                                   "(SELECT freelist_count FROM pragma_freelist_count())"))
        || !query.next())
        return 0;
    return query.value(0).toLongLong() * pageSize_;
}

std::vector<qint64> TrendStore::sensors()
{
    std::vector<qint64> out;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    if (!query.exec(QStringLiteral("SELECT sensor FROM sensors ORDER BY sensor")))
        return out;
    while (query.next())
        out.push_back(query.value(0).toLongLong());
    return out;
}

std::vector<TrendSample> TrendStore::samples(qint64 sensor, qint64 fromMs, qint64 toMs)
{
    std::vector<TrendSample> out;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT t, th1, s1, th2, s2, r FROM samples "
                                 "WHERE sensor = ? AND t >= ? AND t < ? ORDER BY t"));
    query.addBindValue(sensor);
    query.addBindValue(fromMs);
    query.addBindValue(toMs);
    if (!query.exec()) {
        fail(QStringLiteral("SELECT samples"), query.lastError());
        return out;
    }
    TrendSample s;
    s.address = quint16(sensor & 0xFFFF);
    s.model = quint8(sensor >> 16);
    while (query.next()) {
        s.utcMs = query.value(0).toLongLong();
        s.replyMs = query.value(5).toInt();
        s.timeout = s.replyMs < 0;
        s.threshold1 = query.value(1).toFloat();
        s.signal1 = query.value(2).toFloat();
        s.threshold2 = query.value(3).toFloat();
        s.signal2 = query.value(4).toFloat();
        out.push_back(s);
    }
    return out;
}

std::vector<TrendMinute> TrendStore::minutes(qint64 sensor, qint64 fromMs, qint64 toMs)
{
    std::vector<TrendMinute> out;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM minutes WHERE sensor = ? AND minute >= ? AND minute < ? "
                                 "ORDER BY minute")
                      .arg(minuteColumns()));
    query.addBindValue(sensor);
    query.addBindValue(floorDiv(fromMs, MinuteMs));
    query.addBindValue(floorDiv(toMs + MinuteMs - 1, MinuteMs));
    if (!query.exec()) {
        fail(QStringLiteral("SELECT minutes"), query.lastError());
        return out;
    }
    while (query.next()) {
        TrendMinute m;
        m.minute = query.value(0).toLongLong();
        m.replies = query.value(1).toInt();
        m.timeouts = query.value(2).toInt();
        double *spans[] = {m.signal1, m.signal2, m.threshold1, m.threshold2, m.replyMs};
        for (int i = 0; i < 5; ++i) {
            spans[i][0] = query.value(3 + 3 * i).toDouble();
            spans[i][1] = m.replies > 0 ? query.value(4 + 3 * i).toDouble() / m.replies : 0;
            spans[i][2] = query.value(5 + 3 * i).toDouble();
        }
        out.push_back(m);
    }
    return out;
}

} // namespace dorvan
