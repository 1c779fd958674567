#include "base/regularfile.h"
#include "base/workdirconfig.h"
#include "console/consolestart.h"
#include "console/workdirsetup.h"
#include "filefaults.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace dorvan;

namespace {

// A scratch root holding the working directory (with a blank in its name),
// the package's sound and the configuration directory.
struct Scratch
{
    QTemporaryDir root;
    QString workDir() const { return root.filePath(QStringLiteral("guard post")); }
    QString sound() const { return root.filePath(QStringLiteral("share/Error.wav")); }
    QString config() const { return root.filePath(QStringLiteral("config/dorvan-console/console.conf")); }
    QString autostart() const { return root.filePath(QStringLiteral("config/autostart/dorvan-console.desktop")); }

    // "data/" a directory, "Error.wav=text" a file, "config=DIR" a configuration file naming DIR.
    QString pathOf(const QString &name) const
    {
        if (name == u"config")
            return config();
        if (name == u"autostart")
            return autostart();
        return name == u"." ? workDir() : workDir() + u'/' + name;
    }

    SetupRequest request() const
    {
        return {workDir(), sound(), config(), autostart(), QStringLiteral("/usr/bin/dorvan-console")};
    }
};

void write(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

// "C data", "K Error.wav", "F QReport": each step's outcome and its name.
QStringList outcomes(const SetupResult &result, const Scratch &scratch)
{
    QStringList found;
    for (const SetupStep &step : result.steps) {
        QString name = step.path == scratch.workDir() ? QStringLiteral(".") : QDir(scratch.workDir()).relativeFilePath(step.path);
        if (step.path == scratch.config())
            name = QStringLiteral("config");
        if (step.path == scratch.autostart())
            name = QStringLiteral("autostart");
        const char *letter[] = {"C ", "K ", "F "};
        found.append(QString::fromLatin1(letter[int(step.outcome)]) + name);
    }
    found.sort();
    return found;
}

} // namespace

class TestWorkDirSetup : public QObject
{
    Q_OBJECT

private slots:
    void prepareCreatesWhatIsMissingAndOverwritesNothing_data()
    {
        QTest::addColumn<QStringList>("prepared");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("ok");

        QTest::newRow("empty") << QStringList{}
                               << QStringList{"C .", "C Dorvan301DK", "C Dorvan301DK_mess", "C Dorvan302DK",
                                              "C Dorvan302DK_mess", "C Error.wav", "C QReport", "C autostart",
                                              "C config", "C data", "C ports"}
                               << true;
        QTest::newRow("partly prepared")
            << QStringList{"data/", "QReport/", "Error.wav=own sound", "config=.", "autostart=own entry"}
            << QStringList{"C Dorvan301DK", "C Dorvan301DK_mess", "C Dorvan302DK", "C Dorvan302DK_mess",
                           "C ports", "K .", "K Error.wav", "K QReport", "K autostart", "K config", "K data"}
            << true;
        QTest::newRow("blocked")
            << QStringList{"QReport=a file", "config=/srv/other"}
            << QStringList{"C Dorvan301DK", "C Dorvan301DK_mess", "C Dorvan302DK", "C Dorvan302DK_mess",
                           "C Error.wav", "C autostart", "C data", "C ports", "F QReport", "F config", "K ."}
            << false;
    }

    void prepareCreatesWhatIsMissingAndOverwritesNothing()
    {
        QFETCH(QStringList, prepared);
        QFETCH(QStringList, expected);
        QFETCH(bool, ok);

        Scratch scratch;
        write(scratch.sound(), "RIFF package sound");
        QHash<QString, QByteArray> before;
        for (const QString &item : prepared) {
            if (item.endsWith(u'/')) {
                QVERIFY(QDir().mkpath(scratch.pathOf(item.chopped(1))));
                continue;
            }
            const QString name = item.section(u'=', 0, 0);
            QByteArray contents = item.section(u'=', 1).toUtf8();
            if (name == u"config")
                contents = configFileText(contents == "." ? scratch.workDir() : QString::fromUtf8(contents));
            write(scratch.pathOf(name), contents);
            before.insert(name, contents);
        }

        const SetupResult result = prepareWorkDir(scratch.request());
        QCOMPARE(outcomes(result, scratch), expected);
        QCOMPARE(result.ok(), ok);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(read(scratch.pathOf(it.key())), it.value());
        if (!before.contains(QStringLiteral("Error.wav")))
            QCOMPARE(read(scratch.pathOf(QStringLiteral("Error.wav"))), QByteArray("RIFF package sound"));
        if (!before.contains(QStringLiteral("config")))
            QCOMPARE(readConfigFile(scratch.config()).workDir, scratch.workDir());
        if (!before.contains(QStringLiteral("autostart")))
            QVERIFY(read(scratch.autostart())
                        .contains("\nTryExec=/usr/bin/dorvan-console\nExec=/usr/bin/dorvan-console --workdir \""
                                  + scratch.workDir().toUtf8() + "\"\n"));

        // A second run finds everything in place and creates nothing.
        const SetupResult again = prepareWorkDir(scratch.request());
        QVERIFY(std::none_of(again.steps.cbegin(), again.steps.cend(),
                             [](const SetupStep &step) { return step.outcome == SetupStep::Outcome::Created; }));
    }

