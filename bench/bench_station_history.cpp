// Searches of the station's history in a journal of ten million events: 200
// posts, a thousand records a post a day for fifty days, written with plain
// SQL in one transaction into a journal that Journal made (its schema and
// indexes) in a temporary directory on disk. Then, each on a new read-only
// connection, as a window would ask: a post's day, a week's events whose
// text holds a sensor's number, a week searched for a text found nowhere
// (the worst case: every event of the week read), the same in one post's
// week, a sensor's whole history, and the post's day exported as CSV. Each
// figure is the median of five runs, as time passed and as the process's
// own processor time. Last, the same journal as an older one (its day index
// without the texts) opened by Journal, which builds the new index.
//
// bench_station_history [EVENTS] [--no-upgrade]   (default 10000000; needs about 1 GB a million)

#include "station/historyexport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <functional>

using namespace dorvan;
using namespace dorvan::station;

namespace {

constexpr int Posts = 200;
constexpr int RecordsPerDay = 1000;
constexpr qint64 BytesPerEvent = 700; // the row, its share of the indexes, and room
constexpr int Runs = 5;

// The records of post i % 200 in turn, day after day, as the posts send them.
const char *const generation = R"(
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < ? - 1),
f AS (SELECT 'post' || (i % 200) AS site, (i / 200) / 1000 AS d, (i / 200) % 1000 AS number,
             (i / 200) % 10 AS phase, 1001 + (i / 200) % 32 AS address FROM n),
g AS (SELECT site, number, address, date('2026-10-20', '+' || d || ' days') AS day,
             CASE phase WHEN 3 THEN 'alarm' WHEN 4 THEN 'normal' WHEN 7 THEN 'fault' WHEN 8 THEN 'link_lost'
                        WHEN 9 THEN 'link_restored' ELSE 'threshold' END AS kind,
             CASE phase WHEN 3 THEN 33 WHEN 4 THEN 0 WHEN 7 THEN 9 WHEN 8 THEN 15 WHEN 9 THEN 32 ELSE 35 END AS code,
             printf('%02d:%02d:%02d.%03d', number * 86400 / 3600000, number * 86400 / 60000 % 60,
                    number * 86400 / 1000 % 60, number * 86400 % 1000) AS clock FROM f),
h AS (SELECT *, strftime('%d.%m.%Y', day) || '#' || number AS id, day || 'T' || clock || '+03:00' AS time,
             CASE WHEN kind IN ('alarm', 'normal') THEN 1 END AS loop,
             CASE kind WHEN 'alarm' THEN 'Срабатывание 1 шлейфа датчика <Дорван-301ДК> № '
                       WHEN 'normal' THEN 'Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № '
                       WHEN 'fault' THEN 'Ошибка ППЗУ датчика <Дорван-301ДК> № '
                       WHEN 'link_lost' THEN 'Нет связи с датчиком <Дорван-301ДК> № '
                       WHEN 'link_restored' THEN 'Восстановлена связь с датчиком <Дорван-301ДК> № '
                       ELSE 'Изменено значение постоянной состовляющей порога датчика <Дорван-301ДК> № ' END
               || address AS text FROM g)
INSERT INTO events (site, id, day, number, time, code, kind, address, loop, text, payload, received)
SELECT site, id, day, number, time, code, kind, address, loop, text,
       json_object('id', id, 'site', site, 'time', time, 'code', code, 'kind', kind, 'model', 'Дорван-301ДК',
                   'address', address, 'loop', loop, 'text', text),
       day || 'T' || clock || 'Z' FROM h
)";

bool generate(const QString &path, qint64 events, QTextStream &out)
{
    {
        Journal journal(path);
        QString error;
        if (!journal.open(&error)) {
            out << error << '\n';
            return false;
        }
    }
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generation"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        // A rollback journal for the one big transaction: a WAL would grow as large as the journal.
        ok = db.open() && query.exec(QStringLiteral("PRAGMA journal_mode=DELETE"))
             && query.exec(QStringLiteral("PRAGMA cache_size=-2000000")) && db.transaction()
             && query.prepare(QString::fromUtf8(generation));
        query.addBindValue(events);
        ok = ok && query.exec() && db.commit() && query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        if (!ok)
            out << "generation failed: " << query.lastError().text() << db.lastError().text() << '\n';
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generation"));
    return ok;
}

struct Figure
{
    double wallMs = 0;
    double cpuMs = 0; // the process's own time: what the figure is when the machine is shared
};

// The medians of the runs, each on a connection of its own.
Figure measure(const QString &path, const std::function<qint64(HistoryQuery &)> &run, qint64 *found)
{
    QList<double> walls;
    QList<double> cpus;
    for (int i = 0; i < Runs; ++i) {
        HistoryQuery query(path);
        QString error;
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpu = std::clock();
        if (!query.open(&error))
            qFatal("%s", qPrintable(error));
        *found = run(query);
        cpus.append(double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC);
        walls.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[Runs / 2], cpus[Runs / 2]};
}

qint64 firstPage(HistoryQuery &query, const HistoryFilter &filter)
{
    QString error;
    const std::optional<HistoryPage> page = query.page(filter, {}, 500, &error);
    if (!page)
        qFatal("%s", qPrintable(error));
    return page->rows.size();
}

