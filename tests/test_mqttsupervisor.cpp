// Keeping a broker connection: when the supervisor opens the transport
// again, how long it waits, and what a held back-off and a stop change.

#include "mqtt/supervisor.h"

#include <QLoggingCategory>
#include <QTest>

using namespace dorvan::mqtt;

Q_LOGGING_CATEGORY(lcTest, "dorvan.test.mqtt")

namespace {

class CountingTransport : public Transport
{
public:
    void open(const Message &will) override
    {
        ++opens;
        lastWill = will;
    }
    int publish(const Message &) override { return -1; }
    void close() override { ++closes; }
    QString brokerName() const override { return QStringLiteral("fake:1883"); }

    int opens = 0;
    int closes = 0;
    Message lastWill;
};

} // namespace

class TestMqttSupervisor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("dorvan.test.mqtt.warning=false")); }

    // Each letter one happening: c the broker took the connection, f it
    // failed, r the user reopens it, h holds the back-off, u lets it go,
    // s stops, o the retry timer fires.
    void reconnects_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("opens");
        QTest::addColumn<int>("closes");
        QTest::addColumn<int>("losses");
        QTest::addColumn<int>("step");   // nextRetryMs() at the end
        QTest::addColumn<int>("waitUpTo"); // the retry running at the end is at most this, at least half; 0: none

        QTest::newRow("first failure") << "f" << 1 << 0 << 1 << 2000 << 1000;
        QTest::newRow("the wait doubles") << "fofof" << 3 << 0 << 3 << 8000 << 4000;
        QTest::newRow("and stops growing") << "fofofofofofof" << 7 << 0 << 7 << 15000 << 15000;
        QTest::newRow("a good connection starts again") << "fofoc" << 3 << 0 << 2 << 1000 << 0;
        QTest::newRow("reopened by its user") << "cr" << 1 << 1 << 1 << 2000 << 1000;
        QTest::newRow("a held back-off survives connecting") << "chrocroc" << 3 << 2 << 2 << 4000 << 0;
        QTest::newRow("let go, it starts again") << "chrocuroc" << 3 << 2 << 2 << 1000 << 0;
        QTest::newRow("stopped: no retry") << "csf" << 1 << 0 << 1 << 1000 << 0;
        QTest::newRow("a retry waiting is cancelled") << "fs" << 1 << 0 << 1 << 2000 << 0;
    }

    void reconnects()
    {
        QFETCH(QString, script);
        QFETCH(int, opens);
        QFETCH(int, closes);
        QFETCH(int, losses);
        QFETCH(int, step);
        QFETCH(int, waitUpTo);

        CountingTransport transport;
        Supervisor supervisor(transport, {QStringLiteral("post/status"), "offline", true}, lcTest);
        int lost = 0;
        connect(&supervisor, &Supervisor::lost, this, [&lost] { ++lost; });
        supervisor.start();
        for (const QChar happening : script) {
            switch (happening.unicode()) {
            case 'c': emit transport.connected(); break;
            case 'f': emit transport.failed(QStringLiteral("connection lost")); break;
            case 'r': supervisor.reopen(QStringLiteral("not trusted")); break;
            case 'h': supervisor.holdBackoff(true); break;
            case 'u': supervisor.holdBackoff(false); break;
            case 's': supervisor.stop(); break;
            case 'o': supervisor.start(); break; // what the retry timer calls
            }
        }
        QCOMPARE(transport.opens, opens);
        QCOMPARE(transport.closes, closes);
        QCOMPARE(lost, losses);
        QCOMPARE(supervisor.nextRetryMs(), step);
        QCOMPARE(transport.lastWill.topic, QStringLiteral("post/status"));
        const int wait = supervisor.retryInMs();
        if (waitUpTo == 0) {
            QCOMPARE(wait, -1);
        } else {
            QVERIFY2(wait <= waitUpTo && wait >= waitUpTo / 2 - 100, qPrintable(QString::number(wait)));
        }
    }

    // A connection after stop() is not reported: the user is ending it.
    void connectedAfterStopIgnored()
    {
        CountingTransport transport;
        Supervisor supervisor(transport, {}, lcTest);
        int connections = 0;
        connect(&supervisor, &Supervisor::connected, this, [&connections] { ++connections; });
        supervisor.start();
        supervisor.stop();
        emit transport.connected();
        QCOMPARE(connections, 0);
        QVERIFY(!supervisor.isConnected());
    }
};

QTEST_GUILESS_MAIN(TestMqttSupervisor)
#include "test_mqttsupervisor.moc"
