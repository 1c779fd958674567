#include "base/clock.h"
#include "console/console.h"
#include "console/widgets/mainwindow.h"
#include "console/widgets/qtprompter.h"
#include "events/widgets/qtalarmsound.h"
#include "link/qtserialline.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <exception>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end of the self-pipe: a signal handler may only write a byte.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool catchTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return true;
}

// Standard buttons ("Да", "Нет", "Отмена") in Russian, like every other text.
void loadQtTranslations(QApplication &app, QTranslator &translator)
{
    if (translator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dorvan-console"));
    QTranslator translator;
    loadQtTranslations(app, translator);
    const bool signalsCaught = catchTerminationSignals();

    dorvan::SystemClock clock;
    dorvan::QtPrompter prompter;
    const QString workDir = QDir::currentPath();
    dorvan::QtSerialLine line(workDir);
    dorvan::QtAlarmSound sound;
    dorvan::Console console(prompter, clock, line, sound);

    try {
        dorvan::TFmain window(console, workDir);

        // The system's shutdown request runs the shutdown steps without the
        // exit question; the console then asks the window to close.
        std::unique_ptr<QSocketNotifier> signalNotifier;
        if (signalsCaught) {
            signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
            QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &console, [&] {
                char byte = 0;
                [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
                console.shutdown();
                QCoreApplication::quit();
            });
        }

        window.show();
        app.exec();
    } catch (const std::exception &error) {
        prompter.error(QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
