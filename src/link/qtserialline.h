#pragma once

#include "link/serialline.h"

#include <QSerialPort>

#include <functional>

namespace dorvan {

// The serial line on a QSerialPort, without blocking and without needing a
// running event loop: the console's timers drive every read and write.
//
// The Windows port name is mapped to a device: "//./" is stripped; a symbolic
// link ports/COMn in the working directory names the device (this is how an
// operator binds a USB adapter and how tests attach a pseudo-terminal); without
// one, COMn is /dev/ttyS<n-1>. A link whose target is missing is still the
// binding: the open fails and no other device is tried.
class QtSerialLine final : public SerialLine
{
public:
    // The working directory is asked for at every open, since it is only
    // known once start-up has run.
    explicit QtSerialLine(std::function<QString()> workDir);
    explicit QtSerialLine(const QString &workDir);
    ~QtSerialLine() override;

    bool open(const QString &portName, int baudRate) override;
    void close() override;
    bool isOpen() const override;
    bool readByte(quint8 &byte) override;
    bool writeByte(quint8 byte) override;
    QString openFailure() const override { return failure_; }

    // Why an open fails, as far as the operator can act on it.
    enum class OpenProblem { None, NoDevice, NoPermission, Busy, NotASerialPort, Other };
    // From what the open met: whether the device exists, whether this user
    // may read and write it, and the port's error.
    static OpenProblem classifyOpen(bool deviceExists, bool mayReadWrite, QSerialPort::SerialPortError error);
    // The log's text: the port, the device, the reason and its fix.
    static QString openFailureText(OpenProblem problem, const QString &portName, const QString &device,
                                   const QString &detail);

    // The device a Windows port name stands for, or an empty text for a name
    // that is not COMn.
    static QString devicePath(const QString &workDir, const QString &portName);
    QString openedPath() const { return port_.portName(); }

private:
    void onError(QSerialPort::SerialPortError error);
    bool closeIfFailed();
    bool fillBuffer();
    bool fail(const QString &portName, const QString &device, OpenProblem problem, const QString &detail = {});

    std::function<QString()> workDir_;
    QSerialPort port_;
    // Set by a read or resource error; the port is closed as soon as the
    // call that met it returns (closing inside Qt's own read would corrupt
    // its buffer).
    bool failed_ = false;
    quint64 generation_ = 0;
    QString failure_;
};

} // namespace dorvan
