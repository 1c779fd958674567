#include "base/clock.h"
#include "base/log.h"
#include "console/console.h"
#include "console/consolestart.h"
#include "console/widgets/fonts.h"
#include "console/widgets/mainwindow.h"
#include "console/widgets/qtprompter.h"
#include "events/widgets/alarmwindow.h"
#include "events/widgets/qtalarmsound.h"
#include "link/qtserialline.h"
#include "link/statsline.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end of the self-pipe: a signal handler may only write a byte,
// here the signal's number, and the event loop does the work.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool catchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        ::sigaction(signal, &action, nullptr);
    return true;
}

// The line counters of the page "Диагностика" for a maintainer without the
// window (SIGUSR1, and once more when a signal ends the run).
void writeStatsLine(const dorvan::Console &console)
{
    std::fprintf(stderr, "%s reports_held_back=%lld\n", qPrintable(dorvan::statsLine(console.link)),
                 static_cast<long long>(console.faults.heldBack()));
    std::fflush(stderr);
}

// Qt's own dialogs (files, printing) in Russian, like every other text. The
// console's boxes name their buttons themselves and need no translation.
void loadQtTranslations(QApplication &app, QTranslator &translator)
{
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"), directory))
        app.installTranslator(&translator);
    else
        qCWarning(dorvan::logCategory(dorvan::LogArea::Console),
                  "no qtbase_ru.qm in %s: the file and print dialogs speak English (package qt6-translations-l10n)",
                  qUtf8Printable(directory));
}

// SIGTERM, SIGINT and SIGHUP run the shutdown steps without the exit question
// and end the run, at any moment: during start-up too, and while boxes are
// open; before the console exists (a refused start) they just end it.
// SIGUSR1 asks for the counters.
void followSignals(QSocketNotifier &notifier, dorvan::Console *const &console)
{
    QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [&console] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) != 1)
            return;
        if (byte == SIGUSR1) {
            if (console)
                writeStatsLine(*console);
            return;
        }
        if (console && !console->isShutDown()) {
            console->shutdown();
            writeStatsLine(*console);
        }
        // exit(), unlike quit(), also ends a box's loop that runs before
        // the main loop (a refused start).
        QCoreApplication::exit(0);
    });
}

// Help, version, a wrong command line and the setup command, on the
// terminal, with no display needed.
int answerOnTerminal(const dorvan::ConsoleCommand &command)
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const dorvan::TerminalContext context{QDir::cleanPath(programDir + QStringLiteral("/" DORVAN_DATA_FROM_BIN)),
                                          QCoreApplication::applicationFilePath(),
                                          QStringLiteral(DORVAN_VERSION),
                                          dorvan::ConfigFiles::fromEnvironment(), QDir::currentPath()};
    QFile standardOutput;
    if (!standardOutput.open(stdout, QIODevice::WriteOnly))
        return 1;
    return dorvan::runTerminalCommand(command, context, standardOutput);
}

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    dorvan::ConsoleCommand command = dorvan::parseConsoleCommand(argumentsOf(argc, argv));
    // Options this parser does not know may be Qt's own (-style), which
    // QApplication takes; everything else is answered without a display.
    if (command.action != dorvan::ConsoleCommand::Action::Run && command.unknownOptions.isEmpty()) {
        QCoreApplication app(argc, argv);
        return answerOnTerminal(command);
    }

    dorvan::installLogFormat();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dorvan-console"));
    QApplication::setApplicationVersion(QStringLiteral(DORVAN_VERSION));
    if (!command.unknownOptions.isEmpty()) {
        command = dorvan::parseConsoleCommand(QCoreApplication::arguments());
        if (command.action != dorvan::ConsoleCommand::Action::Run)
            return answerOnTerminal(command);
    }
    dorvan::useWindowsFonts();
    QTranslator translator;
    loadQtTranslations(app, translator);
    dorvan::QtPrompter prompter;

    dorvan::Console *running = nullptr;
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (catchSignals()) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        followSignals(*signalNotifier, running);
    }

    // Before start-up reads or writes any file: the working directory, and
    // no second console on it.
    const dorvan::StartPlace place = dorvan::enterWorkDir(command.workDir, dorvan::ConfigFiles::fromEnvironment());
    // (Both refusals are logged where they are decided.)
    if (!place.refusal.isEmpty()) {
        prompter.error(place.refusal);
        return 1;
    }
    dorvan::ConsoleLock lock(place.workDir);
    const dorvan::ConsoleLock::Outcome locked = lock.tryLock();
    if (locked == dorvan::ConsoleLock::Outcome::Held) {
        prompter.error(lock.refusalText());
        return 1;
    }

    dorvan::SystemClock clock;
    const QString workDir = place.workDir;
    dorvan::QtSerialLine line(workDir);
    dorvan::QtAlarmSound sound;
    dorvan::Console console(prompter, clock, line, sound);
    console.recordTrends = true;
    running = &console;
    // The console runs without the lock, but not silently: a box that does
    // not hold up the start.
    if (locked == dorvan::ConsoleLock::Outcome::Unavailable)
        console.faults.error(dorvan::LogArea::Files, lock.unavailableText());

    try {
        dorvan::TFmain window(console, workDir);
        // After the alarm window has come to the front, the open boxes go
        // above it again or out of its way.
        prompter.keepClearOf(window.FormAlarmWindow);
        QObject::connect(&console.alarms, &dorvan::AlarmList::alarmAdded, &console,
                         [&prompter] { prompter.raiseOpenBoxes(); });
        window.showOnScreen();
        app.exec();
    } catch (const std::exception &error) {
        const QString text = QString::fromLocal8Bit(error.what());
        dorvan::logBox(dorvan::LogArea::Console, dorvan::Prompter::Icon::Error, QStringLiteral("Ошибка"), text);
        prompter.error(text);
    }
    return 0;
}
