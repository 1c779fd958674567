// The real console when its files fail under it: a file system that fills
// up before the shutdown, and data/ missing at start-up and put back while
// it runs. No line is attached: only the files matter here.

#include "consolerun.h"

#include "filefaults.h"

#include <QDir>

#include <unistd.h>

using namespace dorvan;
using namespace dorvan::e2e;

namespace {

const QList<Stored> sensors{{1001, 0, true, false, 100, 100}, {2001, 1, false, true, 1.5f, 2.5f}};

// A port binding that never opens, so that the console runs without a line.
void bindNoPort(const ConsoleRun &run)
{
    QDir(run.path()).mkdir(QStringLiteral("ports"));
    QVERIFY(::symlink("/nonexistent/tty", QFile::encodeName(run.file(QStringLiteral("ports/COM1"))).constData()) == 0);
}

QString today()
{
    return QStringLiteral("QReport/") + QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
}

bool started(const ConsoleRun &run)
{
    return waitUntil([&] { return run.hasEvent(20, QStringLiteral("Начало работы")); }, 15000);
}

} // namespace

class TestFileFaults : public QObject
{
    Q_OBJECT

private slots:
    // SIGTERM on a full file system: hw.dat stays as it was (never emptied),
    // every record in every file is whole, and the failures are logged.
    void shutdownOnAFullFileSystem()
    {
        ConsoleRun run;
        test::SmallFileSystem disk(run.path(), 256);
        if (!disk.mounted())
            QSKIP(qPrintable(disk.why()));
        test::WorkDir::makeDirectories(run.path());
        bindNoPort(run);
        run.storeSensors(sensors);
        // Eleven events today: the start makes twelve, and the next one
        // crosses a page of the file system.
        QByteArray earlier;
        for (int i = 0; i < 11; ++i) {
            EventRecord record;
            record.code = 20;
            earlier += test::bytesOf(record);
        }
        QFile day(run.file(today()));
        QVERIFY(day.open(QIODevice::WriteOnly) && day.write(earlier) == earlier.size());
        day.close();
        const QByteArray settings = run.read(QStringLiteral("data/hw.dat"));

        QVERIFY(run.startConsole(QProcess::SeparateChannels));
        QVERIFY2(started(run), "no start-of-work event");
        QVERIFY(disk.fill());
        const QString ended = run.endByTerm();
        QVERIFY2(ended.isEmpty(), qPrintable(ended));

        QCOMPARE(run.read(QStringLiteral("data/hw.dat")), settings);
        QCOMPARE(run.read(today()).size(), 12 * 328);
        const QString log = QString::fromUtf8(run.console().readAllStandardError());
        QVERIFY2(log.contains(QStringLiteral("Save_Hw: не записался файл hw.dat: нет места на диске")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("Put_msg: не записался файл QReport")), qPrintable(log));
        for (const Stored &stored : sensors) {
            const QByteArray bytes = run.read(ConsoleRun::sensorFile(stored.address, stored.model));
            QCOMPARE(bytes.size(), 232);
            const auto record = test::recordAt<SensorRecord>(bytes);
            QCOMPARE(record.address, stored.address);
            QCOMPARE(bool(record.armed1), stored.armed1);
        }
    }

    // data/ missing at start-up and put back with a site's hw.dat while the
    // console runs: the shutdown does not write its empty table over it.
    void dataPutBackIsNotOverwritten()
    {
        ConsoleRun run;
        bindNoPort(run);
        QVERIFY(QDir(run.path()).rmdir(QStringLiteral("data")));
        QVERIFY(run.startConsole(QProcess::SeparateChannels));
        QVERIFY2(started(run), "no start-of-work event");
        QVERIFY(QDir(run.path()).mkdir(QStringLiteral("data")));
        run.storeSensors(sensors);
        const QByteArray settings = run.read(QStringLiteral("data/hw.dat"));
        const QString ended = run.endByTerm();
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
        QCOMPARE(run.read(QStringLiteral("data/hw.dat")), settings);
        const QString log = QString::fromUtf8(run.console().readAllStandardError());
        QVERIFY2(log.contains(QStringLiteral("Ini_Hw: не открылся файл hw.dat")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("Save_Hw: файл hw.dat не был прочитан при запуске и не перезаписан")),
                 qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestFileFaults)
#include "test_filefaults.moc"
