#include "station/history.h"

#include "events/eventcatalog.h"

#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <memory>

namespace dorvan::station {

namespace {

const QString selectedColumns = QStringLiteral("seq, site, day, number, time, code, kind, address, loop, text, received");
const QString wallTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QString isoDay(const QDate &day)
{
    return day.toString(Qt::ISODate);
}

// A filter as SQL: the terms of a WHERE clause and the values they bind.
struct Conditions
{
    QStringList terms;
    QVariantList values;

    void add(const QString &term, const QVariant &value)
    {
        terms.append(term);
        values.append(value);
    }
    QString where() const { return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(u" AND "); }
};

// The day bounds let the indexes narrow the search; the time of day, when
// one is given, is compared on the post's wall time that starts its `time`.
void addTimeSpan(Conditions &conditions, const QDateTime &from, const QDateTime &to)
{
    if (from.isValid()) {
        conditions.add(QStringLiteral("day >= ?"), isoDay(from.date()));
        if (from.time() != QTime(0, 0))
            conditions.add(QStringLiteral("substr(time, 1, 19) >= ?"), from.toString(wallTimeFormat));
    }
    if (to.isValid()) {
        const bool wholeDays = to.time() == QTime(0, 0);
        conditions.add(QStringLiteral("day <= ?"), isoDay(wholeDays ? to.date().addDays(-1) : to.date()));
        if (!wholeDays)
            conditions.add(QStringLiteral("substr(time, 1, 19) < ?"), to.toString(wallTimeFormat));
    }
}

Conditions conditionsOf(const HistoryFilter &filter, const HistoryCursor &after)
{
    Conditions conditions;
    if (!filter.site.isEmpty())
        conditions.add(QStringLiteral("site = ?"), filter.site);
    if (filter.address >= 0)
        conditions.add(QStringLiteral("address = ?"), filter.address);
    if (!filter.kinds.isEmpty()) {
        conditions.terms.append(QStringLiteral("kind IN (%1)").arg(QStringList(filter.kinds.size(), QStringLiteral("?")).join(u", ")));
        for (const QString &kind : filter.kinds)
            conditions.values.append(kind);
    }
    addTimeSpan(conditions, filter.from, filter.to);
    if (!filter.text.isEmpty())
        conditions.add(QStringLiteral("history_contains(text, ?)"), filter.text);
    if (after.isValid()) {
        if (filter.site.isEmpty())
            conditions.add(QStringLiteral("(day, seq) > (?, ?)"), isoDay(after.day));
        else
            conditions.add(QStringLiteral("(day, number) > (?, ?)"), isoDay(after.day));
        conditions.values.append(filter.site.isEmpty() ? QVariant(after.seq) : QVariant(after.number));
    }
    return conditions;
}

// Each order is an index's own (events_by_post, events_by_day_text), so a page
// is read off the index without sorting what the search found.
QString pageStatement(const HistoryFilter &filter, const Conditions &conditions)
{
    return QStringLiteral("SELECT %1 FROM events%2 ORDER BY %3 LIMIT ?")
        .arg(selectedColumns, conditions.where(),
             filter.site.isEmpty() ? QStringLiteral("day, seq") : QStringLiteral("day, number"));
}

bool run(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    if (!query.prepare(statement))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

HistoryRow rowOf(const QSqlQuery &query)
{
    HistoryRow row;
    row.seq = query.value(0).toLongLong();
    row.site = query.value(1).toString();
    row.id = {QDate::fromString(query.value(2).toString(), Qt::ISODate), query.value(3).toInt()};
    row.time = query.value(4).toString();
    row.code = query.value(5).isNull() ? -1 : query.value(5).toInt();
    row.kind = query.value(6).toString();
    row.address = query.value(7).isNull() ? -1 : query.value(7).toInt();
    row.loop = query.value(8).toInt();
    row.text = query.value(9).toString();
    row.received = query.value(10).toString();
    return row;
}

// The folded needle of one statement, and what it found in the texts seen so
// far: the journal's texts repeat (the same event of the same sensor, day
// after day), so most rows cost a lookup rather than a conversion and a fold.
struct Needle
{
    static constexpr qsizetype RememberedTexts = 20000;

    QString folded;
    QHash<QByteArray, bool> found;

    bool isIn(const char *text, int bytes)
    {
        const QByteArray key = QByteArray::fromRawData(text, bytes);
        const auto known = found.constFind(key);
        if (known != found.cend())
            return *known;
        const bool result = QString::fromUtf8(text, bytes).contains(folded, Qt::CaseInsensitive);
        if (found.size() < RememberedTexts)
            found.insert(QByteArray(text, bytes), result);
        return result;
    }
};

// history_contains(text, needle): whether the text holds the needle, with
// Unicode's case folding, which SQLite's LIKE does only for ASCII. The needle
// is folded once a statement.
void containsFolded(sqlite3_context *context, int, sqlite3_value **values)
{
    auto *needle = static_cast<Needle *>(sqlite3_get_auxdata(context, 1));
    if (!needle) {
        auto made = std::make_unique<Needle>();
        made->folded = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(values[1]))).toCaseFolded();
        sqlite3_set_auxdata(context, 1, made.release(), [](void *data) { delete static_cast<Needle *>(data); });
        needle = static_cast<Needle *>(sqlite3_get_auxdata(context, 1));
        if (!needle) { // SQLite could not keep it: it is already deleted
            sqlite3_result_error_nomem(context);
            return;
        }
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(values[0]));
    sqlite3_result_int(context, text && needle->isIn(text, sqlite3_value_bytes(values[0])));
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

bool addContainsFunction(sqlite3 *sqlite)
{
    return sqlite
           && sqlite3_create_function_v2(sqlite, "history_contains", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                         containsFolded, nullptr, nullptr, nullptr)
                  == SQLITE_OK;
}

bool failed(QString *error, const QString &text)
{
    *error = text;
    return false;
}

} // namespace

HistoryQuery::HistoryQuery(QString journalPath)
    : path_(std::move(journalPath)),
      connection_(QStringLiteral("dorvan-station-history-%1").arg(quintptr(this), 0, 16))
{
}

HistoryQuery::~HistoryQuery()
{
    close();
}

bool HistoryQuery::open(QString *error)
{
    close();
    if (!QFileInfo(path_).isFile())
        return failed(error, QStringLiteral("нет журнала станции %1").arg(path_));
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path_);
    db_.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    QString reason;
    if (!db_.open()) {
        reason = db_.lastError().text();
    } else if (!addContainsFunction(handleOf(db_))) {
        reason = QStringLiteral("the SQLite driver gives no handle");
    } else {
        QSqlQuery probe(db_);
        if (!probe.exec(QStringLiteral("SELECT %1 FROM events LIMIT 0").arg(selectedColumns)))
            reason = probe.lastError().text();
    }
    if (!reason.isEmpty()) {
        close();
        return failed(error, QStringLiteral("журнал станции %1 не открывается: %2").arg(path_, reason));
    }
    const std::lock_guard lock(handleLock_);
    handle_ = handleOf(db_);
    return true;
}

