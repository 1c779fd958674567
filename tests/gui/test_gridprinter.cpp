#include "grid/widgets/gridprinter.h"
#include "grid/widgets/gridview.h"

#include "pdftools.h"

#include <QImage>
#include <QPrinter>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

// Header and rows "Событие 1".."Событие n", each in the report's style.
void fillGrid(TextGridModel &grid, int rows, quint32 background = Colour::InfoBackground)
{
    grid.setGridRowCount(rows + 1);
    grid.setCell(0, 0, QStringLiteral("Дата и время"));
    grid.setCell(1, 0, QStringLiteral("Наименование события"));
    for (int row = 1; row <= rows; ++row) {
        grid.setCell(0, row, QStringLiteral("06.12.2026 14:%1:00").arg(row % 60, 2, 10, QChar(u'0')));
        grid.setCell(1, row, QStringLiteral("Событие %1").arg(row));
        grid.setRowStyle(row, RowStyle{background, QStringLiteral("MS Sans Serif"), Colour::Black, 9});
    }
}

void toPdf(QPrinter &printer, const QString &path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

GridPrintOptions everything()
{
    GridPrintOptions options;
    options.titleLines = {QStringLiteral("Протокол событий"), QStringLiteral("Пост 2")};
    options.printTime = options.printDate = options.printPageNumbers = true;
    options.borders = PrintBorders::All;
    options.centred = true;
    options.printedAt = QDateTime(QDate(2026, 12, 6), QTime(14, 3, 27));
    return options;
}

} // namespace

class TestGridPrinter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()
            || QStandardPaths::findExecutable("pdfinfo").isEmpty())
            QSKIP("poppler-utils not installed");
    }

    void everyRowOnAsManySheetsAsNeeded()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("grid.pdf");
        TextGridModel grid(2, 2);
        fillGrid(grid, 500);
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, pdf);
        QCOMPARE(printer.resolution(), 1200);

        const GridPrintLayout layout = layoutGridPrint(grid, everything(), printer);
        QVERIFY(layout.sheetCount > 1);
        QCOMPARE(layout.sheetCount, (500 + layout.rowsPerSheet - 1) / layout.rowsPerSheet);
        QCOMPARE(printGrid(grid, everything(), printer), layout.sheetCount);
        QCOMPARE(pdfPages(pdf), layout.sheetCount);

        const QString first = pdfText(pdf, 1);
        QVERIFY(first.contains(QStringLiteral("Протокол событий")));
        QVERIFY(first.contains(QStringLiteral("Пост 2")));
        QVERIFY(first.contains(QStringLiteral("Наименование события")));
        QVERIFY(first.contains(QStringLiteral("14:03:27")));
        QVERIFY(first.contains(QStringLiteral("06/12/2026")));
        QVERIFY(first.contains(QStringLiteral("1/%1").arg(layout.sheetCount)));
        const QString last = pdfText(pdf, layout.sheetCount);
        QVERIFY(last.contains(QStringLiteral("%1/%1").arg(layout.sheetCount)));
        QVERIFY(last.contains(QStringLiteral("Наименование события"))); // header repeats

        QSet<int> printed;
        const QRegularExpression rowText(QStringLiteral("Событие (\\d+)"));
        for (const auto &match : rowText.globalMatch(pdfText(pdf)))
            printed.insert(match.captured(1).toInt());
        QCOMPARE(printed.size(), 500);
        QVERIFY(printed.contains(1) && printed.contains(500));
    }

    void pageTextsOnlyWhenAsked()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("bare.pdf");
        TextGridModel grid(2, 2);
        fillGrid(grid, 3);
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, pdf);
        GridPrintOptions options;
        options.printedAt = QDateTime(QDate(2026, 12, 6), QTime(14, 3, 27));
        QCOMPARE(printGrid(grid, options, printer), 1);
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("Событие 3")));
        QVERIFY(!text.contains(QStringLiteral("14:03:27")));
        QVERIFY(!text.contains(QStringLiteral("06/12/2026")));
        QVERIFY(!text.contains(QStringLiteral("1/1")));
    }

    void widthsFollowTheOptions()
    {
        TextGridModel grid(2, 2);
        fillGrid(grid, 10);
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, QDir::temp().filePath("unused.pdf"));

        GridPrintOptions options = everything();
        options.autoSizeColumns = false;
        options.columnWidths = {166, 994};
        GridPrintLayout layout = layoutGridPrint(grid, options, printer);
        QCOMPARE(layout.columnWidths, QList<qreal>({166 * 12.5, 994 * 12.5}));
        QCOMPARE(layout.scale, 1.0);

        options.fitToSheet = true;
        layout = layoutGridPrint(grid, options, printer);
        QVERIFY(qAbs(layout.tableWidth() * layout.scale - layout.pageWidth) < 1);
        QCOMPARE(layout.tableLeft, 0.0);

        options.fitToSheet = false;
        options.autoSizeColumns = true;
        layout = layoutGridPrint(grid, options, printer);
        QVERIFY(layout.tableWidth() < layout.pageWidth / 2);
        QVERIFY(qAbs(layout.tableLeft - (layout.pageWidth - layout.tableWidth()) / 2) < 1);
        options.centred = false;
        QCOMPARE(layoutGridPrint(grid, options, printer).tableLeft, 0.0);
    }

    void rowsKeepTheirBackground()
    {
        if (QStandardPaths::findExecutable("pdftoppm").isEmpty())
            QSKIP("pdftoppm not installed");
        QTemporaryDir dir;
        const QString pdf = dir.filePath("red.pdf");
        TextGridModel grid(2, 2);
        fillGrid(grid, 5, Colour::Red);
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, pdf);
        QCOMPARE(printGrid(grid, everything(), printer), 1);
        runTool("pdftoppm", {"-r", "40", "-png", "-singlefile", pdf, dir.filePath("red")});
        const QImage image(dir.filePath("red.png"));
        QVERIFY(!image.isNull());
        int red = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                red += image.pixelColor(x, y) == toQColor(Colour::Red);
        }
        QVERIFY2(red > 100, qPrintable(QString::number(red)));
    }
};

QTEST_MAIN(TestGridPrinter)
#include "test_gridprinter.moc"
