// The journal searched by post, sensor, kind, the post's wall time and text,
// page by page, through its indexes; the export written as the console's
// event export is and read back; dorvan-station --export's command line.
#include "events/eventexport.h"
#include "station/historyexport.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

namespace {

struct Prepared
{
    const char *site;
    const char *day;  // dd.MM.yyyy
    int number;
    const char *time; // the post's wall time, offset +03:00
    const char *kind;
    int code;
    int address;
    int loop;
    const char *text;
};

// Stored in the order of arrival, which is not the order of the files.
const Prepared preparedEvents[] = {
    {"post1", "08.12.2026", 0, "00:00:00.000", "system", 20, -1, 0, "Начало работы"},
    {"post1", "08.12.2026", 1, "10:15:00.000", "alarm", 33, 1001, 1, "Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 1001"},
    {"post2", "09.12.2026", 5, "09:00:00.000", "alarm", 33, 4001, 1, "Срабатывание 1 шлейфа датчика <Дорван-302ДК> № 4001"},
    {"post2", "08.12.2026", 0, "10:30:00.000", "alarm", 33, 1001, 2, "Срабатывание 2 шлейфа датчика <Дорван-302ДК> № 1001"},
    {"post1", "08.12.2026", 2, "11:59:59.900", "fault", 9, 1002, 0, "Ошибка ППЗУ датчика <Дорван-301ДК> № 1002"},
    {"post2", "08.12.2026", 1, "12:00:00.000", "connected", 30, 4001, 0,
     "Датчик <Дорван-302ДК> № 4001 подключён. Оператор: Иванов; смена \"Б\"\nночная"},
    {"post1", "09.12.2026", 0, "00:00:01.000", "link_lost", 15, 1002, 0, "Нет связи с датчиком <Дорван-301ДК> № 1002"},
    {"post1", "08.12.2026", 3, "23:59:59.500", "normal", 0, 1001, 1, "Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № 1001"},
};

QString postTime(const Prepared &event)
{
    const QDate day = QDate::fromString(QString::fromLatin1(event.day), u"dd.MM.yyyy");
    return day.toString(Qt::ISODate) + u'T' + QString::fromLatin1(event.time) + QStringLiteral("+03:00");
}

bool prepareJournal(const QString &path)
{
    Journal journal(path);
    QString error;
    if (!journal.open(&error) || !journal.begin())
        return false;
    const QDateTime received(QDate(2026, 12, 9), QTime(6, 0), Qt::UTC);
    for (const Prepared &event : preparedEvents) {
        const EventRow row{QString::fromLatin1(event.site),
                           {QDate::fromString(QString::fromLatin1(event.day), u"dd.MM.yyyy"), event.number},
                           postTime(event), event.code, QString::fromLatin1(event.kind), event.address, event.loop,
                           QString::fromUtf8(event.text), QByteArray("{}")};
        if (journal.addEvent(row, received) != Journal::Insert::Added)
            return false;
    }
    return journal.commit();
}

QDateTime wall(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), u"dd.MM.yyyy HH:mm");
}

HistoryFilter filter(const char *site = "", const char *from = nullptr, const char *to = nullptr)
{
    HistoryFilter filter;
    filter.site = QString::fromLatin1(site);
    if (from)
        filter.from = wall(from);
    if (to)
        filter.to = wall(to);
    return filter;
}

QString key(const HistoryRow &row)
{
    return row.site + u' ' + row.id.text();
}

// A CSV's records, each a list of fields; the record ends must be CRLF.
QList<QStringList> readCsv(const QByteArray &data, bool *crlf)
{
    const QString text = QString::fromUtf8(data);
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    *crlf = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            fields.append(std::exchange(field, QString()));
        } else if (c == u'\r' || c == u'\n') {
            *crlf = *crlf && c == u'\r' && i + 1 < text.size() && text[++i] == u'\n';
            fields.append(std::exchange(field, QString()));
            records.append(std::exchange(fields, QStringList()));
        } else {
            field += c;
        }
    }
    return records;
}

} // namespace

