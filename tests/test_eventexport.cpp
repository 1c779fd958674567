#include "events/eventexport.h"
#include "events/reportpager.h"
#include "contextrig.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

constexpr int RecordCount = 1100; // three report pages
const quint8 Codes[] = {EventCode::Work, EventCode::NoLink, EventCode::Tripped, 2, EventCode::LinkRestored,
                        EventCode::Connected, 9, EventCode::BackToNormal};

quint8 codeOf(int i)
{
    return Codes[i % std::size(Codes)];
}

// Every 97th event falls on a midnight, which the report shows without a
// time; some texts carry the CSV separator and quotes.
EventRecord preparedRecord(int i)
{
    const double time = i % 97 == 0 ? 46362.0 + i : 46362.0 + i + 0.25 + i / 86400.0;
    QString text = QStringLiteral("Событие № %1").arg(i);
    if (i % 3 == 0)
        text = QStringLiteral("Датчик № %1 подключён. Оператор: Иванов; смена 2").arg(i);
    else if (i % 5 == 0)
        text = QStringLiteral("Датчик № %1 подключён. Оператор: \"Пётр\" Сидоров").arg(i);
    return EventRecord::make(1000 + i, time, codeOf(i), text);
}

struct Row
{
    QString time;
    QString text;
    int code = -1;
};

// The event's index i, read back from its text.
int indexIn(const QString &text)
{
    const qsizetype at = text.indexOf(u'№');
    return text.mid(at + 2).section(u' ', 0, 0).section(u'.', 0, 0).toInt();
}

// The rows of every page of the report, read off its grid page by page; the
// code of each row is the code written for the event its text names, checked
// against the colour the report gave the row.
QList<Row> reportRows(ReportPager &report, bool &coloursMatch)
{
    coloursMatch = true;
    QList<Row> rows;
    report.BButPrevClick(PageButton::First);
    for (;;) {
        const TextGridModel &grid = report.grid();
        const bool last = report.reportPage() == report.reportLastPage();
        const int count = last ? report.reportPageRows() - 1 : ReportPager::PageSize;
        for (int row = 1; row <= count; ++row) {
            const int code = codeOf(indexIn(grid.cell(1, row)));
            coloursMatch = coloursMatch && grid.rowStyle(row)->fontColor == eventFontColour(code);
            rows.append({grid.cell(0, row), grid.cell(1, row), code});
        }
        if (last)
            return rows;
        report.BButPrevClick(PageButton::Next);
    }
}

QStringList splitCsvLine(const QString &line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
            fields.last() += u'"';
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u';' && !quoted) {
            fields.append(QString());
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

QList<Row> parseCsv(const QByteArray &bytes)
{
    if (!bytes.startsWith("\xEF\xBB\xBF")) {
        qWarning("no byte-order mark");
        return {};
    }
    QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    if (lines.takeLast() != QString() || lines.takeFirst() != QStringLiteral("Дата и время;Наименование события;Код")) {
        qWarning("no header, or no line end after the last line");
        return {};
    }
    QList<Row> rows;
    for (const QString &line : lines) {
        const QStringList fields = splitCsvLine(line);
        rows.append({fields.value(0), fields.value(1), fields.size() == 3 ? fields[2].toInt() : -1});
    }
    return rows;
}

QList<Row> parseJsonLines(const QByteArray &bytes)
{
    QList<Row> rows;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        rows.append({object.value("time").toString(), object.value("text").toString(),
                     object.value("code").toInt(-1)});
    }
    return rows;
}

} // namespace

class TestEventExport : public QObject
{
    Q_OBJECT

private slots:
    void exportMatchesTheReportsRows_data()
    {
        QTest::addColumn<int>("scope");
        QTest::addColumn<int>("format");
        for (const auto &[scopeName, scope] : {std::pair{"all", ReportScope::All},
                                               std::pair{"alarms", ReportScope::Alarms},
                                               std::pair{"link losses", ReportScope::LinkLosses}}) {
            QTest::addRow("%s csv", scopeName) << int(scope) << int(ExportFormat::Csv);
            QTest::addRow("%s json", scopeName) << int(scope) << int(ExportFormat::JsonLines);
        }
    }