qint64 allPages(HistoryQuery &query, const HistoryFilter &filter)
{
    QString error;
    qint64 rows = 0;
    HistoryCursor after;
    for (;;) {
        const std::optional<HistoryPage> page = query.page(filter, after, 500, &error);
        if (!page)
            qFatal("%s", qPrintable(error));
        rows += page->rows.size();
        if (!page->more)
            return rows;
        after = page->last;
    }
}

HistoryFilter daysOf(const QString &site, const QDate &first, int days)
{
    HistoryFilter filter;
    filter.site = site;
    filter.from = QDateTime(first, QTime(0, 0));
    filter.to = QDateTime(first.addDays(days), QTime(0, 0));
    return filter;
}

struct Case
{
    const char *what;
    HistoryFilter filter;
    std::function<qint64(HistoryQuery &, const HistoryFilter &)> run;
};

qint64 exportCsv(HistoryQuery &query, const HistoryFilter &filter)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    HistoryExport exporter(buffer, ExportFormat::Csv);
    QString error;
    if (!exportHistory(query, filter, exporter, &error))
        qFatal("%s", qPrintable(error));
    return exporter.exported();
}

QList<Case> cases(qint64 events)
{
    const int days = int(qMax<qint64>(1, events / Posts / RecordsPerDay));
    const QDate middle = QDate(2026, 10, 20).addDays(days / 2);
    const QString post = QStringLiteral("post137");
    HistoryFilter sensorText = daysOf({}, middle, 7);
    sensorText.text = QStringLiteral("№ 1017");
    HistoryFilter nowhere = daysOf({}, middle, 7);
    nowhere.text = QStringLiteral("подключён");
    HistoryFilter postWeek = daysOf(post, middle, 7);
    postWeek.text = nowhere.text;
    HistoryFilter sensor;
    sensor.site = post;
    sensor.address = 1017;
    return {
        {"a post's day, first page of 500", daysOf(post, middle, 1), firstPage},
        {"a post's day, every page", daysOf(post, middle, 1), allPages},
        {"a post's day, exported as CSV", daysOf(post, middle, 1), exportCsv},
        {"a week of every post, text of one sensor, first page", sensorText, firstPage},
        {"a week of every post, a text found nowhere", nowhere, firstPage},
        {"a week of one post, a text found nowhere", postWeek, firstPage},
        {"a sensor's whole history at its post, every page", sensor, allPages},
    };
}

// A journal made before the day index held the texts, opened by Journal:
// the index is built once, in open(), before the station starts.
void measureUpgrade(const QString &path, QTextStream &out)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("downgrade"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (!db.open() || !query.exec(QStringLiteral("CREATE INDEX events_by_day ON events (day, seq)"))
            || !query.exec(QStringLiteral("DROP INDEX events_by_day_text")))
            qFatal("downgrade failed: %s", qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("downgrade"));
    const qint64 before = QFileInfo(path).size();
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpu = std::clock();
    Journal journal(path);
    QString error;
    if (!journal.open(&error))
        qFatal("%s", qPrintable(error));
    out << "an older journal opened, its day index rebuilt with the texts: " << timer.elapsed() / 1000.0 << " s (cpu "
        << double(std::clock() - cpu) / CLOCKS_PER_SEC << " s), " << (before >> 20) << " MB before, "
        << (QFileInfo(path).size() >> 20) << " MB after\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const qint64 events = argc > 1 && QByteArray(argv[1]).toLongLong() > 0 ? QByteArray(argv[1]).toLongLong() : 10'000'000;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench-history-XXXXXX"));
    const qint64 needed = events * BytesPerEvent;
    const qint64 available = QStorageInfo(dir.path()).bytesAvailable();
    if (available < needed) {
        out << "skipped: " << (available >> 20) << " MB free in " << dir.path() << ", " << (needed >> 20) << " MB needed\n";
        return 0;
    }
    const QString path = dir.path() + QStringLiteral("/journal.sqlite");
    QElapsedTimer timer;
    timer.start();
    if (!generate(path, events, out))
        return 1;
    out << "journal: " << events << " events of " << Posts << " posts, " << (QFileInfo(path).size() >> 20)
        << " MB, written in " << timer.elapsed() / 1000.0 << " s\n";
    out << "(the figures below read the journal from the system's cache, warm from its writing)\n";

    for (const Case &c : cases(events)) {
        qint64 found = 0;
        const Figure figure = measure(path, [&c](HistoryQuery &query) { return c.run(query, c.filter); }, &found);
        HistoryQuery query(path);
        QString error;
        query.open(&error);
        out << qSetFieldWidth(56) << Qt::left << c.what << qSetFieldWidth(0) << ' ' << qSetRealNumberPrecision(1)
            << Qt::fixed << figure.wallMs << " ms (cpu " << figure.cpuMs << " ms), " << found << " events   [" << query.plan(c.filter).join(QStringLiteral("; "))
            << "]\n";
        out.flush();
    }
    if (!app.arguments().contains(QStringLiteral("--no-upgrade")))
        measureUpgrade(path, out);
    return 0;
}
