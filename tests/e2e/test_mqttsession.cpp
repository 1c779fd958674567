// The MQTT client as a subscriber, against a real mosquitto: a persistent
// session gets what was published while it was away, in order and in
// batches, and a retained message is told from a live one.

#include "brokerrun.h"

#include "mqtt/mqttclient.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvan;
using namespace dorvan::e2e;

Q_LOGGING_CATEGORY(lcTestMqtt, "dorvan.test.mqtt", QtInfoMsg)

namespace {

struct Subscription
{
    explicit Subscription(const mqtt::BrokerSettings &settings) : client(settings, lcTestMqtt)
    {
        QObject::connect(&client, &mqtt::Transport::received, [this](const QList<mqtt::Received> &batch) {
            ++batches;
            messages += batch;
        });
        QObject::connect(&client, &mqtt::Transport::connected, [this] { up = true; });
        client.open({});
    }
    bool waitConnected() { return waitUntil([this] { return up; }, 10000); }
    bool waitFor(int count) { return waitUntil([this, count] { return messages.size() >= count; }, 10000); }

    mqtt::MqttClient client;
    QList<mqtt::Received> messages;
    int batches = 0;
    bool up = false;
};

} // namespace

class TestMqttSession : public QObject
{
    Q_OBJECT

    mqtt::MqttClient::Library library_;
    QTemporaryDir dir_;
    Broker broker_{dir_.path()};

    bool publish(const QString &topic, const QStringList &payloads, bool retain = false)
    {
        QStringList arguments{QStringLiteral("-p"), QString::number(broker_.port()), QStringLiteral("-q"),
                              QStringLiteral("1"), QStringLiteral("-t"), topic};
        if (retain)
            arguments << QStringLiteral("-r");
        // One line, one message, in order, over one connection.
        arguments << QStringLiteral("-l");
        writeFile(dir_.filePath(QStringLiteral("lines")), payloads.join(u'\n').toUtf8() + '\n');
        QProcess process;
        process.setStandardInputFile(dir_.filePath(QStringLiteral("lines")));
        process.start(program(QStringLiteral("mosquitto_pub")), arguments);
        return process.waitForFinished(30000) && process.exitCode() == 0;
    }

    mqtt::BrokerSettings settings(const QString &post, int sessionExpirySeconds) const
    {
        mqtt::BrokerSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker_.port();
        settings.clientId = QStringLiteral("test-station-") + post;
        settings.sessionExpirySeconds = sessionExpirySeconds;
        settings.subscriptions = {QStringLiteral("post/%1/event").arg(post), QStringLiteral("post/%1/status").arg(post)};
        return settings;
    }

private slots:
    void initTestCase()
    {
        if (program(QStringLiteral("mosquitto")).isEmpty() || program(QStringLiteral("mosquitto_pub")).isEmpty())
            QSKIP("mosquitto and mosquitto_pub are needed (scripts/install-deps.sh)");
        QVERIFY(broker_.start());
    }

    // What is published while a persistent subscriber is away reaches it
    // when it is back, in order and in fewer batches than messages; a clean
    // session gets only what is retained.
    void awaySubscriberGetsTheBacklog_data()
    {
        QTest::addColumn<int>("sessionExpiry");
        QTest::addColumn<bool>("getsBacklog");
        QTest::newRow("persistent") << 86400 << true;
        QTest::newRow("clean") << 0 << false;
    }
    void awaySubscriberGetsTheBacklog()
    {
        QFETCH(int, sessionExpiry);
        QFETCH(bool, getsBacklog);
        const QString post = QStringLiteral("p%1").arg(sessionExpiry);
        const QString event = QStringLiteral("post/%1/event").arg(post);
        {
            Subscription first(settings(post, sessionExpiry));
            QVERIFY(first.waitConnected());
            QVERIFY(publish(QStringLiteral("post/%1/status").arg(post), {QStringLiteral("online")}, true));
            QVERIFY(first.waitFor(1));
            QVERIFY(!first.messages.first().retained);
            first.client.close();
        }
        QStringList sent;
        for (int record = 1; record <= 500; ++record)
            sent << QStringLiteral("#%1").arg(record);
        QVERIFY(publish(event, sent));

        Subscription back(settings(post, sessionExpiry));
        QVERIFY(back.waitConnected());
        QVERIFY(back.waitFor(getsBacklog ? 501 : 1));
        QTest::qWait(200); // nothing more is on its way
        QStringList events;
        int retained = 0;
        for (const mqtt::Received &message : back.messages) {
            if (message.topic == event)
                events << QString::fromUtf8(message.payload);
            retained += message.retained;
            QCOMPARE(message.qos, 1);
        }
        QCOMPARE(events, getsBacklog ? sent : QStringList());
        QCOMPARE(retained, 1); // the status, given again on subscribing
        if (getsBacklog)
            QVERIFY2(back.batches < 100, qPrintable(QString::number(back.batches)));
        back.client.close();
    }
};

QTEST_GUILESS_MAIN(TestMqttSession)
#include "test_mqttsession.moc"
