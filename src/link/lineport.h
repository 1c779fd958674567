#pragma once

#include "base/captions.h"
#include "base/context.h"
#include "link/serialline.h"

#include <QObject>

namespace dorvan {

// The port and the two line timers: Timer1 polls, TimerRv drains the port.
// The timers are flags here; the main window runs real timers after them.
class LinePort : public QObject
{
    Q_OBJECT

public:
    LinePort(SerialLine &line, PortChoice &port, Captions &captions, QObject *parent = nullptr);

    // Opens the chosen port; on failure both timers stop.
    bool open(int portNumber);
    // The receiver stops first so that no read runs on a closed port.
    void closeForReopen();
    // The end of the run: nothing may poll or read a closed port any more.
    void close();
    void halt();
    // The status bar's "COMn включён"/"COMn выключен".
    void showState(bool opened);
    // Label6 and Label5: the date, time and day of the week.
    void showClock(const QDateTime &now);

    bool halted() const { return halted_; }
    bool timer1Enabled() const { return timer1Enabled_; }
    bool timerRvEnabled() const { return timerRvEnabled_; }

    // The Windows name Open_port opens for a port number ("COM9", "//./COM10").
    static QString deviceName(int portNumber);

signals:
    void timersChanged();

private:
    void setTimers(bool timer1, bool timerRv);
    void logOpenOutcome(int portNumber, bool opened);

    SerialLine &line_;
    PortChoice &port_;
    Captions &captions_;
    bool timer1Enabled_ = false;
    bool timerRvEnabled_ = false;
    bool portTried_ = false; // the handle is no longer 0
    bool halted_ = false;
    QString lastOpenFailure_; // logged last; empty while the port opens
};

} // namespace dorvan