void HistoryQuery::close()
{
    if (!db_.isValid())
        return;
    {
        const std::lock_guard lock(handleLock_);
        handle_ = nullptr;
    }
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

std::optional<HistoryPage> HistoryQuery::page(const HistoryFilter &filter, const HistoryCursor &after, int limit,
                                              QString *error)
{
    limit = qMax(limit, 1);
    Conditions conditions = conditionsOf(filter, after);
    conditions.values.append(limit + 1); // one more tells whether a next page has rows
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!run(query, pageStatement(filter, conditions), conditions.values)) {
        failed(error, QStringLiteral("поиск в журнале %1 не удался: %2").arg(path_, query.lastError().text()));
        return std::nullopt;
    }
    HistoryPage page;
    while (query.next()) {
        if (page.rows.size() == limit) {
            page.more = true;
            break;
        }
        page.rows.append(rowOf(query));
    }
    if (!page.rows.isEmpty()) {
        const HistoryRow &last = page.rows.constLast();
        page.last = {last.id.day, last.id.number, last.seq};
    }
    return page;
}

std::optional<qint64> HistoryQuery::count(const HistoryFilter &filter, qint64 cap, QString *error)
{
    Conditions conditions = conditionsOf(filter, {});
    conditions.values.append(cap);
    QSqlQuery query(db_);
    const QString statement = QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM events%1 LIMIT ?)").arg(conditions.where());
    if (!run(query, statement, conditions.values) || !query.next()) {
        failed(error, QStringLiteral("подсчёт в журнале %1 не удался: %2").arg(path_, query.lastError().text()));
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

QStringList HistoryQuery::plan(const HistoryFilter &filter)
{
    Conditions conditions = conditionsOf(filter, {});
    conditions.values.append(1);
    QSqlQuery query(db_);
    QStringList steps;
    if (!run(query, QStringLiteral("EXPLAIN QUERY PLAN ") + pageStatement(filter, conditions), conditions.values))
        return {query.lastError().text()};
    while (query.next())
        steps.append(query.value(3).toString());
    return steps;
}

void HistoryQuery::interrupt()
{
    const std::lock_guard lock(handleLock_);
    if (handle_)
        sqlite3_interrupt(handle_);
}

QStringList historyKinds()
{
    QStringList kinds;
    for (int kind = int(EventKind::Unknown); kind <= int(EventKind::Threshold); ++kind)
        kinds.append(QString::fromLatin1(eventKindName(EventKind(kind))));
    return kinds;
}

} // namespace dorvan::station
