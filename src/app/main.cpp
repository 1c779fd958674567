#include "base/clock.h"
#include "base/exceptionedge.h"
#include "base/log.h"
#include "base/signalevents.h"
#include "console/console.h"
#include "console/consolestart.h"
#include "console/widgets/fonts.h"
#include "console/widgets/mainwindow.h"
#include "console/widgets/qtprompter.h"
#include "events/widgets/alarmwindow.h"
#include "sound/qtalarmsound.h"
#include "link/qtserialline.h"
#include "link/statsline.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// The line counters of the page "Диагностика" for a maintainer without the
// window (SIGUSR1, and once more when a signal ends the run).
void writeStatsLine(const dorvan::Console &console)
{
    std::fprintf(stderr, "%s reports_held_back=%lld\n", qPrintable(dorvan::statsLine(console.parts().link)),
                 static_cast<long long>(console.parts().faults.heldBack()));
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
        qCWarning(dorvan::lcConsole,
                  "no qtbase_ru.qm in %s: the file and print dialogs speak English (package qt6-translations-l10n)",
                  qUtf8Printable(directory));
}

// What escapes every handler (a destructor that throws, a noexcept broken)
// ends the process, but first says why in the log.
// SIGTERM, SIGINT and SIGHUP run the shutdown steps without the exit question
// and end the run, at any moment: during start-up too, and while boxes are
// open; before the console exists (a refused start) they just end it.
// SIGUSR1 asks for the counters.
void onSignal(int signal, dorvan::Console *console)
{
    if (signal == SIGUSR1) {
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
    dorvan::installTerminateLog(dorvan::lcConsole);
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
    const dorvan::SignalEvents signalEvents(
        {SIGTERM, SIGINT, SIGHUP, SIGUSR1},
        dorvan::guarded(dorvan::lcConsole, "signal", [&running](int signal) { onSignal(signal, running); }));

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
    dorvan::QtAlarmSound sound([] { QApplication::beep(); });
    dorvan::Console console(prompter, clock, line, sound);
    console.setRecordTrends(true);
    running = &console;
    // The console runs without the lock, but not silently: a box that does
    // not hold up the start.
    if (locked == dorvan::ConsoleLock::Outcome::Unavailable)
        console.parts().faults.error(dorvan::LogArea::Start, lock.unavailableText());

    try {
        dorvan::TFmain window(console, workDir);
        // After the alarm window has come to the front, the open boxes go
        // above it again or out of its way.
        prompter.keepClearOf(window.FormAlarmWindow);
        QObject::connect(&console.parts().alarms, &dorvan::AlarmList::alarmAdded, &console,
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
