// The history window's model over a journal of 1,203 events: pages of 500
// read as the view asks, the count, a newer search replacing one under way,
// and the export of what a search found.
#include "historyjournal.h"
#include "station/historymodel.h"

#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

namespace {

constexpr int Events = 1203;

HistoryFilter filterOf(const QString &site, int address, const QString &text, const QDate &day = {})
{
    HistoryFilter filter;
    filter.site = site;
    filter.address = address;
    filter.text = text;
    if (day.isValid()) {
        filter.from = QDateTime(day, QTime(0, 0));
        filter.to = QDateTime(day.addDays(1), QTime(0, 0));
    }
    return filter;
}

bool searched(HistoryModel &model, const HistoryFilter &filter)
{
    QSignalSpy finished(&model, &HistoryModel::searchFinished);
    model.search(filter);
    return finished.wait(10000);
}

bool fetchedPage(HistoryModel &model)
{
    QSignalSpy arrived(&model, &HistoryModel::pageArrived);
    model.fetchMore({});
    return arrived.wait(10000);
}

} // namespace

class TestStationHistoryModel : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString journalPath;

private slots:
    void initTestCase()
    {
        journalPath = dir.path() + QStringLiteral("/journal.sqlite");
        QVERIFY(test::prepareHistoryJournal(journalPath, Events));
    }

    void pagesAndCounts_data()
    {
        QTest::addColumn<HistoryFilter>("filter");
        QTest::addColumn<int>("expected");
        QTest::newRow("everything") << filterOf({}, -1, {}) << Events;
        QTest::newRow("one post") << filterOf(QStringLiteral("post2"), -1, {}) << 601;
        QTest::newRow("one sensor at every post") << filterOf({}, 1003, {}) << 151;
        QTest::newRow("text in capitals") << filterOf({}, -1, QStringLiteral("СРАБАТЫВАНИЕ")) << 241;
        QTest::newRow("text in lower case, not its other form")
            << filterOf({}, -1, QStringLiteral("связь с датчиком")) << 240;
        QTest::newRow("a day of every post") << filterOf({}, -1, {}, QDate(2026, 12, 9)) << 600;
        QTest::newRow("a day's text of one sensor") << filterOf({}, -1, QStringLiteral("№ 1008"), QDate(2026, 12, 9)) << 75;
        QTest::newRow("found nowhere") << filterOf({}, -1, QStringLiteral("подключён"), QDate(2026, 12, 9)) << 0;
    }

    // A page at first, then a page each time the view asks, every row once.
    void pagesAndCounts()
    {
        QFETCH(HistoryFilter, filter);
        QFETCH(int, expected);
        HistoryModel model(journalPath);
        QVERIFY(searched(model, filter));
        QVERIFY(!model.searching());
        QCOMPARE(model.found(), std::optional<qint64>(expected));
        QCOMPARE(model.rowCount(), qMin(expected, HistoryModel::PageRows));
        int pages = 1;
        while (model.canFetchMore({})) {
            QVERIFY(fetchedPage(model));
            QCOMPARE(model.rowCount(), qMin(expected, HistoryModel::PageRows * ++pages));
        }
        QCOMPARE(model.rowCount(), expected);
        QSet<qint64> seen;
        for (int row = 0; row < model.rowCount(); ++row) {
            const HistoryRow &event = model.row(row);
            QVERIFY(!seen.contains(event.seq));
            seen.insert(event.seq);
            QVERIFY(filter.site.isEmpty() || event.site == filter.site);
            QVERIFY(event.text.contains(filter.text, Qt::CaseInsensitive));
        }
    }

    // What the earlier search still brings is dropped.
    void newerSearchWins()
    {
        HistoryModel model(journalPath);
        QSignalSpy finished(&model, &HistoryModel::searchFinished);
        model.search(filterOf({}, -1, {}));
        model.search(filterOf(QStringLiteral("post2"), 1002, {}));
        QVERIFY(finished.wait(10000));
        QCOMPARE(model.found(), std::optional<qint64>(151));
        QCOMPARE(model.rowCount(), 151);
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.row(row).address, 1002);
        QCOMPARE(finished.size(), 1); // the first search's replies came before and were dropped
    }

    void exportsEveryFoundEvent()
    {
        HistoryModel model(journalPath);
        QVERIFY(searched(model, filterOf({}, -1, QStringLiteral("срабатывание"))));
        const QString path = dir.path() + QStringLiteral("/found.jsonl");
        qint64 exported = -1;
        QString error;
        model.exportTo(path, ExportFormat::JsonLines, [&](qint64 count, const QString &reason) {
            exported = count;
            error = reason;
        });
        QTRY_VERIFY_WITH_TIMEOUT(exported >= 0, 10000);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(exported, 241);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), 241);
    }
};

QTEST_GUILESS_MAIN(TestStationHistoryModel)
#include "test_stationhistorymodel.moc"
