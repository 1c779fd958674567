#include "events/reportpager.h"
#include "events/widgets/reportwindow.h"
#include "grid/widgets/gridview.h"

#include "contextrig.h"
#include "pdftools.h"
#include "testfiles.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

void writeEvents(const QString &path, int count, quint8 code = EventCode::Work)
{
    QList<EventRecord> records;
    for (int i = 0; i < count; ++i)
        records.append(EventRecord::make(7, 46362.25 + i / 86400.0, code, QStringLiteral("Событие %1").arg(i)));
    test::writeEvents(path, records);
}

struct Fixture : ContextRig
{
    ReportPager report{ctx};
    TFQReport window{report, prompter};

    template<typename T>
    T *child(const char *name) const
    {
        T *found = window.findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qWarning("no child %s", name);
        return found;
    }
    void click(const char *name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }

    void openDaily(int records)
    {
        const QString path = dir.file("QReport/06.12.2026");
        writeEvents(path, records);
        click("RadioButton2");
        prompter.files.push_back(path);
        click("BitBtn1");
    }

    // Prints to a PDF in the working directory instead of asking.
    QString printToPdf()
    {
        const QString pdf = dir.file("report.pdf");
        window.choosePrinter = [pdf](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        click("BitBtnPrint");
        return pdf;
    }
};

} // namespace

class TestReportWindow : public QObject
{
    Q_OBJECT

private slots:
    void startsAsLaidOut()
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCOMPARE(f.window.windowTitle(), QStringLiteral("Протокол событий"));
        QCOMPARE(f.window.size(), QSize(1025, 688));
        QVERIFY(f.window.isModal());
        QVERIFY(f.child<QRadioButton>("RadioButton6")->isChecked());
        QVERIFY(f.child<QRadioButton>("RadioButtonAllMess")->isChecked());
        QVERIFY(f.child<QRadioButton>("RadioButton5")->isChecked());
        QVERIFY(!f.child<QGroupBox>("GroupBoxProt")->isVisible());
        QCOMPARE(f.child<QSpinBox>("CSpinEdProt")->maximum(), 100);
        QCOMPARE(f.child<QPushButton>("BButNext")->toolTip(), QStringLiteral("Переход на следующую страницу"));
        QCOMPARE(f.child<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("Протокол событий"));
        for (const char *name : {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox6", "CheckBox7"})
            QVERIFY2(f.child<QCheckBox>(name)->isChecked(), name);
        QVERIFY(!f.child<QCheckBox>("CheckBox5")->isChecked());
        // Activation writes the header.
        QCOMPARE(f.window.grid()->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Наименование события"));
        QCOMPARE(f.window.grid()->columnWidth(0), 166);
    }

    void openAndPageThroughTheButtons()
    {
        Fixture f;
        f.window.show();
        f.openDaily(1200);
        QCOMPARE(f.prompter.openFileDirectories, QStringList{f.dir.file("QReport")});
        QVERIFY(f.child<QGroupBox>("GroupBoxProt")->isVisible());
        QCOMPARE(f.label("StTextProt"),
                 QStringLiteral(" Отобрано 1200 сообщений. Всего 3 страниц (по 500 сообщений)"));
        QCOMPARE(f.label("StTextStr"), QStringLiteral(" Стр. 3"));
        QSpinBox *spin = f.child<QSpinBox>("CSpinEdProt");
        QCOMPARE(spin->maximum(), 3);
        QCOMPARE(spin->value(), 3);
        QCOMPARE(f.window.grid()->currentIndex().row(), 200); // the closing row in view
        QCOMPARE(f.window.size(), QSize(1025, 688)); // the paging group fits

        f.click("BButPrev");
        QCOMPARE(f.label("StTextStr"), QStringLiteral(" Стр. 1"));
        QCOMPARE(spin->value(), 1);
        f.click("BButNext");
        QCOMPARE(f.label("StTextStr"), QStringLiteral(" Стр. 2"));
        QCOMPARE(f.window.grid()->model()->index(0, 1).data().toString(), QStringLiteral("Событие 500"));

        spin->setValue(3);
        f.click("BButGo");
        QCOMPARE(f.report.reportPage(), 2);
        QCOMPARE(f.window.grid()->model()->rowCount(), 201);
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void typedPageNumberIsClamped()
    {
        Fixture f;
        f.window.show();
        f.openDaily(1200);
        QSpinBox *spin = f.child<QSpinBox>("CSpinEdProt");
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, "9");
        QCOMPARE(f.report.spinValue(), 3);
        QCOMPARE(spin->value(), 3);
        QCOMPARE(f.report.reportPage(), 2); // only "go" changes the page
    }

    void filterChoiceGoesToTheReport()
    {
        Fixture f;
        f.window.show();
        f.click("RadioButtonNoConnect");
        QCOMPARE(f.report.scope, ReportScope::LinkLosses);
        f.click("RadioButtonErr");
        QCOMPARE(f.report.scope, ReportScope::Alarms);
        f.click("RadioButton1");
        QCOMPARE(f.report.kind, ReportKind::Model302);
    }

    void stateSurvivesClosing()
    {
        Fixture f;
        f.window.show();
        f.openDaily(1200);
        f.click("BButBack");
        f.window.close();
        f.window.show();
        QCOMPARE(f.label("StTextStr"), QStringLiteral(" Стр. 2"));
        QVERIFY(f.child<QGroupBox>("GroupBoxProt")->isVisible());
        QCOMPARE(f.window.grid()->model()->rowCount(), 501);
    }

    void printOptionsFollowTheControls_data()
    {
        QTest::addColumn<QString>("border");
        QTest::addColumn<bool>("bordersOn");
        QTest::addColumn<int>("expected");
        QTest::newRow("all") << "RadioButton5" << true << int(PrintBorders::All);
        QTest::newRow("horizontal") << "RadioButton4" << true << int(PrintBorders::Horizontal);
        QTest::newRow("vertical") << "RadioButton3" << true << int(PrintBorders::Vertical);
        QTest::newRow("off") << "RadioButton3" << false << int(PrintBorders::None);
    }

    void printOptionsFollowTheControls()
    {
        QFETCH(QString, border);
        QFETCH(bool, bordersOn);
        QFETCH(int, expected);
        Fixture f;
        f.child<QRadioButton>(border.toLatin1().constData())->setChecked(true);
        f.child<QCheckBox>("CheckBox4")->setChecked(bordersOn);
        f.child<QCheckBox>("CheckBox1")->setChecked(false);
        f.child<QCheckBox>("CheckBox5")->setChecked(true);
        f.child<QPlainTextEdit>("Memo1")->setPlainText(QStringLiteral("Протокол\nПост 2"));
        const GridPrintOptions options = f.window.printOptions();
        QCOMPARE(int(options.borders), expected);
        QVERIFY(!options.printDate);
        QVERIFY(options.printTime && options.printPageNumbers && options.centred);
        QVERIFY(options.fitToSheet && options.autoSizeColumns);
        QCOMPARE(options.titleLines, QStringList({QStringLiteral("Протокол"), QStringLiteral("Пост 2")}));
    }

    // A cancelled print says nothing; a printer that cannot be started says
    // so before the question whether printing went well.
    void printThatDoesNotStart_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("cancelled") << false << QStringList();
        QTest::newRow("cannot start")
            << true
            << QStringList{"Не удалось начать печать: файл «%1» не удаётся записать",
                           "Если печать прошла успешно,нажмите на кнопку <OK>"};
    }
    void printThatDoesNotStart()
    {
        QFETCH(bool, chosen);
        QFETCH(QStringList, boxes);
        Fixture f;
        const QString unwritable = f.dir.file("missing/report.pdf");
        f.window.choosePrinter = [chosen, unwritable](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(unwritable);
            return chosen;
        };
        f.click("BitBtnPrint");
        if (!boxes.isEmpty())
            boxes[0] = boxes[0].arg(unwritable);
        QCOMPARE(f.prompter.texts(), boxes);
    }

    void printsTheShownPageToPdf()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()
            || QStandardPaths::findExecutable("pdfinfo").isEmpty())
            QSKIP("poppler-utils not installed");
        Fixture f;
        f.window.show();
        f.openDaily(1200);
        f.click("BButPrev"); // a full page: 500 rows and the empty row
        const QString pdf = f.printToPdf();

