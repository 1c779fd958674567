#pragma once

#include "linereader.h"
#include "ptylink.h"
#include "simcommands.h"
#include "simprotocol.h"

#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace dorvan::sim {

struct SimOptions
{
    QString workDir;          // empty: only print the slave's path
    int port = 1;
    QList<SimSensor> sensors;
    bool logRequests = false;
    QString logPath;          // empty: the log goes to standard error
    QString scriptPath;
    QString commandFifo;
    int replyDelayMs = 0;
    qint64 watchPid = 0;      // end when this process is gone
    QString statsPath;        // the counters are written here at "stats" and at the end
    bool prompt = false;      // standard input is a terminal
};

// The simulator program: the sensor line on a pseudo-terminal, driven by
// commands from standard input, a FIFO and a scenario file.
class Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Simulator(QObject *parent = nullptr);
    ~Simulator() override;

    bool start(const SimOptions &options, QString *error);
    // Runs one command line; returns false when it asks the program to end.
    bool runCommand(const QString &line);

signals:
    void quitRequested();

private:
    CommandResult perform(const QString &line);
    bool openLog(const QString &path, QString *error);
    void bytesReceived(const QByteArray &bytes);
    void serve(const Request &request);
    void send(const QByteArray &wire);
    void logLine(qint64 micros, const QString &text);
    void print(const QString &text);
    void showPrompt();
    bool loadScript(const QString &path, QString *error);
    void playScript();
    void stdinClosed();
    void checkWatchedProcess();
    void writeStats();
    void replug();

    SimOptions options_;
    SensorLine line_;
    CommandInterpreter commands_{line_};
    RequestParser parser_;
    PtyLink pty_;
    QFile logFile_;
    bool logging_ = false;
    QStringList script_;
    qsizetype scriptPos_ = 0;
    QTimer scriptTimer_;
    QTimer watchTimer_;
};

// Monotonic time in microseconds, the time base of the request log.
qint64 monotonicMicros();

} // namespace dorvan::sim
