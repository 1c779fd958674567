#include "base/workdirconfig.h"
#include "console/workdirsetup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestWorkDirSetup)
#include "test_workdirsetup.moc"