    // Only a live console on the directory keeps another from starting: no
    // lock file left behind, whatever it holds or whatever stands in its
    // place, blocks a start, and none hangs it. A lock that cannot be made
    // at all is said, with the reason.
    void lockFiles_data()
    {
        QTest::addColumn<QString>("found");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("error"); // for Unavailable
        const int locked = int(ConsoleLock::Outcome::Locked);
        const int unavailable = int(ConsoleLock::Outcome::Unavailable);
        QTest::newRow("none") << "none" << locked << 0;
        QTest::newRow("empty (power lost after its creation)") << "empty" << locked << 0;
        QTest::newRow("garbage") << "garbage" << locked << 0;
        QTest::newRow("PID of a live process, this computer") << "pid 1" << locked << 0;
        QTest::newRow("another computer") << "other host" << locked << 0;
        QTest::newRow("symlink to a file") << "link to a file" << locked << 0;
        QTest::newRow("dangling symlink") << "dangling link" << locked << 0;
        QTest::newRow("FIFO") << "FIFO" << locked << 0;
        QTest::newRow("symlink to a FIFO") << "link to a FIFO" << locked << 0;
        QTest::newRow("empty directory") << "empty directory" << locked << 0;
        QTest::newRow("directory with a file") << "full directory" << unavailable << EISDIR;
        QTest::newRow("held by a live console") << "held" << int(ConsoleLock::Outcome::Held) << 0;
        QTest::newRow("read-only working directory") << "read-only" << unavailable << EACCES;
    }

    void lockFiles()
    {
        QFETCH(QString, found);
        QFETCH(int, outcome);
        QFETCH(int, error);
        ::alarm(30); // a hang ends the test as a failure
        Scratch scratch;
        const QString dir = scratch.workDir();
        QVERIFY(QDir().mkpath(dir));
        const QString lock = dir + u'/' + ConsoleLock::fileName();
        const QString elsewhere = scratch.root.filePath(QStringLiteral("elsewhere"));
        const QByteArray native = QFile::encodeName(lock);
        std::optional<ConsoleLock> holder;
        if (found == "empty")
            write(lock, "");
        else if (found == "garbage")
            write(lock, QByteArray("\xff\x00garbage\n\n\n", 13));
        else if (found == "pid 1")
            write(lock, "1\ndorvan-console\n" + QSysInfo::machineHostName().toUtf8() + '\n');
        else if (found == "other host")
            write(lock, "4242\ndorvan-console\nfar-away-host\n");
        else if (found == "link to a file") {
            write(elsewhere, "not a lock");
            QVERIFY(::symlink(QFile::encodeName(elsewhere).constData(), native.constData()) == 0);
        } else if (found == "dangling link")
            QVERIFY(::symlink(QFile::encodeName(elsewhere).constData(), native.constData()) == 0);
        else if (found == "FIFO")
            QVERIFY(::mkfifo(native.constData(), 0600) == 0);
        else if (found == "link to a FIFO") {
            QVERIFY(::mkfifo(QFile::encodeName(elsewhere).constData(), 0600) == 0);
            QVERIFY(::symlink(QFile::encodeName(elsewhere).constData(), native.constData()) == 0);
        } else if (found == "empty directory")
            QVERIFY(QDir().mkdir(lock));
        else if (found == "full directory")
            write(lock + QStringLiteral("/inside"), "x");
        else if (found == "held") {
            holder.emplace(dir);
            QCOMPARE(holder->tryLock(), ConsoleLock::Outcome::Locked);
        } else if (found == "read-only") {
            QVERIFY(::chmod(QFile::encodeName(scratch.root.path()).constData(), 0755) == 0);
            QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0555) == 0);
        }

        std::optional<dorvan::test::UnprivilegedFiles> unprivileged;
        if (found == "read-only")
            unprivileged.emplace(); // root may write anywhere
        {
            ConsoleLock console(dir);
            QCOMPARE(int(console.tryLock()), outcome);
            unprivileged.reset();
            if (outcome == int(ConsoleLock::Outcome::Unavailable)) {
                QVERIFY2(console.unavailableText().contains(fileErrorText(error)), qPrintable(console.unavailableText()));
            } else if (outcome == int(ConsoleLock::Outcome::Held)) {
                // The refusal names the holder.
                QVERIFY2(console.refusalText().contains(QString::number(::getpid())), qPrintable(console.refusalText()));
            } else {
                // A regular file now, with the holder's number; a second console is refused.
                QVERIFY(QFileInfo(lock).isFile() && !QFileInfo(lock).isSymLink());
                QVERIFY(read(lock).startsWith(QByteArray::number(::getpid()) + '\n'));
                ConsoleLock second(dir);
                QCOMPARE(second.tryLock(), ConsoleLock::Outcome::Held);
            }
        }
        // What a link pointed to is never touched.
        if (found == "link to a file")
            QCOMPARE(read(elsewhere), QByteArray("not a lock"));
        if (found == "dangling link")
            QVERIFY(!QFileInfo::exists(elsewhere));
        if (found == "link to a FIFO")
            QVERIFY(QFileInfo(elsewhere).exists());
        if (outcome == int(ConsoleLock::Outcome::Locked)) {
            // An ended console takes its lock file away; the next one starts.
            QVERIFY(!QFileInfo::exists(lock) && !QFileInfo(lock).isSymLink());
            ConsoleLock next(dir);
            QCOMPARE(next.tryLock(), ConsoleLock::Outcome::Locked);
        }
        ::chmod(QFile::encodeName(dir).constData(), 0755);
        ::alarm(0);
    }
};

QTEST_GUILESS_MAIN(TestWorkDirSetup)
#include "test_workdirsetup.moc"
