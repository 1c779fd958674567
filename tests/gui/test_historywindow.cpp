// The history window on a real journal, offscreen: the operator's fields
// searched off the window's thread, the rows shown, the count, and the found
// events in the PDF it saves; opened from the station's window, it finds
// what the station has just taken in.
#include "historyjournal.h"
#include "pdftools.h"
#include "station/historymodel.h"
#include "station/widgets/historywindow.h"
#include "station/widgets/stationwindow.h"
#include "stationrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

class TestHistoryWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString journalPath;
    QStringListModel posts{QStringList{QStringLiteral("post1"), QStringLiteral("post2")}};

    template<typename T>
    static T *field(HistoryWindow &window, const char *name)
    {
        T *found = window.findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no field %s", name);
        return found;
    }

private slots:
    void initTestCase()
    {
        journalPath = dir.path() + QStringLiteral("/journal.sqlite");
        QVERIFY(test::prepareHistoryJournal(journalPath, 1203));
    }

    void searchesShowsAndSaves_data()
    {
        QTest::addColumn<QString>("post");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("day"); // invalid: every day
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("notPrinted");
        QTest::newRow("a post's trips, lower case") << "post2" << "срабатывание" << QDate() << 120
                                                    << "Срабатывание 1 шлейфа" << "Возврат в норму";
        QTest::newRow("a sensor's day at every post") << "" << "№ 1008" << QDate(2026, 12, 9) << 75 << "№ 1008" << "№ 1007";
    }

    void searchesShowsAndSaves()
    {
        QFETCH(QString, post);
        QFETCH(QString, text);
        QFETCH(QDate, day);
        QFETCH(int, expected);
        QFETCH(QString, printed);
        QFETCH(QString, notPrinted);

        HistoryWindow window(journalPath, &posts);
        window.show();
        field<QComboBox>(window, "post")->setCurrentText(post);
        field<QLineEdit>(window, "text")->setText(text);
        field<QCheckBox>(window, "fromOn")->setChecked(day.isValid());
        field<QCheckBox>(window, "toOn")->setChecked(day.isValid());
        field<QDateTimeEdit>(window, "from")->setDateTime(QDateTime(day, QTime(0, 0)));
        field<QDateTimeEdit>(window, "to")->setDateTime(QDateTime(day.addDays(1), QTime(0, 0)));

        QSignalSpy finished(&window.model(), &HistoryModel::searchFinished);
        QLabel *found = field<QLabel>(window, "found");
        const QString before = found->text();
        QTest::mouseClick(field<QPushButton>(window, "find"), Qt::LeftButton);
        QVERIFY(window.model().searching()); // the journal is read on the model's thread
        QVERIFY(found->text() != before);
        QVERIFY(finished.wait(10000));
        QVERIFY2(found->text().contains(QString::number(expected)), qPrintable(found->text()));
        QCOMPARE(window.table().model()->rowCount(), expected);
        QVERIFY(window.table().model()->index(0, HistoryModel::Text).data().toString().contains(printed));

        const QString pdf = dir.path() + QStringLiteral("/history.pdf");
        QSignalSpy written(&window, &HistoryWindow::written);
        window.savePdf(pdf);
        QVERIFY(written.wait(20000));
        QCOMPARE(written.at(0).at(1).toString(), QString());
        const QString pages = test::pdfText(pdf);
        QVERIFY2(pages.contains(printed), qPrintable(pages.left(2000)));
        QVERIFY(!pages.contains(notPrinted));
        QVERIFY(pages.count(printed) >= expected); // every row, and the search above them
    }

    void openedFromTheStationWindow()
    {
        test::StationRig rig;
        QVERIFY(rig.start());
        rig.feed(rig.event(QStringLiteral("post7"), QStringLiteral("09.12.2026#4"), QStringLiteral("fault"), 1042));
        StationWindow station(*rig.station);
        QTest::mouseClick(station.findChild<QPushButton *>(QStringLiteral("history")), Qt::LeftButton);
        auto *window = station.findChild<HistoryWindow *>();
        QVERIFY(window && window->isVisible());
        field<QComboBox>(*window, "post")->setCurrentText(QStringLiteral("post7"));
        field<QCheckBox>(*window, "fromOn")->setChecked(false);
        field<QCheckBox>(*window, "toOn")->setChecked(false);
        QSignalSpy finished(&window->model(), &HistoryModel::searchFinished);
        window->search();
        QVERIFY(finished.wait(10000));
        QCOMPARE(window->model().rowCount(), 1);
        QCOMPARE(window->model().row(0).address, 1042);
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "test_historywindow.moc"
