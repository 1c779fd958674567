#pragma once

// Runs the real dorvan-console against the real dorvan-sim in a temporary
// working directory and reads back the files the console writes. Waits are
// polls of file contents against a deadline, never fixed sleeps.

#include "base/cp1251.h"
#include "events/eventrecord.h"
#include "sensors/sensorrecord.h"
#include "testfiles.h"
#include "workdir.h"

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <functional>

namespace dorvan::e2e {

struct StoredEvent
{
    int code = -1;
    qint32 address = 0;
    QString text;
};

struct Stored
{
    quint32 address = 0;
    qint16 model = 0;
    bool armed1 = false;
    bool armed2 = false;
    float dc1 = 0;
    float dc2 = 0;
};

inline QString binDir()
{
    const QString fromEnv = qEnvironmentVariable("DORVAN_BIN_DIR");
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../bin") : fromEnv;
}

// Polls `done` until it holds or the deadline passes; the event loop runs
// meanwhile, so the processes' pipes are served.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

class ConsoleRun
{
public:
    ConsoleRun() : startDate_(QDate::currentDate()) {}
    ~ConsoleRun()
    {
        for (QProcess *process : {&console_, &sim_}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }

    QString path() const { return dir_.path(); }
    QString file(const QString &relative) const { return dir_.file(relative); }

    // data/hw.dat with the sensors in slots 0 on, port COM1 and the default
    // password, and each sensor's file holding the record a normal shutdown leaves.
    void storeSensors(const QList<Stored> &sensors)
    {
        QByteArray settings;
        for (int slot = 0; slot < 32; ++slot) {
            const Stored sensor = slot < sensors.size() ? sensors[slot] : Stored{};
            appendRaw(settings, sensor.address);
            appendRaw(settings, sensor.model);
        }
        appendRaw(settings, qint16(0));
        appendRaw(settings, qint32(482915));
        writeFile(QStringLiteral("data/hw.dat"), settings);
        for (int slot = 0; slot < sensors.size(); ++slot) {
            SensorRecord record;
            record.address = sensors[slot].address;
            record.model = sensors[slot].model;
            record.position = qint16(slot);
            record.connectedAt = 46000.5;
            record.armed1 = sensors[slot].armed1;
            record.armed2 = sensors[slot].armed2;
            record.state = 15;
            record.alarm1 = record.alarm2 = 1;
            record.thresholdDc1 = sensors[slot].dc1;
            record.thresholdDc2 = sensors[slot].dc2;
            writeFile(sensorFile(sensors[slot].address, sensors[slot].model),
                      test::bytesOf(record));
        }
        writeFile(QStringLiteral("data/chop.dat"), test::operatorRecord(toCp1251(QStringLiteral("Петров"))));
    }

    static QString sensorFile(quint32 address, int model)
    {
        return (model == 0 ? QStringLiteral("Dorvan301DK/") : QStringLiteral("Dorvan302DK/")) + QString::number(address);
    }

    // The simulator on ports/COM1, logging requests; true once the link is there.
    bool startSimulator(const QStringList &sensorSpecs)
    {
        QStringList args{QStringLiteral("--workdir"), path(), QStringLiteral("--log-file"), file(QStringLiteral("sim.log"))};
        for (const QString &sensorText : sensorSpecs)
            args << QStringLiteral("--sensor") << sensorText;
        sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim_.start(binDir() + QStringLiteral("/dorvan-sim"), args);
        if (!sim_.waitForStarted(5000))
            return false;
        return waitUntil([this] { return QFileInfo(file(QStringLiteral("ports/COM1"))).isSymLink(); }, 5000);
    }

    void simCommand(const QString &line) { sim_.write((line + u'\n').toUtf8()); }

    bool startConsole(QProcess::ProcessChannelMode mode = QProcess::ForwardedChannels,
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        console_.setWorkingDirectory(path());
        console_.setProcessEnvironment(environment);
        console_.setProcessChannelMode(mode);
        // Named, so that the configuration file of whoever runs the tests
        // cannot send the console elsewhere.
        console_.start(binDir() + QStringLiteral("/dorvan-console"), {QStringLiteral("--workdir"), path()});
        return console_.waitForStarted(5000);
    }
    QProcess &console() { return console_; }
    // SIGTERM to the console: empty once it has ended within timeoutMs,
    // normally and with status 0; else what went wrong.
    QString endByTerm(int timeoutMs = 10000)
    {
        console_.terminate();
        if (!console_.waitForFinished(timeoutMs))
            return QStringLiteral("no exit after SIGTERM");
        if (console_.exitStatus() != QProcess::NormalExit || console_.exitCode() != 0)
            return QStringLiteral("exit code %1").arg(console_.exitCode());
        return QString();
    }
    QProcess &simulator() { return sim_; }

    // The requests the simulator logged: "addr=1001 poll", "addr=1001 set-dc-m0 dc=100", ...
    QStringList requests() const
    {
        QStringList found;
        QFile log(file(QStringLiteral("sim.log")));
        if (!log.open(QIODevice::ReadOnly))
            return found;
        for (const QByteArray &line : log.readAll().split('\n')) {
            const QString text = QString::fromUtf8(line);
            const qsizetype at = text.indexOf(QLatin1String(" req "));
            if (at >= 0)
                found.append(text.mid(at + 5));
        }
        return found;
    }
    QStringList requestsTo(quint32 address) const
    {
        return requests().filter(QRegularExpression(QStringLiteral("^addr=%1 ").arg(address)));
    }

    // Every event of the daily files written since the run began (the
    // date may change during a test run that crosses midnight).
    QList<StoredEvent> dailyEvents() const
    {
        QList<StoredEvent> events;
        for (QDate day = startDate_; day <= QDate::currentDate(); day = day.addDays(1))
            events += readEvents(file(QStringLiteral("QReport/") + day.toString(QStringLiteral("dd.MM.yyyy"))));
        return events;
    }

    // The last event of the daily files is the console's own exit.
    bool endedWithExitEvent() const
    {
        const QList<StoredEvent> events = dailyEvents();
        return !events.isEmpty() && events.last().code == 20
               && events.last().text == QStringLiteral("Выход из программы");
    }

    bool hasEvent(int code, const QString &text) const
    {
        for (const StoredEvent &event : dailyEvents()) {
            if (event.code == code && event.text == text)
                return true;
        }
        return false;
    }

    static QList<StoredEvent> readEvents(const QString &path)
    {
        QList<StoredEvent> events;
        for (const EventRecord &record : test::readEvents(path))
            events.append({record.code, record.address, fromCp1251Field(record.text, sizeof record.text)});
        return events;
    }

    QByteArray read(const QString &relative) const
    {
        return test::readAll(file(relative));
    }

private:
    template <typename T>
    static void appendRaw(QByteArray &bytes, T value)
    {
        bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    }
    void writeFile(const QString &relative, const QByteArray &bytes) const
    {
        QFile f(file(relative));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }

    test::WorkDir dir_;
    QDate startDate_;
    QProcess sim_;
    QProcess console_;
};

} // namespace dorvan::e2e
