#include "link/qtserialline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

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

QtSerialLine::OpenProblem QtSerialLine::classifyOpen(bool deviceExists, bool mayReadWrite,
                                                    QSerialPort::SerialPortError error)
{
    if (!deviceExists || error == QSerialPort::DeviceNotFoundError)
        return OpenProblem::NoDevice;
    if (!mayReadWrite)
        return OpenProblem::NoPermission;
    switch (error) {
    case QSerialPort::NoError: return OpenProblem::None;
    // EBUSY (exclusive mode), EPERM, or the lock file of another program.
    case QSerialPort::PermissionError: return OpenProblem::Busy;
    case QSerialPort::UnsupportedOperationError: return OpenProblem::NotASerialPort;
    default: break;
    }
    return OpenProblem::Other;
}

QString QtSerialLine::openFailureText(OpenProblem problem, const QString &portName, const QString &device,
                                      const QString &detail)
{
    QString text;
    switch (problem) {
    case OpenProblem::None: return {};
    case OpenProblem::NoDevice:
        text = QStringLiteral("%1: нет устройства %2: подключите адаптер RS-485 или привяжите его ссылкой "
                              "ports/%1 в рабочем каталоге")
                   .arg(portName, device);
        break;
    case OpenProblem::NoPermission: {
        const passwd *user = ::getpwuid(::geteuid());
        text = QStringLiteral("%1: нет прав на %2: добавьте пользователя в группу dialout "
                              "(sudo adduser %3 dialout) и войдите в систему заново")
                   .arg(portName, device,
                        user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("<пользователь>"));
        break;
    }
    case OpenProblem::Busy:
        text = QStringLiteral("%1: %2 занят другой программой: закройте её (её покажет команда fuser -v %2)")
                   .arg(portName, device);
        break;
    case OpenProblem::NotASerialPort:
        text = QStringLiteral("%1: %2 не настраивается как последовательный порт: проверьте, что ports/%1 "
                              "указывает на адаптер RS-485")
                   .arg(portName, device);
        break;
    case OpenProblem::Other: text = QStringLiteral("%1: %2 не открывается").arg(portName, device); break;
    }
    if (!detail.isEmpty())
        text += QStringLiteral(" (") + detail + u')';
    return text;
}

bool QtSerialLine::fail(const QString &portName, const QString &device, OpenProblem problem, const QString &detail)
{
    QString name = portName;
    if (name.startsWith(QLatin1String("//./")))
        name.remove(0, 4);
    failure_ = openFailureText(problem, name, device.isEmpty() ? name : device, detail);
    return false;
}

bool QtSerialLine::open(const QString &portName, int baudRate)
{
    close();
    failure_.clear();
    const QString path = devicePath(workDir_ ? workDir_() : QString(), portName);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return fail(portName, path, OpenProblem::NoDevice);
    ++generation_;
    failed_ = false;
    port_.setPortName(path);
    if (!port_.open(QIODevice::ReadWrite)) {
        const bool mayReadWrite = ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0 || errno != EACCES;
        return fail(portName, path, classifyOpen(true, mayReadWrite, port_.error()), port_.errorString());
    }
    const bool configured = port_.setBaudRate(baudRate) && port_.setDataBits(QSerialPort::Data8)
                            && port_.setParity(QSerialPort::NoParity)
                            && port_.setStopBits(QSerialPort::OneStop)
                            && port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const QString detail = port_.errorString();
        close();
        return fail(portName, path, OpenProblem::NotASerialPort, detail);
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
