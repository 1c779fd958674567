#include "link/lineport.h"

#include "base/log.h"
#include "base/russian.h"

namespace dorvan {

LinePort::LinePort(SerialLine &line, PortChoice &port, Captions &captions, QObject *parent)
    : QObject(parent), line_(line), port_(port), captions_(captions)
{
}

QString LinePort::deviceName(int portNumber)
{
    // Ports above 9 need the device namespace prefix on Windows; the serial
    // layer strips it again.
    return portNumber <= 9 ? QStringLiteral("COM%1").arg(portNumber)
                           : QStringLiteral("//./COM%1").arg(portNumber);
}

void LinePort::setTimers(bool timer1, bool timerRv)
{
    if (timer1 == timer1Enabled_ && timerRv == timerRvEnabled_)
        return;
    timer1Enabled_ = timer1;
    timerRvEnabled_ = timerRv;
    emit timersChanged();
}

bool LinePort::open(int portNumber)
{
    portTried_ = true;
    if (!line_.open(deviceName(portNumber), port_.baudRate())) {
        logOpenOutcome(portNumber, false);
        setTimers(false, false);
        return false;
    }
    captions_.set(Captions::panel(3), port_.baudRate() == 19200
                                          ? QStringLiteral("Скорость: 19200 Бит/сек")
                                          : QStringLiteral("Скорость: 9600 Бит/сек"));
    logOpenOutcome(portNumber, true);
    captions_.set(Captions::panel(4), QString());
    setTimers(timer1Enabled_, true);
    setTimers(true, true);
    return true;
}

void LinePort::closeForReopen()
{
    setTimers(timer1Enabled_, false);
    if (portTried_)
        line_.close();
}

// Why the port does not open goes to the log once per change of reason, not
// at every retry.
void LinePort::logOpenOutcome(int portNumber, bool opened)
{
    const QString failure = opened ? QString() : line_.openFailure();
    if (failure == lastOpenFailure_)
        return;
    if (!failure.isEmpty())
        qCWarning(logCategory(LogArea::Line)).noquote() << failure;
    else if (opened)
        qCInfo(logCategory(LogArea::Line)).noquote() << QStringLiteral("COM%1 открыт").arg(portNumber);
    lastOpenFailure_ = failure;
}

void LinePort::showState(bool opened)
{
    captions_.set(Captions::panel(2), port_.portText() + (opened ? QStringLiteral(" включён")
                                                                 : QStringLiteral(" выключен")));
}

void LinePort::showClock(const QDateTime &now)
{
    captions_.set(QStringLiteral("Label6"),
                  u' ' + ru::shortDate(now.date()) + u' ' + ru::longTime(now.time()));
    captions_.set(QStringLiteral("Label5"), ru::dayOfWeekText(now.date()));
}

void LinePort::close()
{
    setTimers(false, false);
    if (portTried_)
        line_.close();
}

void LinePort::halt()
{
    halted_ = true;
    setTimers(false, false);
}

} // namespace dorvan
