#pragma once

#include "base/alarmsound.h"
#include "base/captions.h"
#include "base/context.h"
#include "base/faultboxes.h"
#include "base/consoleheartbeat.h"
#include "console/loggedprompter.h"
#include "console/report.h"
#include "console/sensorcommands.h"
#include "events/alarmlist.h"
#include "events/eventlog.h"
#include "grid/textgridmodel.h"
#include "link/link.h"
#include "link/serialline.h"
#include "sensors/sensortable.h"
#include "sensors/settingsfiles.h"
#include "trends/trendrecorder.h"

#include <QObject>

namespace dorvan {

// The whole console: the sensor table, its files, the line, the events and
// the grids the windows show. The main window owns one and drives it with its
// three timers; tests drive it directly with fakes.
class Console : public QObject
{
    Q_OBJECT

public:
    Console(Prompter &display, Clock &clock, SerialLine &line, AlarmSound &sound,
            QObject *parent = nullptr);

    // Start-up, from the creation of the main window. The faults it meets
    // are reported without waiting, so the line starts at once.
    void FormCreate(const QString &workDir);
    bool isStarted() const { return started_; }

    // The close query: asks "Завершить работу ?"; on Yes shuts down and asks
    // the window to close. Returns true when the console shut down.
    bool closeQuery();
    // The shutdown steps without the question (also for SIGTERM). Nothing is
    // polled or decoded once they have begun, and no failure waits for the
    // operator. Before start-up has loaded the files there is nothing to save.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

    // Connection, disconnection, arming and disarming of the sensors.
    SensorCommands &sensorCommands() { return sensorCommands_; }

    quint32 rowColor(int slot) const { return sensorRows_.colour(slot); }
    QString sensorCell(SensorColumn column, int slot) const { return sensorRows_.text(slot, column); }

    // The row the operator selected, 1..32; 0 before any selection.
    int selectedRow() const { return selectedRow_; }
    void selectRow(int row) { selectedRow_ = row; }
    // Signal trends are kept only when asked for before start-up.
    void setRecordTrends(bool record) { recordTrends_ = record; }
    double startTime() const { return startTime_; }
    // For the parts used without start-up, which sets it itself.
    void setWorkDir(const QString &workDir) { ctx_.workDir = workDir; }

    // The parts of the console, for the windows, the commands and the tests.
    const ConsoleContext &ctx() const { return ctx_; }
    const PortChoice &port() const { return port_; }
    PortChoice &port() { return port_; }
    const SensorTable &table() const { return table_; }
    SensorTable &table() { return table_; }
    const TextGridModel &StringGrid1() const { return StringGrid1_; }
    TextGridModel &StringGrid1() { return StringGrid1_; } // the views show it
    const TextGridModel &StringGridCOM() const { return StringGridCOM_; }
    TextGridModel &StringGridCOM() { return StringGridCOM_; } // the views show it
    const Captions &captions() const { return captions_; }
    Captions &captions() { return captions_; }
    const HardwareSettings &hardware() const { return hardware_; }
    HardwareSettings &hardware() { return hardware_; }
    const SensorFiles &sensorFiles() const { return sensorFiles_; }
    SensorFiles &sensorFiles() { return sensorFiles_; }
    const OperatorList &operators() const { return operators_; }
    OperatorList &operators() { return operators_; }
    const EventLog &events() const { return events_; }
    EventLog &events() { return events_; }
    const AlarmList &alarms() const { return alarms_; }
    AlarmList &alarms() { return alarms_; }
    const Link &link() const { return link_; }
    Link &link() { return link_; }
    const Report &report() const { return report_; }
    Report &report() { return report_; }
    const ConsoleHeartbeat &heartbeat() const { return heartbeat_; }
    ConsoleHeartbeat &heartbeat() { return heartbeat_; }
    const FaultBoxes &faults() const { return faults_; }
    FaultBoxes &faults() { return faults_; }

signals:
    // The window is to close: the console has shut down.
    void quitRequested();

private:
    void layOutGrids();
    void logWork(const QString &text);

    // Declared in the order of construction: each part is built from the
    // ones above it (the context from the boxes, the files and the link from
    // the table, the grids and the context).
    LoggedPrompter operatorBoxes_; // the operator's boxes are logged on their way
    FaultBoxes faults_;       // the faults of the files and the line wait here
    ConsoleContext ctx_;
    PortChoice port_;
    SensorTable table_;
    TextGridModel StringGrid1_;   // sensor grid, row = slot + 1
    TextGridModel StringGridCOM_; // diagnostics grid
    Captions captions_;
    HardwareSettings hardware_;
    SensorFiles sensorFiles_;
    OperatorList operators_;
    EventLog events_;
    AlarmList alarms_;
    SensorGridRows sensorRows_; // the rows of StringGrid1_
    ConsoleEvents eventSink_;   // what the line tells: events and alarms
    Link link_;
    SensorCommands sensorCommands_;
    Report report_;
    ConsoleHeartbeat heartbeat_; // the main window starts it once the console is up
    TrendRecorder trends_;
    bool recordTrends_ = false;

    int selectedRow_ = 0;
    double startTime_ = 0;
    bool started_ = false;
    bool shutDown_ = false;
};

} // namespace dorvan
