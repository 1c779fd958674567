#pragma once

#include "base/alarmsound.h"
#include "base/captions.h"
#include "base/consoleheartbeat.h"
#include "base/context.h"
#include "base/faultboxes.h"
#include "base/consoleheartbeat.h"
#include "console/loggedprompter.h"
#include "console/report.h"
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
    void Refresh_row(int slot);
    void showSensorCount();

    // The close query: asks "Завершить работу ?"; on Yes shuts down and asks
    // the window to close. Returns true when the console shut down.
    bool closeQuery();
    // The shutdown steps without the question (also for SIGTERM). Nothing is
    // polled or decoded once they have begun, and no failure waits for the
    // operator. Before start-up has loaded the files there is nothing to save.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

    // Arming and disarming of loop 1 or 2 of a slot; nothing goes on the line.
    void setLoopGuard(int slot, int loop, bool arm);
    // The alarm window's disarm by a typed address.
    void disarmByAddress(const QString &typedAddress, int loop);

    quint32 rowColor(int slot) const { return sensorRows.colour(slot); }
    // Sets a sensor row's colour; the grid repaints when it changed.
    void setRowColor(int slot, quint32 colour);
    QString sensorCell(SensorColumn column, int slot) const { return sensorRows.text(slot, column); }

    LoggedPrompter operatorBoxes; // the operator's boxes are logged on their way
    FaultBoxes faults;       // the faults of the files and the line wait here
    ConsoleContext ctx;
    PortChoice port;
    SensorTable table;
    TextGridModel StringGrid1;   // sensor grid, row = slot + 1
    TextGridModel StringGridCOM; // diagnostics grid
    Captions captions;
    HardwareSettings hardware;
    SensorFiles sensorFiles;
    OperatorList operators;
    EventLog events;
    AlarmList alarms;
    SensorGridRows sensorRows; // the rows of StringGrid1
    ConsoleEvents eventSink;   // what the line tells: events and alarms
    Link link;
    Report report;
    ConsoleHeartbeat heartbeat; // the main window starts it once the console is up
    // Signal trends, kept only when the program asks for them before start-up.
    TrendRecorder trends;
    bool recordTrends = false;

    int selectedRow = 0; // 1..32 once the operator selected a cell
    double startTime = 0;

signals:
    // The window is to close: the console has shut down.
    void quitRequested();

private:
    void layOutGrids();
    void logWork(const QString &text);

    bool started_ = false;
    bool shutDown_ = false;
};

} // namespace dorvan
