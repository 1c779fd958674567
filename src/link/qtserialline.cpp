#include "link/qtserialline.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <poll.h>

namespace dorvan {

QtSerialLine::QtSerialLine(std::function<QString()> workDir) : workDir_(std::move(workDir))
{
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

QtSerialLine::QtSerialLine(const QString &workDir)
    : QtSerialLine(std::function<QString()>([workDir] { return workDir; }))
{
}

QtSerialLine::~QtSerialLine()
{
    close();
}

QString QtSerialLine::devicePath(const QString &workDir, const QString &portName)
{
    QString name = portName;
    if (name.startsWith(QLatin1String("//./")))
        name.remove(0, 4);
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(name);
    if (!match.hasMatch())
        return {};
    const QFileInfo binding(QDir(workDir).filePath(QStringLiteral("ports/COM") + match.captured(1)));
    // A dangling link is still the binding (adapter unplugged): it is tried
    // again at the next reopen, never replaced by a built-in port.
    if (binding.isSymLink())
        return binding.symLinkTarget();
    return QStringLiteral("/dev/ttyS%1").arg(match.captured(1).toInt() - 1);
}

bool QtSerialLine::open(const QString &portName, int baudRate)
{
    close();
    const QString path = devicePath(workDir_ ? workDir_() : QString(), portName);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    ++generation_;
    failed_ = false;
    port_.setPortName(path);
    if (!port_.open(QIODevice::ReadWrite))
        return false;
    const bool configured = port_.setBaudRate(baudRate) && port_.setDataBits(QSerialPort::Data8)
                            && port_.setParity(QSerialPort::NoParity)
                            && port_.setStopBits(QSerialPort::OneStop)
                            && port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        close();
        return false;
    }
    return true;
}

void QtSerialLine::close()
{
    if (port_.isOpen())
        port_.close();
    failed_ = false;
}

bool QtSerialLine::isOpen() const
{
    return port_.isOpen();
}

void QtSerialLine::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    // A device that went away keeps reporting this error from the event
    // loop at full speed; the port is closed and the periodic reopen brings
    // it back. Inside our own calls closeIfFailed() does it on return.
    failed_ = true;
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        &port_,
        [this, generation] {
            if (generation == generation_)
                closeIfFailed();
        },
        Qt::QueuedConnection);
}

bool QtSerialLine::closeIfFailed()
{
    if (!failed_)
        return false;
    close();
    return true;
}

// Moves what the device holds into the port's buffer without waiting. A
// hang-up with nothing to read is reported as a lost device.
bool QtSerialLine::fillBuffer()
{
    pollfd descriptor{int(port_.handle()), POLLIN, 0};
    if (::poll(&descriptor, 1, 0) <= 0)
        return false;
    if (descriptor.revents & POLLIN)
        return port_.waitForReadyRead(0);
    if (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL))
        failed_ = true;
    return false;
}

bool QtSerialLine::readByte(quint8 &byte)
{
    if (!port_.isOpen())
        return false;
    if (port_.bytesAvailable() == 0)
        fillBuffer();
    if (closeIfFailed())
        return false;
    char c = 0;
    if (!port_.getChar(&c))
        return false;
    byte = quint8(c);
    return true;
}

bool QtSerialLine::writeByte(quint8 byte)
{
    if (!port_.isOpen())
        return false;
    const char c = char(byte);
    const bool written = port_.write(&c, 1) == 1 && port_.flush();
    if (closeIfFailed())
        return false;
    return written;
}

} // namespace dorvan
