// The real console polling stored sensors on the simulated line: link
// restored with the stored DC components, a trip of an armed loop, a sensor
// falling silent, and the sensors' files at SIGTERM.

#include "consolerun.h"


using namespace dorvan;
using namespace dorvan::e2e;

namespace {

const QList<Stored> storedSensors{
    {1001, 0, true, false, 100, 0},
    {2001, 1, true, true, 1.25f, 2.5f},
};

const QString standby301 = QStringLiteral("Возврат в дежурное состояние датчика <Дорван-301ДК> № 1001");
const QString standby302 = QStringLiteral("Возврат в дежурное состояние датчика <Дорван-302ДК> № 2001");

int indexOfEvent(const QList<StoredEvent> &events, int code, const QString &text, int from = 0)
{
    for (int i = from; i < events.size(); ++i) {
        if (events[i].code == code && events[i].text == text)
            return i;
    }
    return -1;
}

int countEvents(const QList<StoredEvent> &events, int code, const QString &text)
{
    int n = 0;
    for (const StoredEvent &event : events)
        n += event.code == code && event.text == text;
    return n;
}

// The requests to one sensor: polls, then its set request repeated until
// acknowledged, then polls only.
void verifySetRequestUntilAcknowledged(const QStringList &requests, const QString &setRequest)
{
    qsizetype firstSet = -1;
    qsizetype lastSet = -1;
    for (qsizetype i = 0; i < requests.size(); ++i) {
        if (requests[i].contains(QLatin1String(" set-dc-"))) {
            QVERIFY2(requests[i].contains(setRequest), qPrintable(requests[i]));
            lastSet = i;
            if (firstSet < 0)
                firstSet = i;
        }
    }
    QVERIFY2(firstSet >= 1, qPrintable(requests.join(u'\n')));
    for (qsizetype i = 0; i < firstSet; ++i)
        QVERIFY2(requests[i].contains(QLatin1String(" poll ")), qPrintable(requests[i]));
    QVERIFY2(requests[lastSet].endsWith(QLatin1String("-> ack")), qPrintable(requests[lastSet]));
    QVERIFY2(lastSet + 2 < requests.size(), "too few polls after the acknowledgement");
    for (qsizetype i = lastSet + 1; i < requests.size(); ++i)
        QVERIFY2(requests[i].contains(QLatin1String(" poll ")), qPrintable(requests[i]));
}

} // namespace

