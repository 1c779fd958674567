// The shift's report on paper (its PDF as pdftotext reads it) and the
// handover dialog's two steps at one desk.

#include "station/handover.h"
#include "station/widgets/shiftdialogs.h"
#include "station/widgets/shiftreport.h"
#include "station/widgets/stationwindow.h"

#include "pdftools.h"
#include "stationrig.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace dorvan;
using namespace dorvan::station;

namespace {

ShiftReport preparedReport()
{
    ShiftReport report;
    report.station = QStringLiteral("duty-room");
    report.from = QDateTime(QDate(2026, 12, 6), QTime(8, 0), Qt::UTC);
    report.to = report.from.addSecs(12 * 3600);
    report.gathered = report.to;
    report.operators = {{QStringLiteral("Иванов"), report.from, {}}};
    ShiftAlarm trip;
    trip.site = QStringLiteral("post7");
    trip.sensor = QStringLiteral("Дорван-301ДК № 1001");
    trip.text = QStringLiteral("Срабатывание");
    trip.raised = report.from.addSecs(3600);
    report.raised = {trip};
    report.openAtEnd = {trip};
    report.deadPosts = {{QStringLiteral("post9"), AlarmKind::Offline, {}, report.from.addSecs(600), {}, 3900}};
    report.handover = {1, {}, report.from, report.to, QStringLiteral("Иванов"), QStringLiteral("ключи у охраны"),
                       QStringLiteral("Петров"), QStringLiteral("принял без замечаний"), report.to.addSecs(60)};
    return report;
}

} // namespace

namespace {

// Иванов (pass1) signed in, Петров (pass2) to take over.
bool ivanovOnDutyPetrovNext(test::StationRig &rig)
{
    QString error;
    return rig.operators.add(QStringLiteral("Иванов"), QStringLiteral("pass1"), &error)
           && rig.operators.add(QStringLiteral("Петров"), QStringLiteral("pass2"), &error) && rig.start()
           && rig.station->signIn(QStringLiteral("Иванов"), QStringLiteral("pass1"), &error);
}

} // namespace

class TestStationShift : public QObject
{
    Q_OBJECT

private slots:
    void pdfHoldsTheKeyFacts_data()
    {
        QTest::addColumn<QString>("fact");
        QTest::newRow("the title") << "Отчёт о смене";
        QTest::newRow("the station") << "duty-room";
        QTest::newRow("the alarm's post") << "post7";
        QTest::newRow("the dead post") << "post9";
        QTest::newRow("for how long, still") << "1 ч 05 мин";
        QTest::newRow("the outgoing operator's remarks") << "ключи у охраны";
        QTest::newRow("who accepted") << "Петров";
        QTest::newRow("the incoming operator's remarks") << "принял без замечаний";
    }

    void pdfHoldsTheKeyFacts()
    {
        QFETCH(QString, fact);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("shift.pdf"));
        QString error;
        QVERIFY2(writeShiftPdf(preparedReport(), pdf, &error), qPrintable(error));
        QVERIFY2(test::pdfText(pdf).simplified().contains(fact), qPrintable(fact));
    }

    void aLongShiftRunsOnToMorePages()
    {
        ShiftReport report = preparedReport();
        for (int i = 0; i < 200; ++i)
            report.raised.append(report.raised.first());
        report.raised.last().site = QStringLiteral("post-last");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("shift.pdf"));
        QString error;
        QVERIFY2(writeShiftPdf(report, pdf, &error), qPrintable(error));
        QVERIFY(test::pdfPages(pdf) > 1);
        QVERIFY(test::pdfText(pdf).contains(QStringLiteral("post-last")));
    }

    void anUnwritableFileIsRefused()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("missing/shift.pdf"));
        QString error;
        QVERIFY(!writeShiftPdf(preparedReport(), pdf, &error));
        QVERIFY(error.contains(pdf));
    }

    void theDialogHandsOverThenAccepts()
    {
        test::StationRig rig;
        QVERIFY(ivanovOnDutyPetrovNext(rig));
        ShiftHandover shifts({rig.journal, rig.operators, rig.clock, rig.settings.stationName});
        QString acceptedBy;
        ShiftHandoverDialog dialog(shifts, QStringLiteral("Иванов"),
                                   [&acceptedBy](const QString &name, const QString &) { acceptedBy = name; });
        dialog.show();
        QCOMPARE(dialog.step(), ShiftHandoverDialog::Step::HandOver);

        dialog.findChild<QPlainTextEdit *>("outgoingRemarks")->setPlainText(QStringLiteral("ключи у охраны"));
        dialog.findChild<QPushButton *>("handOver")->click();
        QCOMPARE(dialog.step(), ShiftHandoverDialog::Step::Accept);
        QCOMPARE(dialog.reportPane().report().handover.outgoingRemarks, QStringLiteral("ключи у охраны"));

        dialog.findChild<QLineEdit *>("name")->setText(QStringLiteral("Петров"));
        dialog.findChild<QLineEdit *>("password")->setText(QStringLiteral("wrong"));
        dialog.findChild<QPushButton *>("acceptShift")->click();
        QCOMPARE(dialog.step(), ShiftHandoverDialog::Step::Accept);
        QVERIFY(dialog.findChild<QLabel *>("error")->isVisibleTo(&dialog));
        QVERIFY(dialog.findChild<QLineEdit *>("password")->text().isEmpty());

        dialog.findChild<QLineEdit *>("password")->setText(QStringLiteral("pass2"));
        dialog.findChild<QPushButton *>("acceptShift")->click();
        QCOMPARE(dialog.step(), ShiftHandoverDialog::Step::Done);
        QCOMPARE(acceptedBy, QStringLiteral("Петров"));

        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("shift.pdf"));
        QSignalSpy saved(&dialog.reportPane(), &ShiftReportPane::saved);
        dialog.reportPane().saveTo(pdf);
        QVERIFY(saved.wait(30000));
        QCOMPARE(saved.at(0).at(1).toBool(), true);
        QVERIFY(test::pdfText(pdf).contains(QStringLiteral("Петров")));
    }

    // From the station's window: the incoming operator is the station's once the shift is accepted.
    void theWindowSignsInTheIncomingOperator()
    {
        test::StationRig rig;
        QVERIFY(ivanovOnDutyPetrovNext(rig));
        ShiftHandover shifts({rig.journal, rig.operators, rig.clock, rig.settings.stationName});
        StationWindow window(*rig.station);
        window.setShiftHandover(&shifts);
        window.findChild<QPushButton *>("handOverShift")->click();
        auto *dialog = window.findChild<ShiftHandoverDialog *>();
        QVERIFY(dialog);
        dialog->findChild<QPushButton *>("handOver")->click();
        dialog->findChild<QLineEdit *>("name")->setText(QStringLiteral("Петров"));
        dialog->findChild<QLineEdit *>("password")->setText(QStringLiteral("pass2"));
        dialog->findChild<QPushButton *>("acceptShift")->click();
        QCOMPARE(dialog->step(), ShiftHandoverDialog::Step::Done);
        QCOMPARE(rig.station->operatorName(), QStringLiteral("Петров"));
    }
};

QTEST_MAIN(TestStationShift)
#include "test_station_shift.moc"
