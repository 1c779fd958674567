#pragma once

#include "base/alarmsound.h"
#include "base/captions.h"
#include "base/context.h"
#include "base/faultboxes.h"
#include "base/consoleheartbeat.h"
#include "console/loggedprompter.h"
#include "console/sensorcommands.h"
#include "events/alarmlist.h"
#include "events/eventlog.h"
#include "events/reportpager.h"
#include "grid/textgridmodel.h"
#include "link/link.h"
#include "link/serialline.h"
#include "sensors/sensortable.h"
#include "sensors/settingsfiles.h"
#include "trends/trendrecorder.h"

#include <QObject>

namespace dorvan {

// The parts the console is made of, for the main window, which hands each
// window and command the parts it uses, and for the tests' fixture.
struct ConsoleParts
{
    ConsoleContext &ctx;
    PortChoice &port;
    SensorTable &table;
    SensorSelection &selection;
    TextGridModel &sensorGrid;      // StringGrid1, row = slot + 1
    TextGridModel &diagnosticsGrid; // StringGridCOM
    Captions &captions;
    HardwareSettings &hardware;
    SensorFiles &sensorFiles;
    OperatorList &operators;
    EventLog &events;
    AlarmList &alarms;
    Link &link;
    SensorCommands &sensorCommands;
    ReportPager &report;
    FaultBoxes &faults;
};

// The whole console, built from its parts in their order and wired: the
// sensor table, its files, the line, the events and the grids the windows
// show. The main window owns one, starts it and stops it; tests drive it
// directly with fakes.
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
    // The line's timers and the heartbeat run from now on, once start-up has
    // finished; until then (and in tests) nothing runs by itself.
    void run();

    // The close query: asks "Завершить работу ?"; on Yes shuts down and asks
    // the window to close. Returns true when the console shut down.
    bool closeQuery();
    // The shutdown steps without the question (also for SIGTERM). Nothing is
    // polled or decoded once they have begun, and no failure waits for the
    // operator. Before start-up has loaded the files there is nothing to save.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

    // Signal trends are kept only when asked for before start-up.
    void setRecordTrends(bool record) { recordTrends_ = record; }
    double startTime() const { return startTime_; }
    // For the parts used without start-up, which sets it itself.
    void setWorkDir(const QString &workDir) { ctx_.workDir = workDir; }

    const ConsoleParts &parts() const { return parts_; }

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
    SensorSelection selection_;
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
    ReportPager report_;
    ConsoleHeartbeat heartbeat_; // beats once the console runs
    TrendRecorder trends_;
    const ConsoleParts parts_;
    bool recordTrends_ = false;

    double startTime_ = 0;
    bool started_ = false;
    bool shutDown_ = false;
};

} // namespace dorvan
