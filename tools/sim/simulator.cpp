#include "simulator.h"

#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace dorvan::sim {

qint64 monotonicMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

Simulator::Simulator(QObject *parent) : QObject(parent)
{
    connect(&pty_, &PtyLink::received, this, &Simulator::bytesReceived);
    connect(&pty_, &PtyLink::released, this, [this](const QString &how) {
        print(how);
        logLine(monotonicMicros(), QStringLiteral("line ") + how);
    });
    scriptTimer_.setSingleShot(true);
    connect(&scriptTimer_, &QTimer::timeout, this, &Simulator::playScript);
    watchTimer_.setInterval(300);
    connect(&watchTimer_, &QTimer::timeout, this, &Simulator::checkWatchedProcess);
}

Simulator::~Simulator()
{
    writeStats();
}

bool Simulator::start(const SimOptions &options, QString *error)
{
    options_ = options;
    for (const SimSensor &sensor : options.sensors) {
        if (!line_.add(sensor)) {
            *error = QStringLiteral("sensor %1 given twice").arg(sensor.address);
            return false;
        }
    }
    logging_ = options.logRequests || !options.logPath.isEmpty();
    if (!openLog(options.logPath, error) || !pty_.open(error))
        return false;
    if (!options.scriptPath.isEmpty() && !loadScript(options.scriptPath, error))
        return false;
    QString where = pty_.slavePath();
    if (!options.workDir.isEmpty()) {
        QString link;
        if (!pty_.linkInto(options.workDir, options.port, error, &link))
            return false;
        where = QStringLiteral("%1 -> %2").arg(link, pty_.slavePath());
    }
    print(QStringLiteral("dorvan-sim: sensor line on %1, %2 sensor(s); type help for the commands")
              .arg(where)
              .arg(line_.sensors().size()));

    auto *input = new LineReader(STDIN_FILENO, this);
    connect(input, &LineReader::lineRead, this, [this](const QString &line) {
        if (runCommand(line))
            showPrompt();
    });
    connect(input, &LineReader::endOfInput, this, &Simulator::stdinClosed);
    if (!options.commandFifo.isEmpty()) {
        const int fd = openCommandFifo(options.commandFifo, error);
        if (fd < 0)
            return false;
        auto *fifo = new LineReader(fd, this);
        connect(fifo, &LineReader::lineRead, this, &Simulator::runCommand);
    }
    if (options.watchPid > 0)
        watchTimer_.start();
    if (!script_.isEmpty())
        QTimer::singleShot(0, this, &Simulator::playScript);
    showPrompt();
    return true;
}

bool Simulator::openLog(const QString &path, QString *error)
{
    bool opened = false;
    if (path.isEmpty()) {
        opened = logFile_.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    } else {
        logFile_.setFileName(path);
        opened = logFile_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    if (!opened)
        *error = QStringLiteral("cannot open the log %1: %2").arg(path, logFile_.errorString());
    return opened;
}

bool Simulator::runCommand(const QString &line)
{
    return perform(line).action != CommandAction::Quit;
}

CommandResult Simulator::perform(const QString &line)
{
    const CommandResult result = commands_.execute(line);
    if (!result.output.isEmpty())
        print(result.ok ? result.output : QStringLiteral("error: ") + result.output);
    if (result.ok && result.action != CommandAction::Wait && !line.trimmed().isEmpty())
        logLine(monotonicMicros(), QStringLiteral("cmd %1").arg(line.trimmed()));
    if (result.action == CommandAction::LogOn)
        logging_ = true;
    else if (result.action == CommandAction::LogOff)
        logging_ = false;
    else if (result.action == CommandAction::Quit)
        emit quitRequested();
    else if (result.action == CommandAction::Stats)
        writeStats();
    else if (result.action == CommandAction::Unplug)
        pty_.unplug();
    else if (result.action == CommandAction::Replug)
        replug();
    return result;
}

void Simulator::bytesReceived(const QByteArray &bytes)
{
    const qint64 arrived = monotonicMicros();
    for (const Request &request : parser_.feed(bytes)) {
        const SensorLine::Answer answer = line_.answer(request);
        logLine(arrived, QStringLiteral("req addr=%1 %2 bytes=%3 -> %4")
                             .arg(request.address)
                             .arg(describeRequest(request))
                             .arg(request.wireBytes)
                             .arg(answer.note));
        if (answer.wire.isEmpty())
            continue;
        if (options_.replyDelayMs > 0)
            QTimer::singleShot(options_.replyDelayMs, this, [this, wire = answer.wire] { send(wire); });
        else
            send(answer.wire);
    }
}

void Simulator::send(const QByteArray &wire)
{
    if (!pty_.write(wire))
        ++line_.counters().lostReplies;
}

void Simulator::writeStats()
{
    if (options_.statsPath.isEmpty())
        return;
    QFile file(options_.statsPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write((line_.counters().text() + u'\n').toUtf8());
}

void Simulator::replug()
{
    QString error;
    if (!pty_.replug(&error))
        print(QStringLiteral("error: ") + error);
    else
        print(QStringLiteral("the line is on %1 again").arg(pty_.slavePath()));
}

void Simulator::logLine(qint64 micros, const QString &text)
{
    if (!logging_)
        return;
    logFile_.write(QStringLiteral("%1 %2\n").arg(micros).arg(text).toUtf8());
    logFile_.flush();
}

void Simulator::print(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

void Simulator::showPrompt()
{
    if (!options_.prompt)
        return;
    std::fputs("sim> ", stdout);
    std::fflush(stdout);
}

bool Simulator::loadScript(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read the scenario %1: %2").arg(path, file.errorString());
        return false;
    }
    script_ = QString::fromUtf8(file.readAll()).split(u'\n');
    return true;
}

void Simulator::playScript()
{
    while (scriptPos_ < script_.size()) {
        const QString line = script_[scriptPos_++].section(u'#', 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        if (!line.startsWith(QLatin1String("wait")))
            print(QStringLiteral("[scenario] ") + line);
        const CommandResult result = perform(line);
        if (result.action == CommandAction::Wait) {
            scriptTimer_.start(result.waitMs);
            return;
        }
        if (result.action == CommandAction::Quit)
            return;
    }
}

void Simulator::stdinClosed()
{
    // Ctrl-D at the prompt ends the simulator; a closed pipe or /dev/null
    // (run in the background) leaves it serving the line.
    if (options_.prompt)
        emit quitRequested();
}

void Simulator::checkWatchedProcess()
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(options_.watchPid));
    const bool gone = !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
    if (gone) {
        print(QStringLiteral("dorvan-sim: process %1 has ended, so does the simulator").arg(options_.watchPid));
        emit quitRequested();
    }
}

} // namespace dorvan::sim