class TestStationHistory : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString journalPath;
    HistoryQuery *query = nullptr;

    QStringList search(const HistoryFilter &filter, int limit)
    {
        QStringList keys;
        HistoryCursor after;
        QString error;
        for (int pages = 0; pages < 100; ++pages) {
            const std::optional<HistoryPage> page = query->page(filter, after, limit, &error);
            if (!page) {
                qWarning("%s", qPrintable(error));
                return {QStringLiteral("failed")};
            }
            for (const HistoryRow &row : page->rows)
                keys.append(key(row));
            if (!page->more)
                break;
            after = page->last;
        }
        return keys;
    }

    QByteArray exported(const HistoryFilter &filter, ExportFormat format)
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        HistoryExport exporter(buffer, format);
        QString error;
        if (!exportHistory(*query, filter, exporter, &error))
            qWarning("%s", qPrintable(error));
        return buffer.data();
    }

private slots:
    void initTestCase()
    {
        journalPath = dir.path() + QStringLiteral("/journal.sqlite");
        QVERIFY(prepareJournal(journalPath));
        query = new HistoryQuery(journalPath);
        QString error;
        QVERIFY2(query->open(&error), qPrintable(error));
    }
    void cleanupTestCase() { delete query; }

    void searches_data()
    {
        QTest::addColumn<HistoryFilter>("filter");
        QTest::addColumn<QStringList>("expected");

        const QStringList post1Day8{"post1 08.12.2026#0", "post1 08.12.2026#1", "post1 08.12.2026#2", "post1 08.12.2026#3"};
        QTest::newRow("post and day") << filter("post1", "08.12.2026 00:00", "09.12.2026 00:00") << post1Day8;
        QTest::newRow("post, every day") << filter("post1") << post1Day8 + QStringList{"post1 09.12.2026#0"};
        QTest::newRow("every post, a day's in order of arrival")
            << filter() << QStringList{"post1 08.12.2026#0", "post1 08.12.2026#1", "post2 08.12.2026#0",
                                       "post1 08.12.2026#2", "post2 08.12.2026#1", "post1 08.12.2026#3",
                                       "post2 09.12.2026#5", "post1 09.12.2026#0"};
        QTest::newRow("post's wall time, end excluded")
            << filter("", "08.12.2026 10:00", "08.12.2026 12:00")
            << QStringList{"post1 08.12.2026#1", "post2 08.12.2026#0", "post1 08.12.2026#2"};
        QTest::newRow("across midnight") << filter("post1", "08.12.2026 23:00", "09.12.2026 01:00")
                                         << QStringList{"post1 08.12.2026#3", "post1 09.12.2026#0"};
        QTest::newRow("unknown post") << filter("post3") << QStringList{};

        HistoryFilter sensor = filter("post1");
        sensor.address = 1001;
        QTest::newRow("sensor of a post") << sensor << QStringList{"post1 08.12.2026#1", "post1 08.12.2026#3"};
        sensor.site.clear();
        QTest::newRow("sensor address at every post")
            << sensor << QStringList{"post1 08.12.2026#1", "post2 08.12.2026#0", "post1 08.12.2026#3"};

        HistoryFilter kinds = filter();
        kinds.kinds = QStringList{"alarm", "link_lost"};
        QTest::newRow("kinds") << kinds << QStringList{"post1 08.12.2026#1", "post2 08.12.2026#0", "post2 09.12.2026#5",
                                                       "post1 09.12.2026#0"};

        HistoryFilter text = filter();
        text.text = QStringLiteral("СРАБАТЫВАНИЕ");
        QTest::newRow("text, Cyrillic in any case")
            << text << QStringList{"post1 08.12.2026#1", "post2 08.12.2026#0", "post2 09.12.2026#5"};
        text.text = QStringLiteral(".");
        QTest::newRow("text taken literally") << text << QStringList{"post2 08.12.2026#1"};
        text.text = QStringLiteral("<Дорван-302ДК> № 4001");
        text.kinds = QStringList{"alarm"};
        QTest::newRow("text and kind") << text << QStringList{"post2 09.12.2026#5"};

        // Every post's days by text: read off the day index, which holds the texts.
        HistoryFilter daysText = filter("", "08.12.2026 00:00", "10.12.2026 00:00");
        daysText.text = QStringLiteral("срабатывание 2 шлейфа");
        QTest::newRow("days, text in lower case") << daysText << QStringList{"post2 08.12.2026#0"};
        daysText.text = QStringLiteral("ПОДКЛЮЧЁН. оператор");
        QTest::newRow("days, text in mixed case") << daysText << QStringList{"post2 08.12.2026#1"};
        daysText.text = QStringLiteral("подключен");
        QTest::newRow("days, е is not ё") << daysText << QStringList{};
        daysText.text = QStringLiteral("Дорван-303");
        QTest::newRow("days, text found nowhere") << daysText << QStringList{};
    }

    // Read in one page and in pages of one and two rows: the same rows, once each.
    void searches()
    {
        QFETCH(HistoryFilter, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(search(filter, 1000), expected);
        QCOMPARE(search(filter, 1), expected);
        QCOMPARE(search(filter, 2), expected);
        QString error;
        QCOMPARE(query->count(filter, 1000, &error), std::optional<qint64>(expected.size()));
        QCOMPARE(query->count(filter, 2, &error), std::optional<qint64>(qMin<qint64>(2, expected.size())));
    }

    void throughIndexes_data()
    {
        QTest::addColumn<HistoryFilter>("filter");
        QTest::newRow("post and day") << filter("post1", "08.12.2026 00:00", "09.12.2026 00:00");
        QTest::newRow("days") << filter("", "08.12.2026 00:00", "15.12.2026 00:00");
        HistoryFilter sensor = filter("post1", "08.12.2026 00:00", "09.12.2026 00:00");
        sensor.address = 1001;
        sensor.text = QStringLiteral("шлейф");
        QTest::newRow("sensor and text of a post's day") << sensor;
        HistoryFilter daysText = filter("", "08.12.2026 00:00", "15.12.2026 00:00");
        daysText.text = QStringLiteral("шлейф");
        QTest::newRow("text of every post's days") << daysText;
    }

    // Neither a scan of the journal nor a sort of what it found before the
    // first row: a page costs its rows, however big the journal.
    void throughIndexes()
    {
        QFETCH(HistoryFilter, filter);
        const QString plan = query->plan(filter).join(u'\n');
        QVERIFY2(plan.contains(QStringLiteral("SEARCH events USING INDEX")), qPrintable(plan));
        QVERIFY2(!plan.contains(QStringLiteral("TEMP B-TREE")), qPrintable(plan));
    }

    // A journal whose day index has no texts gets the new one at its opening, every event kept.
    void olderJournalGetsTextIndex()
    {
        const QString path = dir.path() + QStringLiteral("/older.sqlite");
        QVERIFY(prepareJournal(path));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("older"));
            db.setDatabaseName(path);
            QSqlQuery sql(db);
            QVERIFY(db.open());
            QVERIFY(sql.exec(QStringLiteral("CREATE INDEX events_by_day ON events (day, seq)")));
            QVERIFY(sql.exec(QStringLiteral("DROP INDEX events_by_day_text")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("older"));
        {
            Journal journal(path);
            QString error;
            QVERIFY2(journal.open(&error), qPrintable(error));
            QSqlQuery sql(journal.database());
            QVERIFY(sql.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'events'")));
            QStringList indexes;
            while (sql.next())
                indexes.append(sql.value(0).toString());
            QVERIFY2(indexes.contains(QStringLiteral("events_by_day_text")), qPrintable(indexes.join(u' ')));
            QVERIFY(!indexes.contains(QStringLiteral("events_by_day")));
        }
        HistoryQuery older(path);
        QString error;
        QVERIFY(older.open(&error));
        HistoryFilter found = filter("", "08.12.2026 00:00", "10.12.2026 00:00");
        QCOMPARE(older.count(found, 1000, &error), std::optional<qint64>(std::size(preparedEvents)));
        found.text = QStringLiteral("срабатывание");
        QCOMPARE(older.count(found, 1000, &error), std::optional<qint64>(3));
    }

    void exportRoundTrip()
    {
        QList<HistoryRow> rows;
        QString error;
        const std::optional<HistoryPage> page = query->page(filter(), {}, 1000, &error);
        QVERIFY(page);
        rows = page->rows;

        const QByteArray csv = exported(filter(), ExportFormat::Csv);
        QVERIFY(csv.startsWith(csvByteOrderMark));
        bool crlf = false;
        const QList<QStringList> records = readCsv(csv.mid(3), &crlf);
        QVERIFY(crlf);
        bool consoleCrlf = false;
        const QStringList consoleHeader = readCsv(EventExport::csvHeader().mid(3), &consoleCrlf).value(0);
        QCOMPARE(records.value(0).mid(0, 3), consoleHeader);
        QCOMPARE(records.size(), rows.size() + 1);

        const QList<QByteArray> lines = exported(filter(), ExportFormat::JsonLines).split('\n');
        QCOMPARE(lines.size(), rows.size() + 1); // the last line ends too
        for (int i = 0; i < rows.size(); ++i) {
            const QStringList &fields = records[i + 1];
            const QJsonObject json = QJsonDocument::fromJson(lines[i]).object();
            QCOMPARE(fields.value(3) + u' ' + fields.value(4), key(rows[i]));
            QCOMPARE(fields.value(1), rows[i].text);
            QCOMPARE(json.value("site").toString() + u' ' + json.value("id").toString(), key(rows[i]));
            QCOMPARE(json.value("text").toString(), rows[i].text);
            // The same values in both formats.
            QCOMPARE(json.value("time").toString(), fields.value(0));
            QCOMPARE(QString::number(json.value("code").toInt()), fields.value(2));
            QCOMPARE(json.value("address").isNull(), fields.value(6).isEmpty());
        }
        // The post's wall time, not the station's nor UTC; at midnight the date alone, as the console shows it.
        const auto timeOf = [&records](const QString &id) {
            for (const QStringList &fields : records) {
                if (fields.value(3) == u"post1" && fields.value(4) == id)
                    return fields.value(0);
            }
            return QString();
        };
        QCOMPARE(timeOf("08.12.2026#0"), QStringLiteral("08.12.2026"));
        QCOMPARE(timeOf("08.12.2026#3"), QStringLiteral("08.12.2026 23:59:59"));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("lines"); // of JSON on standard output

        const QString journal = QStringLiteral("--journal=") + dir.path() + QStringLiteral("/journal.sqlite");
        const QString dataDir = QStringLiteral("--data-dir=") + dir.path();
        QTest::newRow("a post's events") << QStringList{journal, "--site", "post1"} << 0 << 5;
        QTest::newRow("a date alone includes its day")
            << QStringList{dataDir, "--from", "08.12.2026", "--to", "08.12.2026"} << 0 << 6;
        QTest::newRow("kinds and text") << QStringList{journal, "--kind", "alarm, fault", "--text", "датчика <Дорван-301ДК>"}
                                        << 0 << 2;
        QTest::newRow("an unknown kind") << QStringList{journal, "--kind", "trip"} << 2 << 0;
        QTest::newRow("not a date") << QStringList{journal, "--from", "32.12.2026"} << 2 << 0;
        QTest::newRow("an empty span") << QStringList{journal, "--from", "09.12.2026", "--to", "08.12.2026"} << 2 << 0;
        QTest::newRow("a wrong format") << QStringList{journal, "--format", "xml"} << 2 << 0;
        QTest::newRow("an unknown option") << QStringList{journal, "--post", "post1"} << 2 << 0;
        QTest::newRow("no journal") << QStringList{"--data-dir", dir.path() + "/elsewhere"} << 1 << 0;
        QTest::newRow("the journal as output") << QStringList{journal, "-o", dir.path() + "/journal.sqlite"} << 1 << 0;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(int, lines);
        QBuffer output; // a device, as standard output is
        output.open(QIODevice::WriteOnly);
        QString errors;
        QTextStream out(&output);
        QTextStream err(&errors);
        const QStringList command = QStringList{"dorvan-station", "--export", "--format=jsonl"} + arguments;
        QCOMPARE(runHistoryExport(command, out, err), status);
        QCOMPARE(output.data().count('\n'), lines);
        QCOMPARE(errors.isEmpty(), status == 0);
        // The journal is still the journal.
        QVERIFY(query->page(filter(), {}, 1000, &errors).value_or(HistoryPage{}).rows.size() == qsizetype(std::size(preparedEvents)));
    }

    void toFile()
    {
        const QString path = dir.path() + QStringLiteral("/post2.csv");
        QString output;
        QString errors;
        QTextStream out(&output);
        QTextStream err(&errors);
        QCOMPARE(runHistoryExport({"dorvan-station", "--export", "--journal", journalPath, "--site", "post2", "-o", path},
                                  out, err),
                 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), exported(filter("post2"), ExportFormat::Csv));
        QVERIFY(output.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStationHistory)
#include "test_stationhistory.moc"
