#include "link/link.h"

#include "base/log.h"
#include "base/russian.h"

namespace dorvan {

Link::Link(ConsoleContext &context, SensorTable &table, PortChoice &port, TextGridModel &sensorGrid,
           TextGridModel &comGrid, Captions &captions, EventLog &events, AlarmList &alarms,
           SerialLine &line, QObject *parent)
    : QObject(parent), context_(context), table_(table), port_(port), sensorGrid_(sensorGrid),
      comGrid_(comGrid), captions_(captions), events_(events), alarms_(alarms), line_(line)
{
    for (const char *label : {"N_tr_byte", "N_tr_frame", "N_rv_byte", "N_rv_frame", "KS_ERR"})
        captions_.set(QString::fromLatin1(label), QStringLiteral("----"));
}

QString Link::portDeviceName(int portNumber)
{
    // Ports above 9 need the device namespace prefix on Windows; the serial
    // layer strips it again.
    return portNumber <= 9 ? QStringLiteral("COM%1").arg(portNumber)
                           : QStringLiteral("//./COM%1").arg(portNumber);
}

void Link::setTimers(bool timer1, bool timerRv)
{
    if (timer1 == timer1Enabled_ && timerRv == timerRvEnabled_)
        return;
    timer1Enabled_ = timer1;
    timerRvEnabled_ = timerRv;
    emit timersChanged();
}

int Link::Open_port(int portNumber)
{
    if (halted_)
        return 0;
    portTried_ = true;
    if (!line_.open(portDeviceName(portNumber), port_.baudRate())) {
        logOpenOutcome(portNumber, false);
        setTimers(false, false);
        markLineLost();
        return 0;
    }
    captions_.set(Captions::panel(3), port_.baudRate() == 19200
                                          ? QStringLiteral("Скорость: 19200 Бит/сек")
                                          : QStringLiteral("Скорость: 9600 Бит/сек"));
    logOpenOutcome(portNumber, true);
    // A request sent before the reopen is not to be judged a time-out.
    replyPending_ = 0;
    captions_.set(Captions::panel(4), QString());
    setTimers(timer1Enabled_, true);
    setTimers(true, true);
    return 1;
}

int Link::reopen()
{
    // The receiver stops first so that no read runs on a closed port.
    setTimers(timer1Enabled_, false);
    if (portTried_)
        line_.close();
    return Open_port(port_.portNumber());
}

// Why the port does not open goes to the log once per change of reason, not
// at every retry.
void Link::logOpenOutcome(int portNumber, bool opened)
{
    const QString failure = opened ? QString() : line_.openFailure();
    if (failure == lastOpenFailure_)
        return;
    if (!failure.isEmpty())
        qCWarning(lcLine).noquote() << failure;
    else if (opened)
        qCInfo(lcLine).noquote() << QStringLiteral("COM%1 открыт").arg(portNumber);
    lastOpenFailure_ = failure;
}

void Link::showPortState(bool opened)
{
    captions_.set(Captions::panel(2), port_.portText() + (opened ? QStringLiteral(" включён")
                                                                 : QStringLiteral(" выключен")));
}

void Link::Reopen_port()
{
    // The status bar follows the port here too, so that it never says
    // " включён" of an adapter that has been unplugged.
    showPortState(reopen() == 1);
}

void Link::ComboBox1Click()
{
    showPortState(reopen() == 1);
}

void Link::closePort()
{
    // The end of the run: nothing may poll or read a closed port any more.
    setTimers(false, false);
    if (portTried_)
        line_.close();
}

void Link::halt()
{
    halted_ = true;
    setTimers(false, false);
}

void Link::Timer2Timer()
{
    if (halted_)
        return;
    const QDateTime now = context_.clock.now();
    captions_.set(QStringLiteral("Label6"),
                  u' ' + ru::shortDate(now.date()) + u' ' + ru::longTime(now.time()));
    captions_.set(QStringLiteral("Label5"), ru::dayOfWeekText(now.date()));
    ++timer2Tag_;
    // The port is closed and reopened every fourth second whether or not it
    // works: after a failed open this is the only retry.
    if (timer2Tag_ % 4 == 0)
        Reopen_port();
}

} // namespace dorvan
