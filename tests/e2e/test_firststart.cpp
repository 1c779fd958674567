// First start of the real console in an empty working directory, and its
// end by SIGTERM.

#include "consolerun.h"

using namespace dorvan::e2e;

class TestFirstStart : public QObject
{
    Q_OBJECT

private slots:
    void createsItsFilesLogsTheStartAndEndsCleanlyOnSigterm()
    {
        ConsoleRun run;
        QVERIFY(run.startSimulator({}));
        QVERIFY(run.startConsole());
        QVERIFY2(waitUntil([&] { return run.hasEvent(20, QStringLiteral("Начало работы")); }, 15000),
                 "no start-of-work event in the day's event file");

        const QByteArray settings = run.read(QStringLiteral("data/hw.dat"));
        QCOMPARE(settings.size(), 198);
        QCOMPARE(settings.left(194), QByteArray(194, '\0'));
        QCOMPARE(settings.mid(194), QByteArray::fromHex("635E0700")); // 482915
        QVERIFY(QFileInfo::exists(run.file(QStringLiteral("data/chop.dat"))));
        QCOMPARE(QFileInfo(run.file(QStringLiteral("data/chop.dat"))).size(), 0);
        QCOMPARE(run.dailyEvents().first().code, 20);

        const QString ended = run.endByTerm();
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
        QVERIFY(run.endedWithExitEvent());
        QCOMPARE(run.read(QStringLiteral("data/hw.dat")), settings);
    }
};

QTEST_GUILESS_MAIN(TestFirstStart)
#include "test_firststart.moc"
