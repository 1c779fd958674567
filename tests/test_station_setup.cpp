// The station's setup: its configuration and subscriptions, the operators'
// file, and the broker link's reconnection.
#include "stationrig.h"

#include "station/brokerlink.h"

#include <QCommandLineParser>
#include <QFile>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

namespace {

class FakeTransport : public mqtt::Transport
{
public:
    void open(const mqtt::Message &will) override
    {
        ++opens;
        willTopic = will.topic;
    }
    int publish(const mqtt::Message &) override { return -1; }
    void close() override { ++closes; }
    QString brokerName() const override { return QStringLiteral("localhost:1883"); }

    int opens = 0;
    int closes = 0;
    QString willTopic = QStringLiteral("unset");
};

std::optional<StationSettings> settingsFrom(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    addOptions(parser, stationOptions());
    addOptions(parser, mqtt::brokerOptions());
    if (!parser.parse(QStringList{"dorvan-station"} + arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    return stationFrom(OptionValues(parser, nullptr), error);
}

} // namespace

class TestStationSetup : public QObject
{
    Q_OBJECT

private slots:
    void subscriptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("some");   // among the subscriptions
        QTest::addColumn<int>("count");
        QTest::newRow("every post") << QStringList{} << QStringList{"dorvan/+/status", "dorvan/+/sensor/+/signal"} << 6;
        QTest::newRow("two prefixes") << QStringList{"--prefix", "dorvan,plant/east"}
                                      << QStringList{"plant/east/+/event", "dorvan/+/console"} << 11;
        QTest::newRow("a site filter") << QStringList{"--sites", "post1, post2"}
                                       << QStringList{"dorvan/post1/status", "dorvan/post2/sensor/+/state"} << 11;
        QTest::newRow("the centre's own topic") << QStringList{"--centre-topic", "centre/east"}
                                                << QStringList{"centre/east/actions"} << 6;
        QTest::newRow("a station alone") << QStringList{"--centre-topic", "none"} << QStringList{"dorvan/+/event"} << 5;
    }
    void subscriptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, some);
        QFETCH(int, count);
        QString error;
        const std::optional<StationSettings> settings = settingsFrom(arguments, &error);
        QVERIFY2(settings, qPrintable(error));
        for (const QString &filter : some)
            QVERIFY2(settings->broker.subscriptions.contains(filter), qPrintable(filter));
        QCOMPARE(settings->broker.subscriptions.size(), count);
        QVERIFY(settings->broker.sessionExpirySeconds >= 24 * 3600);
        QVERIFY(settings->broker.clientId.startsWith(u"dorvan-station-"));
    }

    void unusableSettings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("a wildcard in a prefix") << QStringList{"--prefix", "dorvan/#"};
        QTest::newRow("a site of two levels") << QStringList{"--sites", "a/b"};
        QTest::newRow("silence out of range") << QStringList{"--silence", "0"};
        QTest::newRow("a sound that is not there") << QStringList{"--trip-sound", "/nonexistent.wav"};
        QTest::newRow("the centre's topic under the posts'") << QStringList{"--centre-topic", "dorvan/centre"};
        QTest::newRow("a wildcard in the centre's topic") << QStringList{"--centre-topic", "centre/+"};
        QTest::newRow("a flood of one alarm") << QStringList{"--flood-alarms", "1"};
        QTest::newRow("a flood window of 0 s") << QStringList{"--flood-seconds", "0"};
    }
    void unusableSettings()
    {
        QFETCH(QStringList, arguments);
        QString error;
        QVERIFY(!settingsFrom(arguments, &error));
        QVERIFY(!error.isEmpty());
    }

    void operatorsFile()
    {
        QTemporaryDir dir;
        Operators operators(dir.filePath(QStringLiteral("operators")));
        QString error;
        QVERIFY(operators.add(QStringLiteral("Сидоров"), QStringLiteral("пароль 1"), &error));
        QVERIFY(operators.add(QStringLiteral("ivanov"), QStringLiteral("one"), &error));
        QVERIFY(operators.add(QStringLiteral("ivanov"), QStringLiteral("two"), &error)); // a new password
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                                | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFile::permissions(operators.path()) & others, QFileDevice::Permissions());
        QVERIFY(operators.verify(QStringLiteral("Сидоров"), QStringLiteral("пароль 1")));
        QVERIFY(operators.verify(QStringLiteral("ivanov"), QStringLiteral("two")));
        QVERIFY(!operators.verify(QStringLiteral("ivanov"), QStringLiteral("one")));
        QVERIFY(!operators.verify(QStringLiteral("nobody"), QStringLiteral("two")));
        QFile file(operators.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        QVERIFY(stored.startsWith("Сидоров:") && !stored.contains("two")); // hashes, not passwords
        QVERIFY(!operators.add(QStringLiteral("a:b"), QStringLiteral("x"), &error));
        QVERIFY(!operators.add(QStringLiteral("petrov"), QString(), &error));

        QFile::setPermissions(operators.path(), QFile::permissions(operators.path()) | QFileDevice::ReadOther);
        QVERIFY(!operators.verify(QStringLiteral("ivanov"), QStringLiteral("two"))); // a file others read is not trusted
    }

    void signInIsAnAction()
    {
        test::StationRig rig;
        QString error;
        QVERIFY(rig.operators.add(QStringLiteral("a"), QStringLiteral("1"), &error));
        QVERIFY(rig.operators.add(QStringLiteral("b"), QStringLiteral("2"), &error));
        QVERIFY(rig.start());
        QVERIFY(!rig.station->signIn(QStringLiteral("a"), QStringLiteral("2"), &error));
        QVERIFY(rig.station->signIn(QStringLiteral("a"), QStringLiteral("1"), &error));
        QVERIFY(rig.station->signIn(QStringLiteral("b"), QStringLiteral("2"), &error)); // a change of operator
        rig.station->signOut();
        QCOMPARE(rig.station->operatorName(), QString());
        QCOMPARE(rig.query("SELECT group_concat(kind || ':' || operator, ' ') FROM actions").toString(),
                 QStringLiteral("sign_in:a sign_out:a sign_in:b sign_out:b"));
    }

    void brokerLinkRetries()
    {
        test::StationRig rig;
        QVERIFY(rig.start(false));
        FakeTransport transport;
        BrokerLink link(transport, *rig.station);
        link.start();
        QCOMPARE(transport.opens, 1);
        QCOMPARE(transport.willTopic, QString()); // the station publishes nothing, not even a will

        emit transport.failed(QStringLiteral("localhost:1883 refused the connection"));
        QCOMPARE(rig.station->brokerProblem(), QStringLiteral("брокер localhost:1883 отказал в соединении"));
        QVERIFY(link.nextRetryMs() >= 400 && link.nextRetryMs() <= 1000);

        emit transport.connected();
        QVERIFY(rig.station->brokerProblem().isEmpty());
        emit transport.received({rig.status("post1")});
        QCOMPARE(rig.station->board().rowCount(), 1);
        link.stop();
        QCOMPARE(transport.closes, 1);
    }
};

QTEST_GUILESS_MAIN(TestStationSetup)
#include "test_station_setup.moc"
