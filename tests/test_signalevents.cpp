// The programs' mains take their signals into the event loop through one
// helper: each signal raised comes back once, in order, with its number.

#include "base/signalevents.h"

#include <QList>
#include <QTest>

#include <csignal>

using namespace dorvan;

class TestSignalEvents : public QObject
{
    Q_OBJECT

private slots:
    void eachSignalComesBackOnceInOrder_data()
    {
        QTest::addColumn<QList<int>>("raised");
        QTest::newRow("one") << QList<int>{SIGUSR1};
        QTest::newRow("two kinds") << QList<int>{SIGUSR2, SIGUSR1};
        QTest::newRow("the same three times") << QList<int>{SIGUSR2, SIGUSR2, SIGUSR2};
    }

    void eachSignalComesBackOnceInOrder()
    {
        QFETCH(QList<int>, raised);
        QList<int> received;
        const SignalEvents events({SIGUSR1, SIGUSR2}, [&received](int signal) { received.append(signal); });
        QVERIFY(events.catching());
        for (int signal : raised)
            QCOMPARE(std::raise(signal), 0);
        // Nothing is called from the handler itself, only from the loop.
        QVERIFY(received.isEmpty());
        QTRY_COMPARE(received, raised);
        QTest::qWait(50);
        QCOMPARE(received, raised);
    }
};

QTEST_GUILESS_MAIN(TestSignalEvents)
#include "test_signalevents.moc"