        QCOMPARE(f.prompter.shown.size(), 1);
        QCOMPARE(f.prompter.shown[0].text, QStringLiteral("Если печать прошла успешно,нажмите на кнопку <OK>"));
        QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Внимание"));
        QCOMPARE(f.prompter.shown[0].icon, Prompter::Icon::Warning);

        QPrinter probe(QPrinter::HighResolution);
        probe.setOutputFormat(QPrinter::PdfFormat);
        probe.setOutputFileName(pdf);
        const GridPrintLayout layout = layoutGridPrint(f.report.grid(), f.window.printOptions(), probe);
        QCOMPARE(pdfPages(pdf), (501 + layout.rowsPerSheet - 1) / layout.rowsPerSheet);

        const QString text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("Протокол событий")));
        QVERIFY(text.contains(QStringLiteral("Событие 499")));
        QVERIFY(!text.contains(QStringLiteral("Событие 500")));
    }

    void exportButtonWritesEveryPage()
    {
        Fixture f;
        f.openDaily(1200);
        f.prompter.saves.push_back(Prompter::SavedFile{f.dir.file("audit"), 0});
        f.click("BitBtnExport");
        QVERIFY(!f.child<QPushButton>("BitBtnExport")->isEnabled());
        while (f.report.exportStep()) {
        }
        QVERIFY(f.child<QPushButton>("BitBtnExport")->isEnabled());
        QCOMPARE(f.label("StTextExport"),
                 QStringLiteral("Экспортировано 1200 сообщений в файл %1").arg(f.dir.file("audit.csv")));
        QFile csv(f.dir.file("audit.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count("\r\n"), 1201); // the header and every row, not one page
    }
};

QTEST_MAIN(TestReportWindow)
#include "test_reportwindow.moc"
