// dorvan-sim: simulated Dorvan sensors on a pseudo-terminal, for trying the
// console without an RS-485 line, for its end-to-end tests and for measuring.

#include "base/signalevents.h"
#include "demofiles.h"
#include "simcommands.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace dorvan::sim;

namespace {

const char *description =
    "Simulated Dorvan sensors on one RS-485 line, served on a pseudo-terminal.\n"
    "\n"
    "With --workdir DIR the line is linked as DIR/ports/COM<port>, which the console\n"
    "running in DIR opens as its serial port; without it the terminal's path is printed.\n"
    "Sensors: --sensor ADDR[-LAST]:MODEL[:FLAGS], model 0 (301) or 1 (302), flags\n"
    "trip1, trip2, silent, fault=N; e.g. --sensor 1001:0 --sensor 2001-2031:1:trip2.\n"
    "\n";

struct Parsed
{
    SimOptions options;
    QString makeDemoDir;
};

bool parseArguments(const QCoreApplication &app, Parsed *parsed, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description) + CommandInterpreter::help());
    parser.addHelpOption();
    const QCommandLineOption workDir(QStringLiteral("workdir"), QStringLiteral("Console working directory to link the line into."), QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port number n of ports/COMn (default 1)."), QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption sensor(QStringLiteral("sensor"), QStringLiteral("A simulated sensor (repeatable)."), QStringLiteral("ADDR:MODEL"));
    const QCommandLineOption script(QStringLiteral("script"), QStringLiteral("Play a scenario: one command a line, \"wait MS\" between them."), QStringLiteral("FILE"));
    const QCommandLineOption fifo(QStringLiteral("commands"), QStringLiteral("Also read commands from this FIFO (created if missing)."), QStringLiteral("FIFO"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Log every request with its arrival time (us, monotonic) to standard error."));
    const QCommandLineOption logFile(QStringLiteral("log-file"), QStringLiteral("Log requests to FILE instead (implies --log)."), QStringLiteral("FILE"));
    const QCommandLineOption delay(QStringLiteral("reply-delay"), QStringLiteral("Answer MS milliseconds after a request (default 0)."), QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption watch(QStringLiteral("watch-pid"), QStringLiteral("End when process PID has ended."), QStringLiteral("PID"));
    const QCommandLineOption demo(QStringLiteral("make-demo"), QStringLiteral("Write a console working directory with four connected sensors (1001, 1002 model 0; 2001, 2002 model 1), or those given with --sensor (both loops armed), and exit."), QStringLiteral("DIR"));
    const QCommandLineOption stats(QStringLiteral("stats-file"), QStringLiteral("Write the line's counters (see the command stats) to FILE at \"stats\" and at the end."), QStringLiteral("FILE"));
    parser.addOptions({workDir, port, sensor, script, fifo, log, logFile, delay, watch, demo, stats});
    parser.process(app);

    SimOptions &options = parsed->options;
    bool ok = true;
    options.workDir = parser.value(workDir);
    options.port = parser.value(port).toInt(&ok);
    if (!ok || options.port < 1 || options.port > 70) {
        *error = QStringLiteral("--port takes 1..70");
        return false;
    }
    for (const QString &sensorText : parser.values(sensor)) {
        const QList<SimSensor> sensors = parseSensorSpec(sensorText, error);
        if (sensors.isEmpty())
            return false;
        options.sensors += sensors;
    }
    options.scriptPath = parser.value(script);
    options.commandFifo = parser.value(fifo);
    options.logRequests = parser.isSet(log);
    options.logPath = parser.value(logFile);
    options.replyDelayMs = qMax(0, parser.value(delay).toInt());
    options.watchPid = parser.value(watch).toLongLong();
    options.statsPath = parser.value(stats);
    options.prompt = ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO);
    parsed->makeDemoDir = parser.value(demo);
    return true;
}

// The sensors --make-demo writes: the demo set, or those given with
// --sensor, both loops armed so that every trip is an alarm.
QList<StoredSensor> storedSensors(const QList<SimSensor> &given)
{
    if (given.isEmpty())
        return demoSensors();
    QList<StoredSensor> sensors;
    for (const SimSensor &sensor : given)
        sensors.append({sensor.address, qint16(sensor.model), true, true, 0, 0});
    return sensors;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dorvan-sim"));
    Parsed parsed;
    QString error;
    if (!parseArguments(app, &parsed, &error)) {
        std::fprintf(stderr, "dorvan-sim: %s\n", qPrintable(error));
        return 2;
    }
    if (!parsed.makeDemoDir.isEmpty()) {
        if (!makeWorkDir(parsed.makeDemoDir, storedSensors(parsed.options.sensors), QDateTime::currentDateTime(), &error)) {
            std::fprintf(stderr, "dorvan-sim: %s\n", qPrintable(error));
            return 1;
        }
        return 0;
    }
    // SIGINT, SIGTERM and SIGHUP end the event loop.
    const dorvan::SignalEvents signalEvents({SIGINT, SIGTERM, SIGHUP}, [&app](int) { app.quit(); });
    Simulator simulator;
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!simulator.start(parsed.options, &error)) {
        std::fprintf(stderr, "dorvan-sim: %s\n", qPrintable(error));
        return 1;
    }
    return app.exec();
}
