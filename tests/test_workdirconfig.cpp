#include "base/workdirconfig.h"
#include "console/consolestart.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvan;

namespace {

// "-" no file, "<dir>" a directory in the file's place, else the file's text.
void prepare(const QString &path, const QString &contents)
{
    if (contents == u"-")
        return;
    if (contents == u"<dir>") {
        QVERIFY(QDir().mkpath(path));
        return;
    }
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents.toUtf8());
}

} // namespace

class TestWorkDirConfig : public QObject
{
    Q_OBJECT

private slots:
    void chooseWorkDir_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("problem");

        using S = WorkDirChoice::Source;
        using P = ConfigRead::Problem;
        QTest::newRow("option, relative to the current directory")
            << "site/../post" << "workdir=/srv/a" << "-" << "/cwd/post" << int(S::Option) << int(P::None);
        QTest::newRow("user before system")
            << "" << "# line 1\n  workdir =  /srv/a/../b  \ncolour=red\n" << "workdir=/srv/c" << "/srv/b"
            << int(S::UserConfig) << int(P::None);
        QTest::newRow("a user file naming nothing falls through")
            << "" << "# workdir=/srv/a\n" << "workdir=/srv/c" << "/srv/c" << int(S::SystemConfig) << int(P::None);
        QTest::newRow("no file: the current directory")
            << "" << "-" << "-" << "/cwd" << int(S::CurrentDirectory) << int(P::None);
        QTest::newRow("relative path in a file")
            << "" << "workdir=srv/a" << "workdir=/srv/c" << "" << int(S::UserConfig) << int(P::Relative);
        QTest::newRow("unreadable file")
            << "" << "<dir>" << "workdir=/srv/c" << "" << int(S::UserConfig) << int(P::Unreadable);
    }

    void chooseWorkDir()
    {
        QFETCH(QString, option);
        QFETCH(QString, user);
        QFETCH(QString, system);
        QFETCH(QString, dir);
        QFETCH(int, source);
        QFETCH(int, problem);

        QTemporaryDir root;
        const ConfigFiles files{root.filePath(QStringLiteral("home/.config/dorvan-console/console.conf")),
                                root.filePath(QStringLiteral("etc/dorvan-console/console.conf")), QString()};
        prepare(files.user, user);
        prepare(files.system, system);

        const WorkDirChoice choice = dorvan::chooseWorkDir(option, files, QStringLiteral("/cwd"));
        QCOMPARE(choice.dir, dir);
        QCOMPARE(int(choice.source), source);
        QCOMPARE(int(choice.problem), problem);
        QCOMPARE(choice.problemText().isEmpty(), problem == int(ConfigRead::Problem::None));
    }

    void consoleCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("dir");

        using A = ConsoleCommand::Action;
        QTest::newRow("menu entry") << QStringList{} << int(A::Run) << "";
        QTest::newRow("workdir") << QStringList{"--workdir", "/srv/d"} << int(A::Run) << "/srv/d";
        QTest::newRow("init") << QStringList{"--init", "/srv/d", "--save-config", "--autostart"} << int(A::Init)
                              << "/srv/d";
        QTest::newRow("help wins") << QStringList{"--init", "/srv/d", "-h"} << int(A::Help) << "";
        QTest::newRow("save-config alone") << QStringList{"--save-config"} << int(A::Usage) << "";
        QTest::newRow("both configs") << QStringList{"--init", "/d", "--save-config", "--save-system-config"}
                                      << int(A::Usage) << "";
        QTest::newRow("init and workdir") << QStringList{"--init", "/d", "--workdir", "/e"} << int(A::Usage) << "";
        QTest::newRow("stray argument") << QStringList{"/srv/d"} << int(A::Usage) << "";
        QTest::newRow("init without its directory") << QStringList{"--init"} << int(A::Usage) << "";
    }

    void consoleCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, dir);
        const ConsoleCommand command = parseConsoleCommand(QStringList{"dorvan-console"} + arguments);
        QCOMPARE(int(command.action), action);
        QCOMPARE(command.action == ConsoleCommand::Action::Init ? command.initDir : command.workDir, dir);
        QCOMPARE(command.error.isEmpty(), action != int(ConsoleCommand::Action::Usage));
    }

    // A directory never prepared is refused with the setup command; one that
    // holds part of the directories starts (its loaders report the rest).
    void startNeedsAPreparedDirectory_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<bool>("fromOption");
        QTest::addColumn<QString>("advice"); // empty: the start goes on
        QTest::newRow("menu start in an unprepared home") << QStringList{".config"} << false
                                                         << "dorvan-console --init КАТАЛОГ --save-config";
        QTest::newRow("--workdir on an unprepared directory") << QStringList{} << true
                                                              << "dorvan-console --init <dir>";
        QTest::newRow("missing directory") << QStringList{"-"} << true << "dorvan-console --init <dir>";
        QTest::newRow("only QReport") << QStringList{"QReport"} << true << "";
        QTest::newRow("prepared") << QStringList{"data", "Dorvan301DK", "Dorvan302DK", "Dorvan301DK_mess",
                                                 "Dorvan302DK_mess", "QReport"}
                                  << false << "";
    }
    void startNeedsAPreparedDirectory()
    {
        QFETCH(QStringList, present);
        QFETCH(bool, fromOption);
        QFETCH(QString, advice);
        QTemporaryDir root;
        const QString dir = root.filePath(QStringLiteral("post"));
        if (present != QStringList{"-"}) {
            QVERIFY(QDir().mkpath(dir));
            for (const QString &name : present)
                QVERIFY(QDir(dir).mkdir(name));
        }
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root.path()));
        if (!fromOption && present != QStringList{"-"})
            QVERIFY(QDir::setCurrent(dir));
        if (!advice.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("dorvan-console --init")));
        const StartPlace place = enterWorkDir(fromOption ? dir : QString(),
                                              {root.filePath(QStringLiteral("none")), root.filePath(QStringLiteral("none")), {}});
        QDir::setCurrent(before);
        advice.replace(QStringLiteral("<dir>"), dir);
        QVERIFY2(advice.isEmpty() ? place.refusal.isEmpty() : place.refusal.endsWith(advice),
                 qPrintable(place.refusal));
        QCOMPARE(place.workDir.isEmpty(), !advice.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWorkDirConfig)
#include "test_workdirconfig.moc"
