#include "base/russian.h"
#include "events/reportpager.h"
#include "contextrig.h"
#include "testfiles.h"

#include <QFile>
#include <QTest>

#include <functional>

using namespace dorvan;
using namespace dorvan::test;

namespace {

constexpr double FirstEventTime = 46362.25; // 06.12.2026 06:00:00

// Record i of a generated file: its code picked by the caller, its text naming i.
EventRecord numberedRecord(int i, quint8 code)
{
    return EventRecord::make(1000 + i, FirstEventTime + i / 86400.0, code,
                             QStringLiteral("Событие %1").arg(i));
}

void writeEvents(const QString &path, int count, const std::function<quint8(int)> &codeOf,
                 QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QList<EventRecord> records;
    for (int i = 0; i < count; ++i)
        records.append(numberedRecord(i, codeOf(i)));
    test::writeEvents(path, records, mode);
}

quint8 workCode(int)
{
    return EventCode::Work;
}

struct Fixture : ContextRig
{
    ReportPager report{ctx};

    QString eventFile(const QString &name) const { return dir.file(QStringLiteral("QReport/") + name); }

    void open(const QString &path)
    {
        prompter.files.push_back(path);
        report.BitBtn1Click();
    }
};

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void loadShowsTheLastPage_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("scope");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("rowsOnPage"); // closing row included
        QTest::addColumn<QString>("firstText");

