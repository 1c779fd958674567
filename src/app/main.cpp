#include "base/clock.h"
#include "base/log.h"
#include "console/console.h"
#include "console/widgets/mainwindow.h"
#include "console/widgets/qtprompter.h"
#include "events/widgets/alarmwindow.h"
#include "events/widgets/qtalarmsound.h"
#include "link/qtserialline.h"
#include "link/statsline.h"

#include <QApplication>
#include <QDir>
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
                 static_cast<long long>(console.reports.heldBack()));
    std::fflush(stderr);
}

// Standard buttons ("Да", "Нет", "Отмена") in Russian, like every other text.
void loadQtTranslations(QApplication &app, QTranslator &translator)
{
    if (translator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

// SIGTERM, SIGINT and SIGHUP run the shutdown steps without the exit question
// and end the run, at any moment: during start-up too, and while boxes are
// open. SIGUSR1 asks for the counters.
void followSignals(QSocketNotifier &notifier, dorvan::Console &console)
{
    QObject::connect(&notifier, &QSocketNotifier::activated, &console, [&console] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) != 1)
            return;
        if (byte == SIGUSR1) {
            writeStatsLine(console);
            return;
        }
        if (!console.isShutDown()) {
            console.shutdown();
            writeStatsLine(console);
        }
        QCoreApplication::quit();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    dorvan::installLogFormat();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dorvan-console"));
    QTranslator translator;
    loadQtTranslations(app, translator);
    const bool signalsCaught = catchSignals();

    dorvan::SystemClock clock;
    dorvan::QtPrompter prompter;
    const QString workDir = QDir::currentPath();
    dorvan::QtSerialLine line(workDir);
    dorvan::QtAlarmSound sound;
    dorvan::Console console(prompter, clock, line, sound);

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (signalsCaught) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        followSignals(*signalNotifier, console);
    }

    try {
        dorvan::TFmain window(console, workDir);
        // After the alarm window has come to the front, the open boxes go
        // above it again or out of its way.
        prompter.keepClearOf(window.FormAlarmWindow);
        QObject::connect(&console.alarms, &dorvan::AlarmList::alarmAdded, &console,
                         [&prompter] { prompter.raiseOpenBoxes(); });
        window.show();
        app.exec();
    } catch (const std::exception &error) {
        prompter.error(QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
