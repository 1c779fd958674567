// The installed console's way to its working directory, with the real
// binary: the setup command prepares a directory and names it in the user's
// configuration file; the console started as the menu starts it (no
// options, in the home directory) works there; a second console on the
// same directory is refused and changes no file; a lock left by a killed
// console does not block the next start.

#include "consolerun.h"

#include "base/consoleheartbeat.h"

#include <QDirIterator>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

using namespace dorvan::e2e;

namespace {

// Every file and directory under `root`, hidden ones too, with size and
// modification time; but the heartbeat a running console rewrites.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.fileName().startsWith(QFileInfo(dorvan::ConsoleHeartbeat::fileName()).fileName()))
            continue;
        entries.append(QStringLiteral("%1 %2 %3")
                           .arg(info.filePath())
                           .arg(info.isDir() ? 0 : info.size())
                           .arg(info.lastModified().toMSecsSinceEpoch()));
    }
    entries.sort();
    return entries;
}

int startsOfWork(const QString &workDir)
{
    const QString daily = workDir + QStringLiteral("/QReport/") + QDate::currentDate().toString(u"dd.MM.yyyy");
    int count = 0;
    for (const StoredEvent &event : ConsoleRun::readEvents(daily))
        count += event.code == 20 && event.text == QStringLiteral("Начало работы");
    return count;
}

} // namespace

class TestConsoleStart : public QObject
{
    Q_OBJECT

private slots:
    void setupMenuStartSecondConsoleAndStaleLock()
    {
        QTemporaryDir home;
        const QString workDir = home.filePath(QStringLiteral("post 1"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        const auto console = [&](QProcess &process, const QStringList &arguments,
                                 QProcess::ProcessChannelMode mode = QProcess::ForwardedChannels) {
            process.setProcessEnvironment(environment);
            process.setWorkingDirectory(home.path());
            process.setProcessChannelMode(mode);
            process.start(binDir() + QStringLiteral("/dorvan-console"), arguments);
            return process.waitForStarted(5000);
        };

        QProcess setup;
        QVERIFY(console(setup, {QStringLiteral("--init"), workDir, QStringLiteral("--save-config")}));
        QVERIFY(setup.waitForFinished(10000));
        QCOMPARE(setup.exitCode(), 0);
        QVERIFY(QFileInfo(workDir + QStringLiteral("/Error.wav")).size() > 0);
        // No adapter: a binding to nothing, so that no real port is tried.
        QVERIFY(QFile::link(home.filePath(QStringLiteral("no-adapter")), workDir + QStringLiteral("/ports/COM1")));

        QProcess first;
        QVERIFY(console(first, {}));
        QVERIFY2(waitUntil([&] { return startsOfWork(workDir) == 1; }, 15000),
                 "the console started from the menu did not work in the configured directory");
        const QString lockFile = workDir + QStringLiteral("/.dorvan-console.lock");
        QVERIFY(QFileInfo::exists(lockFile));

        const QStringList before = snapshot(workDir);
        QProcess second;
        QVERIFY(console(second, {QStringLiteral("--workdir"), workDir}, QProcess::MergedChannels));
        const QString refusal = QStringLiteral("С рабочим каталогом %1 уже работает другой пульт (процесс %2)")
                                    .arg(workDir)
                                    .arg(first.processId());
        QString said;
        QVERIFY2(waitUntil([&] {
                     said += QString::fromUtf8(second.readAll());
                     return said.contains(refusal);
                 }, 15000),
                 qPrintable(said));
        QCOMPARE(snapshot(workDir), before);
        // SIGTERM ends it while its box waits for OK.
        second.terminate();
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);

        // A crash leaves the lock behind; its process is gone.
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QVERIFY(QFileInfo::exists(lockFile));
        QProcess third;
        QVERIFY(console(third, {QStringLiteral("--workdir"), workDir}));
        QVERIFY2(waitUntil([&] { return startsOfWork(workDir) == 2; }, 15000), "a stale lock blocked the start");
        third.terminate();
        QVERIFY(third.waitForFinished(10000));
        QCOMPARE(third.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(lockFile));
    }
};

QTEST_GUILESS_MAIN(TestConsoleStart)
#include "test_consolestart.moc"