class TestSensorLine : public QObject
{
    Q_OBJECT

private:
    // Console and simulator with both stored sensors answering, both back in standby.
    bool bringUp(ConsoleRun &run)
    {
        run.storeSensors(storedSensors);
        if (!run.startSimulator({QStringLiteral("1001:0"), QStringLiteral("2001:1")}) || !run.startConsole())
            return false;
        return waitUntil([&] { return run.hasEvent(0, standby301) && run.hasEvent(0, standby302); }, 15000);
    }

private slots:
    void storedSensorsComeBackWithTheirDcComponents()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run), "the stored sensors did not come back to standby");
        const QList<StoredEvent> events = run.dailyEvents();
        const int restored = indexOfEvent(events, 32, QStringLiteral("Восстановлена связь с датчиком <Дорван-301ДК> № 1001"));
        QVERIFY(restored >= 0);
        QVERIFY(indexOfEvent(events, 0, standby301, restored) > restored);
        QCOMPARE(events[restored].address, 1001);
        QVERIFY(indexOfEvent(events, 32, QStringLiteral("Восстановлена связь с датчиком <Дорван-302ДК> № 2001")) >= 0);
        // Loop 1 of 1001 is armed and its stored alarm clears: logged; loop 2 is not armed: silent.
        QVERIFY(indexOfEvent(events, 0, QStringLiteral("Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № 1001")) >= 0);
        QCOMPARE(indexOfEvent(events, 0, QStringLiteral("Возврат в норму 2 шлейфа датчика <Дорван-301ДК> № 1001")), -1);

        // Wait for a few plain polls after the acknowledgements.
        const auto pollsAfterAck = [&](quint32 address) {
            const QStringList requests = run.requestsTo(address);
            qsizetype ack = requests.size() - 1;
            while (ack >= 0 && !requests[ack].endsWith(QLatin1String("-> ack")))
                --ack;
            return ack >= 0 && requests.size() - ack > 3;
        };
        QVERIFY(waitUntil([&] { return pollsAfterAck(1001) && pollsAfterAck(2001); }, 10000));
        verifySetRequestUntilAcknowledged(run.requestsTo(1001), QStringLiteral("set-dc-m0 dc=100 "));
        verifySetRequestUntilAcknowledged(run.requestsTo(2001), QStringLiteral("set-dc-m1 dc1=1.25 dc2=2.5 "));
    }

    // 46777 is 0xB6B9: every request to it and every reply from it carries
    // bytes that must be stuffed, so a stuffing fault at either end shows.
    void stuffedAddressCrossesTheLine()
    {
        ConsoleRun run;
        run.storeSensors({{46777, 0, true, false, 182, 0}});
        QVERIFY(run.startSimulator({QStringLiteral("46777:0")}) && run.startConsole());
        QVERIFY(waitUntil([&] { return run.hasEvent(0, QStringLiteral("Возврат в дежурное состояние датчика <Дорван-301ДК> № 46777")); },
                          15000));
        QVERIFY(waitUntil([&] { return !run.requestsTo(46777).filter(QStringLiteral("set-dc-m0 dc=182 ")).filter(QStringLiteral("-> ack")).isEmpty(); },
                          10000));
    }

    void armedLoopTripIsLoggedUnarmedIsNot()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run), "the stored sensors did not come back to standby");
        run.simCommand(QStringLiteral("trip 1001 1"));
        QVERIFY(waitUntil([&] { return run.hasEvent(33, QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 1001")); }, 10000));

        run.simCommand(QStringLiteral("trip 1001 2"));
        run.simCommand(QStringLiteral("trip 2001 2"));
        QVERIFY(waitUntil([&] { return run.hasEvent(33, QStringLiteral("Срабатывание 2 шлейфа датчика <Дорван-302ДК> № 2001")); }, 10000));
        // Loop 2 of 1001 is not armed: its trip colours the row but is no event.
        QVERIFY(waitUntil([&] { return run.requestsTo(1001).filter(QStringLiteral("-> status 0xc0")).size() >= 2; }, 10000));
        QVERIFY(!run.hasEvent(33, QStringLiteral("Срабатывание 2 шлейфа датчика <Дорван-301ДК> № 1001")));
        QCOMPARE(countEvents(run.dailyEvents(), 33, QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 1001")), 1);
    }

    void silentSensorIsLostAtTheNinthMissAndComesBack()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run), "the stored sensors did not come back to standby");
        const QString lost = QStringLiteral("Нет связи с датчиком <Дорван-302ДК> № 2001");
        run.simCommand(QStringLiteral("silent 2001"));
        QVERIFY(waitUntil([&] { return run.hasEvent(15, lost); }, 15000));
        // The 9th unanswered request declares the loss; a port reopen in
        // between makes one request uncounted, and the next poll may already be out.
        const qsizetype misses = run.requestsTo(2001).filter(QStringLiteral("-> silent")).size();
        QVERIFY2(misses >= 9 && misses <= 11, qPrintable(QString::number(misses)));
        QVERIFY(!run.hasEvent(15, QStringLiteral("Нет связи с датчиком <Дорван-301ДК> № 1001")));

        const qsizetype before = run.requestsTo(2001).size();
        run.simCommand(QStringLiteral("answer 2001"));
        const QString restored = QStringLiteral("Восстановлена связь с датчиком <Дорван-302ДК> № 2001");
        QVERIFY(waitUntil([&] { return countEvents(run.dailyEvents(), 32, restored) == 2; }, 10000));
        QVERIFY(waitUntil([&] { return run.requestsTo(2001).mid(before).filter(QStringLiteral("-> ack")).size() >= 1; }, 10000));
        QVERIFY(run.requestsTo(2001).mid(before).filter(QStringLiteral("set-dc-m1 dc1=1.25 dc2=2.5 ")).size() >= 1);
    }

    // Garbage, a spoilt checksum and a stranger's reply each cost at most
    // one answer; the link stays up and nothing is logged for them.
    void lineFaultsDoNotCostTheLink()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run), "the stored sensors did not come back to standby");
        const qsizetype eventsBefore = run.dailyEvents().size();
        for (const char *fault : {"noise 40", "badcrc", "foreign", "noise 7", "foreign 2001", "badcrc"}) {
            const qsizetype before = run.requests().size();
            run.simCommand(QString::fromLatin1(fault));
            QVERIFY(waitUntil([&] { return run.requests().size() >= before + 2; }, 5000));
        }
        const qsizetype before = run.requests().size();
        QVERIFY(waitUntil([&] { return run.requests().size() >= before + 6; }, 5000));
        const QList<StoredEvent> events = run.dailyEvents();
        QCOMPARE(events.size(), eventsBefore);
    }

    void sigtermSavesEverySensorInPlace()
    {
        ConsoleRun run;
        QVERIFY2(bringUp(run), "the stored sensors did not come back to standby");
        const QByteArray settings = run.read(QStringLiteral("data/hw.dat"));
        const QString ended = run.endByTerm();
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
        QVERIFY(run.endedWithExitEvent());
        QCOMPARE(run.read(QStringLiteral("data/hw.dat")), settings);

        for (const Stored &stored : storedSensors) {
            const QByteArray bytes = run.read(ConsoleRun::sensorFile(stored.address, stored.model));
            QCOMPARE(bytes.size(), 232); // the last record rewritten, nothing appended
            const auto record = test::recordAt<SensorRecord>(bytes);
            QCOMPARE(record.address, stored.address);
            QCOMPARE(record.state, 15);
            QCOMPARE(int(record.alarm1), 1);
            QCOMPARE(int(record.alarm2), 1);
            QCOMPARE(bool(record.armed1), stored.armed1);
            QCOMPARE(bool(record.armed2), stored.armed2);
            QCOMPARE(record.thresholdDc1, stored.dc1);
            QCOMPARE(record.thresholdDc2, stored.dc2);
            QCOMPARE(record.linkUp, qint16(0));
            QCOMPARE(record.pendingRequest, qint16(0));
            QCOMPARE(record.connectedAt, 46000.5);
        }
    }
};

QTEST_GUILESS_MAIN(TestSensorLine)
#include "test_sensorline.moc"