    // The report and the export read the same prepared file, which ends in a
    // torn record; every row of every page must come out the same.
    void exportMatchesTheReportsRows()
    {
        QFETCH(int, scope);
        QFETCH(int, format);

        ContextRig rig;
        const QString path = rig.dir.file(QStringLiteral("Dorvan301DK_mess/1001"));
        QByteArray prepared;
        for (int i = 0; i < RecordCount; ++i)
            prepared += bytesOf(preparedRecord(i));
        writeFile(path, prepared + QByteArray(200, '\x21'));
        ReportPager report(rig.ctx);
        report.scope = ReportScope(scope);
        report.sensorReport(1001, 0);
        bool coloursMatch = false;
        const QList<Row> expected = reportRows(report, coloursMatch);
        QVERIFY(coloursMatch);
        QCOMPARE(expected.size(), report.reportTotal());
        QVERIFY(expected.size() > 0);

        // The radio buttons may have moved since: the export follows the rows on display.
        report.scope = ReportScope(scope) == ReportScope::All ? ReportScope::Alarms : ReportScope::All;
        const QString target = rig.dir.file(QStringLiteral("export"));
        rig.prompter.saves.push_back(Prompter::SavedFile{target, format});
        report.BitBtnExportClick();
        QVERIFY(report.exporting());
        while (report.exportStep()) {
        }
        QVERIFY(!report.exporting());
        const QString written = target + (ExportFormat(format) == ExportFormat::Csv ? ".csv" : ".jsonl");
        QCOMPARE(report.exportText(),
                 QStringLiteral("Экспортировано %1 сообщений в файл %2").arg(expected.size()).arg(written));
        QFile file(written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QList<Row> exported = ExportFormat(format) == ExportFormat::Csv ? parseCsv(bytes) : parseJsonLines(bytes);
        QCOMPARE(exported.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(exported[i].time, expected[i].time);
            QCOMPARE(exported[i].text, expected[i].text);
            QCOMPARE(exported[i].code, expected[i].code);
        }
        QVERIFY(std::any_of(expected.cbegin(), expected.cend(),
                            [](const Row &row) { return row.time.size() == 10; })); // a midnight
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.faults.waiting(), 0);
    }

    void aRefusedExportWritesNothing_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("box");
        QTest::newRow("no such directory") << "gone/export.csv" << "Экспорт: не удалось записать файл";
        QTest::newRow("over the event file") << "QReport/06.12.2026" << "Экспорт не может заменить сам файл протокола";
    }

    void aRefusedExportWritesNothing()
    {
        QFETCH(QString, target);
        QFETCH(QString, box);
        ContextRig rig;
        const QString path = rig.dir.file(QStringLiteral("QReport/06.12.2026"));
        const EventRecord record = preparedRecord(1);
        writeEvents(path, {record});
        ReportPager report(rig.ctx);
        rig.prompter.files.push_back(path);
        report.BitBtn1Click();

        rig.prompter.saves.push_back(Prompter::SavedFile{rig.dir.file(target), 0});
        report.BitBtnExportClick();
        rig.faults.flush();
        QVERIFY(!report.exporting());
        QCOMPARE(rig.prompter.shown.size(), 1);
        QVERIFY2(rig.prompter.shown.first().text.startsWith(box), qPrintable(rig.prompter.shown.first().text));
        QCOMPARE(QFileInfo(path).size(), qint64(sizeof record));
        QVERIFY(!QFileInfo::exists(rig.dir.file(target)) || rig.dir.file(target) == path);
    }
};

QTEST_GUILESS_MAIN(TestEventExport)
#include "test_eventexport.moc"
