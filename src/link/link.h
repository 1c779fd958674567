#pragma once

#include "base/captions.h"
#include "base/context.h"
#include "events/alarmlist.h"
#include "events/eventlog.h"
#include "grid/textgridmodel.h"
#include "link/frames.h"
#include "link/serialline.h"
#include "sensors/sensortable.h"

#include <QObject>

namespace dorvan {

// The sensor line: the port and its timers, the transmitter, the receiver,
// the polling cycle, the link statistics and the reply decoder.
class Link : public QObject
{
    Q_OBJECT

public:
    Link(ConsoleContext &context, SensorTable &table, PortChoice &port, TextGridModel &sensorGrid,
         TextGridModel &comGrid, Captions &captions, EventLog &events, AlarmList &alarms,
         SerialLine &line, QObject *parent = nullptr);

    // The port.
    int Open_port(int portNumber);
    void Reopen_port();
    void ComboBox1Click();
    void closePort();
    bool timer1Enabled() const { return timer1Enabled_; }
    bool timerRvEnabled() const { return timerRvEnabled_; }

    // The three timers of the main window.
    void Timer1Timer();
    void TimerRvTimer();
    void Timer2Timer();

    int Send_Cmd1(const quint8 *data, quint16 length);

    // After a connection: the receiver waits for a new frame, polling starts at slot 0.
    void restartPolling();
    // Statistics of the page "Диагностика".
    void Button2Click();
    void clearSlotStats(int slot);
    void showConnectedSlotStats(int slot);
    void showStoredSlotStats(int slot);

signals:
    void timersChanged();

private:
    ConsoleContext &context_;
    SensorTable &table_;
    PortChoice &port_;
    TextGridModel &sensorGrid_;
    TextGridModel &comGrid_;
    Captions &captions_;
    EventLog &events_;
    AlarmList &alarms_;
    SerialLine &line_;
    bool timer1Enabled_ = false;
    bool timerRvEnabled_ = false;
};

} // namespace dorvan
