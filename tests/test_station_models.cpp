// The models the window shows, checked by Qt's model tester while a night's
// worth of changes goes through them, and a flood taken in steps.
#include "stationrig.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

namespace {

// Every row's index held across a change still names the same alarm: the
// model told its views truly where each row went.
class HeldRows
{
public:
    explicit HeldRows(const QAbstractItemModel &model)
    {
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row, 0);
            held_.append({QPersistentModelIndex(index), index.data(KeyRole)});
        }
    }
    bool stillTrue() const
    {
        return std::all_of(held_.begin(), held_.end(), [](const auto &one) {
            return !one.first.isValid() || one.first.data(KeyRole) == one.second;
        });
    }

private:
    QList<std::pair<QPersistentModelIndex, QVariant>> held_;
};

} // namespace

class TestStationModels : public QObject
{
    Q_OBJECT

private slots:
    void modelsStayConsistent()
    {
        test::StationRig rig;
        QString error;
        QVERIFY(rig.operators.add(QStringLiteral("ivanov"), QStringLiteral("1"), &error));
        QVERIFY(rig.start());
        QVERIFY(rig.station->signIn(QStringLiteral("ivanov"), QStringLiteral("1"), &error));
        const auto mode = QAbstractItemModelTester::FailureReportingMode::QtTest;
        QAbstractItemModelTester board(&rig.station->board(), mode);
        QAbstractItemModelTester alarms(&rig.station->alarmList(), mode);
        QAbstractItemModelTester sensors(&rig.station->sensors(), mode);
        rig.station->sensors().showPost(QStringLiteral("post3"));

        int record = 0;
        for (int round = 0; round < 3; ++round) {
            for (const char *site : {"post3", "post10", "post1", "post2"}) {
                const QString id = QStringLiteral("06.12.2026#%1").arg(record);
                const int address = 1001 + record % 3;
                rig.feed({rig.status(site), rig.event(site, id, "alarm", address, 1 + record % 2),
                          rig.state(site, id, "alarm", "normal", "up", {}, address)});
                const HeldRows held(rig.station->alarmList());
                if (record % 3 == 0)
                    QVERIFY(rig.station->acknowledge(rig.firstAlarmId(), {}, &error));
                if (record % 4 == 1)
                    rig.feed(rig.state(site, QStringLiteral("06.12.2026#%1").arg(record + 1), "normal", "normal",
                                       "lost", {}, address));
                QVERIFY(held.stillTrue());
                rig.clock.advanceMs(1000);
                ++record; // the posts' numbers jump: gaps among the alarms too
            }
        }
        rig.feed(test::StationRig::message("post3", "sensor/1002/state", {}, true));
        QVERIFY(rig.station->acknowledgePost(QStringLiteral("post1"), {}, &error));
        rig.station->setBrokerConnected(false, QStringLiteral("lost"));
        rig.station->setBrokerConnected(true);
        rig.advance(61000);

        const BoardModel &tiles = rig.station->board();
        QStringList order;
        for (int row = 0; row < tiles.rowCount(); ++row)
            order.append(tiles.data(tiles.index(row), KeyRole).toString());
        QCOMPARE(order, (QStringList{"post1", "post2", "post3", "post10"}));
        // The list stays in its order: unacknowledged first, then priority, then the newest.
        AlarmListModel &list = rig.station->alarmList();
        for (int row = 1; row < list.rowCount(); ++row)
            QVERIFY(!showsBefore(list.at(row), list.at(row - 1)));
    }

    void aFloodIsTakenInSteps()
    {
        test::StationRig rig;
        QVERIFY(rig.start());
        QList<mqtt::Received> flood;
        for (int number = 0; number < 1200; ++number)
            flood.append(rig.event("post1", QStringLiteral("06.12.2026#%1").arg(number), "system", 0, 0));
        rig.feed(flood);
        QVERIFY(rig.station->backlog() > 0);
        rig.feed(rig.event("post1", "06.12.2026#1200", "alarm")); // after the flood, in order
        for (int step = 0; step < 10 && rig.station->backlog() > 0; ++step)
            QCoreApplication::processEvents();
        QCOMPARE(rig.station->backlog(), 0);
        QCOMPARE(rig.query("SELECT count(*) FROM events").toInt(), 1201);
        QCOMPARE(rig.query("SELECT max(number) = 1200 AND max(seq) = (SELECT seq FROM events WHERE number = 1200)"
                           " FROM events").toInt(), 1);
        QCOMPARE(rig.query("SELECT count(*) FROM gaps").toInt(), 0);
        QCOMPARE(rig.alarmRows(), QStringList{"unacknowledged trip 0"});
    }
};

QTEST_GUILESS_MAIN(TestStationModels)
#include "test_station_models.moc"
