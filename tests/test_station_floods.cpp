// A post's flood of alarms: when it begins and ends, and the alarm list
// with the flooding post folded into one row.
#include "station/alarmgroups.h"
#include "stationrig.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

class TestStationFloods : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::StationRig> rig;
    int record = 0;

    void trip(const QString &site, int address)
    {
        const QString id = QStringLiteral("06.12.2026#%1").arg(record++);
        rig->feed({rig->event(site, id, "alarm", address), rig->state(site, id, "alarm", "normal", "up", {}, address)});
    }

    void signIn()
    {
        QString error;
        QVERIFY(rig->operators.add(QStringLiteral("Иванов"), QStringLiteral("secret"), &error));
        QVERIFY2(rig->station->signIn(QStringLiteral("Иванов"), QStringLiteral("secret"), &error), qPrintable(error));
    }

    // The top-level row holding the post's flood, -1: none.
    static int groupRow(const AlarmGroupModel &groups, const QString &site)
    {
        for (int row = 0; row < groups.rowCount(); ++row) {
            if (groups.isGroup(groups.index(row, 0)) && groups.index(row, 0).data(KeyRole).toString() == site)
                return row;
        }
        return -1;
    }

private slots:
    void init()
    {
        rig = std::make_unique<test::StationRig>();
        record = 0;
        QVERIFY(rig->start());
    }
    void cleanup() { rig.reset(); }

    // Raisings `gapMs` apart; then, after `waitMs`, the post reviewed with
    // its alarms acknowledged or not.
    void detector_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("raisings");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("unacknowledged");
        QTest::addColumn<bool>("floodsRaised");
        QTest::addColumn<bool>("floodsAfter");
        QTest::newRow("below the limit") << 10 << 9 << 1000 << 0 << true << false << false;
        QTest::newRow("at the limit within the window") << 10 << 10 << 1000 << 0 << true << true << true;
        QTest::newRow("spread over more than the window") << 10 << 10 << 6700 << 0 << true << false << false;
        QTest::newRow("quiet and acknowledged: ended") << 10 << 10 << 1000 << 60000 << false << true << false;
        QTest::newRow("quiet, still unacknowledged") << 10 << 10 << 1000 << 60000 << true << true << true;
        QTest::newRow("acknowledged, still raising") << 10 << 12 << 1000 << 5000 << false << true << true;
        QTest::newRow("never with 0") << 0 << 30 << 100 << 0 << true << false << false;
    }
    void detector()
    {
        QFETCH(int, limit);
        QFETCH(int, raisings);
        QFETCH(int, gapMs);
        QFETCH(int, waitMs);
        QFETCH(bool, unacknowledged);
        QFETCH(bool, floodsRaised);
        QFETCH(bool, floodsAfter);
        test::FakeClock clock;
        clock.tick = 0xFFFFF000u; // the tick wraps on the way
        FloodDetector detector(clock, {limit, 60});
        for (int i = 0; i < raisings; ++i) {
            clock.advanceMs(gapMs);
            detector.raised(QStringLiteral("post1"));
            detector.raised(QStringLiteral("post2")); // another post's are its own
        }
        QCOMPARE(detector.floods(QStringLiteral("post1")), floodsRaised);
        clock.advanceMs(waitMs);
        QCOMPARE(detector.review(QStringLiteral("post1"), unacknowledged), floodsRaised && !floodsAfter);
        QCOMPARE(detector.floods(QStringLiteral("post1")), floodsAfter);
    }

    // post1 trips `trips` sensors a second apart, post2 one; what the
    // operator then does and how long after.
    void groupedList_data()
    {
        QTest::addColumn<int>("trips");
        QTest::addColumn<QString>("acknowledge"); // "", "one", "post"
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("grouped");
        QTest::addColumn<int>("waiting"); // post1's unacknowledged
        QTest::newRow("below the limit") << 9 << "" << 0 << false << 9;
        QTest::newRow("flood") << 12 << "" << 0 << true << 12;
        QTest::newRow("one acknowledged in the flood") << 12 << "one" << 0 << true << 11;
        QTest::newRow("acknowledged, the window still full") << 12 << "post" << 0 << true << 0;
        QTest::newRow("acknowledged and quiet: back in the list") << 12 << "post" << 61000 << false << 0;
        QTest::newRow("quiet, not acknowledged") << 12 << "" << 61000 << true << 12;
    }
    void groupedList()
    {
        QFETCH(int, trips);
        QFETCH(QString, acknowledge);
        QFETCH(int, waitMs);
        QFETCH(bool, grouped);
        QFETCH(int, waiting);
        AlarmGroupModel &groups = rig->station->alarmGroups();
        QAbstractItemModelTester tester(&groups, QAbstractItemModelTester::FailureReportingMode::QtTest);
        signIn();
        for (int i = 0; i < trips; ++i) {
            trip(QStringLiteral("post1"), 1001 + i);
            rig->advance(1000);
        }
        trip(QStringLiteral("post2"), 2001);
        QString error;
        if (acknowledge == u"one")
            QVERIFY(rig->station->acknowledge(rig->station->alarmList().at(1).id, QString(), &error));
        if (acknowledge == u"post")
            QVERIFY(rig->station->acknowledgePost(QStringLiteral("post1"), QString(), &error));
        rig->advance(waitMs);
        groups.recheck();

        const AlarmListModel &list = rig->station->alarmList();
        QCOMPARE(list.rowCount(), trips + 1);
        QCOMPARE(groups.rowCount(), grouped ? 2 : trips + 1);
        const int group = groupRow(groups, QStringLiteral("post1"));
        QCOMPARE(group >= 0, grouped);
        // Top-level rows keep the list's order; post2's trip is never in the group.
        int lastSourceRow = -1;
        for (int row = 0; row < groups.rowCount(); ++row) {
            const QModelIndex top = groups.index(row, 0);
            const int sourceRow = groups.isGroup(top) ? groups.sourceRow(groups.index(0, 0, top)) : groups.sourceRow(top);
            QVERIFY(sourceRow > lastSourceRow);
            lastSourceRow = sourceRow;
            QCOMPARE(groups.isGroup(top), row == group);
        }
        if (!grouped)
            return;
        const QModelIndex flood = groups.index(group, 0);
        QCOMPARE(groups.rowCount(flood), trips);
        int unacknowledged = 0, lastChildRow = -1;
        for (int row = 0; row < trips; ++row) {
            const QModelIndex child = groups.index(row, 0, flood);
            const int sourceRow = groups.sourceRow(child);
            QVERIFY(sourceRow > lastChildRow);
            lastChildRow = sourceRow;
            QCOMPARE(list.at(sourceRow).site, QStringLiteral("post1"));
            QCOMPARE(child.data(KeyRole).toLongLong(), list.at(sourceRow).id);
            unacknowledged += child.data(BlinkRole).toBool() ? 1 : 0;
        }
        QCOMPARE(unacknowledged, waiting);
        QCOMPARE(flood.data(BlinkRole).toBool(), waiting > 0);
        QVERIFY(flood.siblingAtColumn(AlarmListModel::AlarmColumn).data().toString().contains(QString::number(trips)));
        QVERIFY(flood.siblingAtColumn(AlarmListModel::StateColumn).data().toString().contains(QString::number(waiting))
                || waiting == 0);
    }

    // A chosen alarm stays chosen while the flood folds it into its group.
    void chosenAlarmFollowsIntoTheGroup()
    {
        AlarmGroupModel &groups = rig->station->alarmGroups();
        trip(QStringLiteral("post1"), 1001);
        const qint64 first = rig->firstAlarmId();
        const QPersistentModelIndex chosen = groups.index(0, AlarmListModel::SensorColumn);
        for (int i = 1; i < 10; ++i)
            trip(QStringLiteral("post1"), 1001 + i);
        QVERIFY(chosen.isValid());
        QVERIFY(groups.isGroup(chosen.parent()));
        QCOMPARE(chosen.column(), int(AlarmListModel::SensorColumn));
        QCOMPARE(chosen.data(KeyRole).toLongLong(), first);
    }
};

QTEST_GUILESS_MAIN(TestStationFloods)
#include "test_station_floods.moc"
