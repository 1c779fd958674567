// Two desks of one centre on a real mosquitto, each wired as dorvan-station
// wires it (MqttClient, BrokerLink, Station) on a journal of its own: an
// acknowledgement at one shows at the other; a desk that was away takes
// what was done meanwhile from its persistent session; both journals end
// with the same shared actions.
#include "brokerrun.h"
#include "fakes.h"
#include "mqtt/mqttclient.h"
#include "station/brokerlink.h"
#include "station/station.h"
#include "station/stationconfig.h"
#include "station/stationlog.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;
using namespace dorvan::test;
using namespace dorvan::e2e;

namespace {

class Desk
{
public:
    Desk(const QString &name, int port)
        : journal_(dir_.filePath(QStringLiteral("journal.sqlite"))), operators_(dir_.filePath(QStringLiteral("operators")))
    {
        settings_.dataDir = dir_.path();
        settings_.stationName = name;
        settings_.broker.host = QStringLiteral("127.0.0.1");
        settings_.broker.port = port;
        settings_.broker.clientId = QStringLiteral("desk-") + name;
        settings_.broker.keepaliveSeconds = 5;
        settings_.broker.sessionExpirySeconds = 24 * 3600;
        settings_.broker.subscriptions = stationSubscriptions(settings_.prefixes, settings_.sites);
        settings_.broker.subscriptions.append(centreActionsTopic(settings_.centreTopic));
        QString error;
        operators_.add(QStringLiteral("Оператор ") + name, QStringLiteral("secret"), &error);
    }
    ~Desk() { stop(); }

    bool start()
    {
        station_ = std::make_unique<Station>(Station::Parts{journal_, operators_, clock_, sound_, settings_});
        client_ = std::make_unique<mqtt::MqttClient>(settings_.broker, lcStationMqtt);
        link_ = std::make_unique<BrokerLink>(*client_, *station_);
        QString error;
        if (!station_->open(&error) || !station_->signIn(QStringLiteral("Оператор ") + settings_.stationName,
                                                          QStringLiteral("secret"), &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        link_->start();
        return waitUntil([this] { return station_->brokerProblem().isEmpty(); }, 10000);
    }
    void stop()
    {
        if (link_)
            link_->stop();
        link_.reset();
        client_.reset();
        station_.reset();
        journal_.close();
    }

    Station &station() { return *station_; }
    const AlarmView *alarm() const
    {
        return station_->alarmList().rowCount() > 0 ? &station_->alarmList().at(0) : nullptr;
    }
    // The shared actions as the journal holds them, one "kind uid station operator" a line.
    QStringList sharedActions()
    {
        QStringList rows;
        QSqlQuery query(journal_.database());
        query.exec(QStringLiteral("SELECT kind, uid, station, operator FROM actions WHERE kind NOT IN"
                                  " ('sign_in', 'sign_out', 'silence', 'escalate') ORDER BY uid"));
        while (query.next())
            rows.append(QStringList{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                                    query.value(3).toString()}
                            .join(u' '));
        return rows;
    }

private:
    QTemporaryDir dir_;
    SystemClock clock_;
    FakeAlarmSound sound_;
    Journal journal_;
    Operators operators_;
    StationSettings settings_;
    std::unique_ptr<Station> station_;
    std::unique_ptr<mqtt::MqttClient> client_;
    std::unique_ptr<BrokerLink> link_;
};

QByteArray tripEvent(int number)
{
    return QStringLiteral(R"({"id":"%1#%2","site":"post1","time":"%3","code":33,"kind":"alarm","model":"Дорван-301ДК",)"
                          R"("address":1001,"loop":1,"text":"Срабатывание 1 шлейфа"})")
        .arg(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")))
        .arg(number)
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")))
        .toUtf8();
}

} // namespace

class TestStationDesks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("dorvan.station*.info=false")); }

    void actionsCrossTheBroker()
    {
        mqtt::MqttClient::Library library;
        QTemporaryDir brokerDir;
        Broker broker(brokerDir.path());
        QVERIFY(broker.start());
        Desk first(QStringLiteral("A"), broker.port()), second(QStringLiteral("B"), broker.port());
        QVERIFY(first.start());
        QVERIFY(second.start());

        const auto publish = [&](int number) {
            return runTool(QStringLiteral("mosquitto_pub"),
                           {"-p", QString::number(broker.port()), "-q", "1", "-t", "dorvan/post1/event", "-m",
                            QString::fromUtf8(tripEvent(number))},
                           brokerDir.path());
        };
        QVERIFY(publish(1));
        QVERIFY(waitUntil([&] { return first.alarm() && second.alarm(); }, 10000));

        // Acknowledged at the first desk: how long until the second shows it.
        QString error;
        QElapsedTimer shown;
        shown.start();
        QVERIFY2(first.station().acknowledge(first.alarm()->id, QStringLiteral("проверено"), &error), qPrintable(error));
        QVERIFY(waitUntil([&] { return !second.alarm()->acknowledgedBy.isEmpty(); }, 10000));
        qInfo("acknowledgement shown at the other desk after %lld ms", shown.elapsed());
        QVERIFY2(shown.elapsed() < 3000, "well over the second it should take");
        QCOMPARE(second.alarm()->acknowledgedBy, QStringLiteral("Оператор A"));
        QVERIFY(waitUntil([&] { return first.station().outbox().isEmpty(); }, 5000));

        // The second desk away: the first shelves the alarm and takes the
        // post out of service; the second takes both on its return.
        second.stop();
        QVERIFY(first.station().shelve(first.alarm()->id, 30, QStringLiteral("ложные срабатывания"), &error));
        QVERIFY(first.station().takeOutOfService(QStringLiteral("post1"), -1, QStringLiteral("ремонт поста"), &error));
        QVERIFY(waitUntil([&] { return first.station().outbox().isEmpty(); }, 5000));
        QVERIFY(second.start());
        QVERIFY(waitUntil([&] { return second.station().outOfService().rowCount() == 1; }, 10000));
        QCOMPARE(second.station().shelved().rowCount(), 1);

        // Back from the second desk: the first takes it at once.
        QVERIFY(second.station().returnToService(second.station().outOfService().at(0).id, &error));
        QVERIFY(waitUntil([&] { return first.station().outOfService().rowCount() == 0; }, 5000));
        QVERIFY(waitUntil([&] { return second.station().outbox().isEmpty(); }, 5000));
        QTRY_COMPARE_WITH_TIMEOUT(second.sharedActions(), first.sharedActions(), 5000);
        QCOMPARE(first.sharedActions().size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestStationDesks)
#include "test_station_desks.moc"