        QTest::newRow("1200") << 1200 << int(ReportScope::All) << 1200 << 3 << 201 << "Событие 1000";
        QTest::newRow("exactly 500") << 500 << int(ReportScope::All) << 500 << 2 << 1 << "";
        QTest::newRow("499") << 499 << int(ReportScope::All) << 499 << 1 << 500 << "Событие 0";
        QTest::newRow("empty file") << 0 << int(ReportScope::All) << 0 << 1 << 1 << "";
        QTest::newRow("filter keeps nothing") << 700 << int(ReportScope::Alarms) << 0 << 1 << 1 << "";
    }

    void loadShowsTheLastPage()
    {
        QFETCH(int, records);
        QFETCH(int, scope);
        QFETCH(int, total);
        QFETCH(int, pages);
        QFETCH(int, rowsOnPage);
        QFETCH(QString, firstText);

        Fixture f;
        writeEvents(f.eventFile("06.12.2026"), records, workCode);
        f.report.scope = ReportScope(scope);
        f.report.kind = ReportKind::Daily;
        f.open(f.eventFile("06.12.2026"));

        QVERIFY(f.prompter.shown.isEmpty());
        QCOMPARE(f.report.reportTotal(), total);
        QCOMPARE(f.report.reportPage(), pages - 1);
        QCOMPARE(f.report.reportLastPage(), pages - 1);
        QCOMPARE(f.report.reportPageRows(), rowsOnPage);
        QCOMPARE(f.report.summaryText(),
                 QStringLiteral(" Отобрано %1 сообщений. Всего %2 страниц (по 500 сообщений)")
                     .arg(total).arg(pages));
        QCOMPARE(f.report.pageText(), QStringLiteral(" Стр. %1").arg(pages));
        QCOMPARE(f.report.spinMaximum(), pages);
        QCOMPARE(f.report.spinValue(), pages);
        QVERIFY(f.report.pagesVisible());

        const TextGridModel &grid = f.report.grid();
        QCOMPARE(grid.gridRowCount(), rowsOnPage + 1);
        QCOMPARE(grid.cell(1, 1), firstText);
        QCOMPARE(f.report.selectedRow(), rowsOnPage);
        // The closing row: empty, in the report's style, black.
        QCOMPARE(grid.rowTexts(rowsOnPage), QStringList({QString(), QString()}));
        QVERIFY(grid.rowStyle(rowsOnPage).has_value());
        QCOMPARE(grid.rowStyle(rowsOnPage)->fontColor, Colour::Black);
    }

    void pagingThroughAThreePageFile()
    {
        Fixture f;
        const QString path = f.eventFile("06.12.2026");
        writeEvents(path, 1200, [](int i) { return quint8(i % 2 ? EventCode::Tripped : EventCode::Work); });
        f.open(path);

        f.report.BButPrevClick(PageButton::First);
        const TextGridModel &grid = f.report.grid();
        QCOMPARE(grid.gridRowCount(), 502);
        QCOMPARE(grid.cell(0, 1), ru::eventTimeText(FirstEventTime));
        QCOMPARE(grid.cell(1, 1), QStringLiteral("Событие 0"));
        QCOMPARE(grid.cell(1, 500), QStringLiteral("Событие 499"));
        QCOMPARE(grid.rowStyle(2)->fontColor, Colour::Red);
        QCOMPARE(grid.rowStyle(1)->fontColor, Colour::Black);
        QCOMPARE(grid.rowStyle(1)->background, Colour::InfoBackground);
        QCOMPARE(grid.rowTexts(501), QStringList({QString(), QString()}));
        QVERIFY(!grid.rowStyle(501).has_value());
        QCOMPARE(f.report.pageText(), QStringLiteral(" Стр. 1"));
        QCOMPARE(f.report.spinValue(), 1);
        QCOMPARE(f.report.spinMaximum(), 3);
        QCOMPARE(f.report.selectedRow(), 501);

        f.report.BButPrevClick(PageButton::Previous);
        QCOMPARE(f.report.reportPage(), 0);
        QCOMPARE(grid.cell(1, 1), QStringLiteral("Событие 0"));

        f.report.BButPrevClick(PageButton::Next);
        QCOMPARE(f.report.reportPage(), 1);
        QCOMPARE(grid.cell(1, 1), QStringLiteral("Событие 500"));
        QCOMPARE(grid.cell(1, 500), QStringLiteral("Событие 999"));
        QCOMPARE(grid.gridRowCount(), 502);
        QCOMPARE(f.report.selectedRow(), 1);

        f.report.BButPrevClick(PageButton::Last);
        QCOMPARE(f.report.reportPage(), 2);
        QCOMPARE(grid.gridRowCount(), 202);
        QCOMPARE(grid.cell(1, 200), QStringLiteral("Событие 1199"));

        f.report.BButPrevClick(PageButton::Next);
        QCOMPARE(f.report.reportPage(), 2);
        QCOMPARE(f.report.pageText(), QStringLiteral(" Стр. 3"));
        QCOMPARE(grid.gridRowCount(), 202);

        f.report.setSpinValue(2);
        f.report.BButPrevClick(PageButton::Go);
        QCOMPARE(f.report.reportPage(), 1);
        QCOMPARE(f.report.reportWantedPage(), 1);
        QCOMPARE(grid.cell(1, 1), QStringLiteral("Событие 500"));
        QCOMPARE(f.report.summaryText(),
                 QStringLiteral(" Отобрано 1200 сообщений. Всего 3 страниц (по 500 сообщений)"));
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // Pages and blocks of reading do not line up: a page begun in one block
    // must come out whole, in order, for the last page and for a wanted one.
    void pagesStraddlingReadBlocks_data()
    {
        QTest::addColumn<int>("scope");
        QTest::addColumn<int>("firstOfLastPage");
        QTest::addColumn<int>("firstOfPage2");

        // 13000 records, all kept: page 25 holds records 12500..12999.
        QTest::newRow("all") << int(ReportScope::All) << 12500 << 1000;
        // Every 7th a link loss: 1858 kept, the last page starts at kept index 1500.
        QTest::newRow("sparse") << int(ReportScope::LinkLosses) << 1500 * 7 << 1000 * 7;
    }

    void pagesStraddlingReadBlocks()
    {
        QFETCH(int, scope);
        QFETCH(int, firstOfLastPage);
        QFETCH(int, firstOfPage2);

        Fixture f;
        const QString path = f.eventFile("big");
        writeEvents(path, 13000, [](int i) { return quint8(i % 7 ? EventCode::Work : EventCode::NoLink); });
        f.report.scope = ReportScope(scope);
        f.open(path);
        const TextGridModel &grid = f.report.grid();
        const int step = firstOfPage2 / 1000;
        for (int row = 1; row < f.report.reportPageRows(); ++row)
            QCOMPARE(grid.cell(1, row), QStringLiteral("Событие %1").arg(firstOfLastPage + (row - 1) * step));

        f.report.setSpinValue(3);
        f.report.BButPrevClick(PageButton::Go);
        QCOMPARE(grid.gridRowCount(), 502);
        for (int row = 1; row <= 500; ++row)
            QCOMPARE(grid.cell(1, row), QStringLiteral("Событие %1").arg(firstOfPage2 + (row - 1) * step));
    }

    void linkLossesOnADailyFile()
    {
        Fixture f;
        const QString path = f.eventFile("06.12.2026");
        const quint8 codes[] = {0, 2, 9, 15, 16, 20, 30, 32, 33, 35, 15};
        writeEvents(path, 11, [&](int i) { return codes[i]; });
        f.report.scope = ReportScope::LinkLosses;
        f.open(path);

        QCOMPARE(f.report.reportTotal(), 2);
        const TextGridModel &grid = f.report.grid();
        QCOMPARE(grid.cell(1, 1), QStringLiteral("Событие 3"));
        QCOMPARE(grid.cell(1, 2), QStringLiteral("Событие 10"));
        QCOMPARE(grid.rowStyle(1)->fontColor, Colour::DarkRed);
        QCOMPARE(grid.rowStyle(2)->fontColor, Colour::DarkRed);

        f.report.scope = ReportScope::Alarms;
        f.report.BButPrevClick(PageButton::First);
        QCOMPARE(f.report.reportTotal(), 3); // 2, 9 and 33
        QCOMPARE(grid.cell(1, 3), QStringLiteral("Событие 8"));
    }

    void filtersKeepTheirCodes_data()
    {
        QTest::addColumn<int>("scope");
        QTest::addColumn<QList<int>>("keptBelow40");
        QTest::newRow("alarms") << int(ReportScope::Alarms)
                                << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,
                                              22, 23, 24, 25, 26, 27, 28, 29, 33, 34, 36, 37, 38, 39};
        QTest::newRow("link losses") << int(ReportScope::LinkLosses)
                                     << QList<int>{1, 6, 12, 13, 14, 15, 22, 23, 24, 25, 26, 27, 28,
                                                   29, 36, 37, 38, 39};
    }

    void filtersKeepTheirCodes()
    {
        QFETCH(int, scope);
        QFETCH(QList<int>, keptBelow40);
        QList<int> kept;
        for (int code = 0; code < 40; ++code) {
            if (reportKeeps(ReportScope(scope), quint8(code)))
                kept.append(code);
        }
        QCOMPARE(kept, keptBelow40);
        QVERIFY(reportKeeps(ReportScope::All, 0));
        QVERIFY(reportKeeps(ReportScope::All, 35));
    }

    void partialTailIsIgnored()
    {
        Fixture f;
        const QString path = f.eventFile("tail");
        writeEvents(path, 3, workCode);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            file.write(QByteArray(327, '\1'));
        }
        f.open(path);
        QCOMPARE(f.report.reportTotal(), 3);
        QCOMPARE(f.report.grid().gridRowCount(), 5);
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void pathLengthIsBounded()
    {
        Fixture f;
        const QString prefix = f.dir.file(QStringLiteral("QReport/"));
        const QString fitting = prefix + QString(ReportPager::MaxPathLength - prefix.size(), u'a');
        const QString tooLong = fitting + u'b';
        writeEvents(fitting, 2, workCode);
        writeEvents(tooLong, 5, workCode);

        f.open(fitting);
        QCOMPARE(f.report.reportPath(), fitting);
        QCOMPARE(f.report.reportTotal(), 2);

        f.open(tooLong);
        QCOMPARE(f.prompter.texts(), QStringList{QStringLiteral("Файл не удается открыть: ") + tooLong});
        QCOMPARE(f.report.reportPath(), fitting);
        QCOMPARE(f.report.reportTotal(), 0);
        QCOMPARE(f.report.grid().gridRowCount(), 4); // the old page stays
    }

    void fileRemovedBeforeAPageChange()
    {
        Fixture f;
        const QString path = f.eventFile("gone");
        writeEvents(path, 1200, workCode);
        f.open(path);
        QVERIFY(QFile::remove(path));

        f.report.BButPrevClick(PageButton::First);
        QCOMPARE(f.prompter.texts(), QStringList{QStringLiteral("BButPrevClick: файл не удается открыть")});
        QCOMPARE(f.prompter.shown.first().icon, Prompter::Icon::Information);
        QCOMPARE(f.report.grid().gridRowCount(), 202);
        QCOMPARE(f.report.grid().cell(1, 1), QStringLiteral("Событие 1000"));
        QCOMPARE(f.report.reportTotal(), 0);
        QCOMPARE(f.report.reportPage(), 0);
        QCOMPARE(f.report.reportWantedPage(), 0);
        QCOMPARE(f.report.pageText(), QStringLiteral(" Стр. 3"));
    }

    void openChoosesTheDirectoryAndCancelStopsAfterTheReset()
    {
        Fixture f;
        const QString path = f.eventFile("day");
        writeEvents(path, 600, workCode);
        f.open(path);
        f.report.BButPrevClick(PageButton::First);

        const ReportKind kinds[] = {ReportKind::Model301, ReportKind::Model302, ReportKind::Daily};
        for (ReportKind kind : kinds) {
            f.report.kind = kind;
            f.prompter.files.push_back(std::nullopt);
            f.report.BitBtn1Click();
        }
        QCOMPARE(f.prompter.openFileDirectories.mid(1),
                 QStringList({f.dir.file("Dorvan301DK_mess"), f.dir.file("Dorvan302DK_mess"),
                              f.dir.file("QReport")}));
        QVERIFY(f.prompter.shown.isEmpty());
        QCOMPARE(f.report.reportPath(), path);
        QCOMPARE(f.report.reportWantedPage(), -1);
        QCOMPARE(f.report.reportTotal(), 0);
        QCOMPARE(f.report.grid().gridRowCount(), 502);
    }

    void sensorReportReadsTheSensorsOwnFile()
    {
        Fixture f;
        writeEvents(f.dir.file("Dorvan302DK_mess/4711"), 7, workCode);
        f.report.kind = ReportKind::Daily; // not looked at
        f.report.sensorReport(4711, 1);
        QCOMPARE(f.report.reportPath(), f.dir.file("Dorvan302DK_mess/4711"));
        QCOMPARE(f.report.reportTotal(), 7);
        QVERIFY(f.prompter.openFileDirectories.isEmpty());

        f.report.sensorReport(4711, 0);
        QCOMPARE(f.prompter.texts(),
                 QStringList{QStringLiteral("Файл не удается открыть: ") + f.dir.file("Dorvan301DK_mess/4711")});
        QCOMPARE(f.report.reportTotal(), 0);
        QCOMPARE(f.report.grid().gridRowCount(), 9);
    }

    // With a narrower filter the page the buttons remember may be past the end.
    void aPagePastTheEndShowsTheLastPage()
    {
        Fixture f;
        const QString path = f.eventFile("mixed");
        writeEvents(path, 1200, [](int i) { return quint8(i < 10 ? EventCode::NoLink : EventCode::Work); });
        f.open(path);
        f.report.scope = ReportScope::LinkLosses;
        f.report.BButPrevClick(PageButton::Last);

        QCOMPARE(f.report.reportPage(), 0);
        QCOMPARE(f.report.reportWantedPage(), 0);
        QCOMPARE(f.report.pageText(), QStringLiteral(" Стр. 1"));
        QCOMPARE(f.report.grid().gridRowCount(), 12);
        QCOMPARE(f.report.grid().cell(1, 10), QStringLiteral("Событие 9"));
        QCOMPARE(f.report.spinValue(), 1);
    }

    void eventsAppendedMeanwhileAppearAtTheNextPageChange()
    {
        Fixture f;
        const QString path = f.eventFile("growing");
        writeEvents(path, 499, workCode);
        f.open(path);
        writeEvents(path, 2, workCode, QIODevice::Append);
        f.report.BButPrevClick(PageButton::Last);
        QCOMPARE(f.report.reportTotal(), 501);
        QCOMPARE(f.report.reportLastPage(), 1);
        QCOMPARE(f.report.reportPage(), 0); // "Last" goes to the page last known
        f.report.BButPrevClick(PageButton::Last);
        QCOMPARE(f.report.reportPage(), 1);
        QCOMPARE(f.report.grid().gridRowCount(), 3);
        QCOMPARE(f.report.spinMaximum(), 1); // paging leaves the maximum alone
    }

    void pageNumberTextIsClamped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("in range") << "2" << 2;
        QTest::newRow("above") << "9" << 3;
        QTest::newRow("zero") << "0" << 1;
        QTest::newRow("negative") << "-4" << 1;
        QTest::newRow("not a number") << "x1" << 1;
        QTest::newRow("empty keeps") << "" << 3;
    }

    void pageNumberTextIsClamped()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        Fixture f;
        const QString path = f.eventFile("three");
        writeEvents(path, 1000, workCode);
        f.open(path);
        QCOMPARE(f.report.spinMaximum(), 3);
        QCOMPARE(f.report.CSpinEdProtChange(text), value);
        QCOMPARE(f.report.spinValue(), value);
    }

    void activationWritesTheHeader()
    {
        Fixture f;
        f.report.FormActivate();
        QCOMPARE(f.report.grid().rowTexts(0),
                 QStringList({QStringLiteral("Дата и время"), QStringLiteral("Наименование события")}));
        QCOMPARE(f.report.grid().gridRowCount(), 2);
        QCOMPARE(f.report.spinMaximum(), 100);
        QVERIFY(!f.report.pagesVisible());
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "test_reportpager.moc"
