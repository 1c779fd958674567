// The Qt serial line against real pseudo-terminals bound through ports/COMn.

#include "test_link_rig.h"

#include "link/qtserialline.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace dorvan;
using namespace dorvan::test;

namespace {

// The far end of the line: the master side of a pseudo-terminal.
class Pty
{
public:
    Pty()
    {
        char name[256] = {};
        int slave = -1;
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
            return;
        termios raw{};
        ::tcgetattr(master_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        // The port opens its own descriptor; ours would keep the line alive.
        ::close(slave);
        slavePath_ = QString::fromLocal8Bit(name);
    }
    ~Pty() { closeMaster(); }

    bool ok() const { return master_ >= 0 && !slavePath_.isEmpty(); }
    QString slavePath() const { return slavePath_; }
    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    bool send(const QByteArray &bytes)
    {
        return ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // What the console wrote, waiting for the kernel to pass it on.
    QByteArray receive(int count)
    {
        QByteArray got;
        QDeadlineTimer deadline(3000);
        while (got.size() < count && !deadline.hasExpired()) {
            pollfd descriptor{master_, POLLIN, 0};
            if (::poll(&descriptor, 1, 50) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
        return got;
    }

private:
    int master_ = -1;
    QString slavePath_;
};

bool bind(const WorkDir &dir, int port, const QString &target)
{
    QDir(dir.path()).mkpath(QStringLiteral("ports"));
    const QString link = dir.file(QStringLiteral("ports/COM%1").arg(port));
    QFile::remove(link);
    return QFile::link(target, link);
}

// Reads what the line delivers, waiting for the kernel to pass it on.
QByteArray readFrom(QtSerialLine &line, int count)
{
    QByteArray got;
    QDeadlineTimer deadline(3000);
    while (got.size() < count && !deadline.hasExpired()) {
        quint8 byte = 0;
        if (line.readByte(byte))
            got.append(char(byte));
    }
    return got;
}

bool roundTrip(QtSerialLine &line, Pty &pty)
{
    for (char c : QByteArray("\xB6\x49\x16"))
        if (!line.writeByte(quint8(c)))
            return false;
    if (pty.receive(3) != QByteArray("\xB6\x49\x16"))
        return false;
    const QByteArray answer("\xB9\x46\x00\xFF", 4);
    return pty.send(answer) && readFrom(line, 4) == answer;
}

} // namespace

class TestQtSerialLine : public QObject
{
    Q_OBJECT

private slots:
    void windowsNamesMapToDevices()
    {
        WorkDir dir;
        QVERIFY(bind(dir, 3, QStringLiteral("/dev/ttyUSB7")));
        QVERIFY(bind(dir, 12, QStringLiteral("/nonexistent/adapter")));
        const auto path = [&](const char *name) {
            return QtSerialLine::devicePath(dir.path(), QString::fromLatin1(name));
        };
        QCOMPARE(path("COM1"), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(path("//./COM10"), QStringLiteral("/dev/ttyS9"));
        QCOMPARE(path("COM3"), QStringLiteral("/dev/ttyUSB7"));
        // A dangling link is still the binding.
        QCOMPARE(path("//./COM12"), QStringLiteral("/nonexistent/adapter"));
        QCOMPARE(path("LPT1"), QString());
        QCOMPARE(path("COM0"), QString());
    }

    void bytesBothWaysAndReopen()
    {
        WorkDir dir;
        Pty pty;
        QVERIFY(pty.ok());
        QVERIFY(bind(dir, 1, pty.slavePath()));
        QtSerialLine line([&dir] { return dir.path(); });
        QVERIFY(line.open(QStringLiteral("COM1"), 19200));
        QVERIFY(roundTrip(line, pty));
        quint8 byte = 0;
        QVERIFY(!line.readByte(byte));

        line.close();
        QVERIFY(!line.isOpen());
        QVERIFY(!line.writeByte(1));
        QVERIFY(line.open(QStringLiteral("COM1"), 9600));
        QVERIFY(roundTrip(line, pty));
    }

    void farEndClosedClosesThePort()
    {
        WorkDir dir;
        Pty pty;
        QVERIFY(pty.ok());
        QVERIFY(bind(dir, 1, pty.slavePath()));
        QtSerialLine line(dir.path());
        QVERIFY(line.open(QStringLiteral("COM1"), 19200));
        pty.closeMaster();
        quint8 byte = 0;
        QVERIFY(!line.readByte(byte));
        QVERIFY(!line.isOpen());
        QVERIFY(!line.writeByte(0x55));

        // A new terminal behind the same name is picked up by the next open.
        Pty next;
        QVERIFY(next.ok());
        QVERIFY(bind(dir, 1, next.slavePath()));
        QVERIFY(line.open(QStringLiteral("COM1"), 19200));
        QVERIFY(roundTrip(line, next));
    }

    void farEndClosedWhileTheEventLoopRuns()
    {
        WorkDir dir;
        Pty pty;
        QVERIFY(pty.ok());
        QVERIFY(bind(dir, 1, pty.slavePath()));
        QtSerialLine line(dir.path());
        QVERIFY(line.open(QStringLiteral("COM1"), 19200));
        pty.closeMaster();
        // Qt's own read notifier meets the error first; the port must close
        // instead of spinning on it.
        QDeadlineTimer deadline(3000);
        while (line.isOpen() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QVERIFY(!line.isOpen());
    }

    void openFailureNamesTheReasonAndItsFix_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("mayReadWrite");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("problem");
        QTest::addColumn<QString>("fix");
        using P = QtSerialLine::OpenProblem;
        QTest::newRow("unplugged") << false << true << int(QSerialPort::NoError) << int(P::NoDevice) << "ports/COM1";
        QTest::newRow("gone while opening") << true << true << int(QSerialPort::DeviceNotFoundError)
                                            << int(P::NoDevice) << "ports/COM1";
        QTest::newRow("not in dialout") << true << false << int(QSerialPort::PermissionError)
                                        << int(P::NoPermission) << "dialout";
        QTest::newRow("exclusive or locked") << true << true << int(QSerialPort::PermissionError)
                                             << int(P::Busy) << "fuser -v /dev/ttyUSB0";
        QTest::newRow("not a tty") << true << true << int(QSerialPort::UnsupportedOperationError)
                                   << int(P::NotASerialPort) << "ports/COM1";
        QTest::newRow("other") << true << true << int(QSerialPort::UnknownError) << int(P::Other) << "(why)";
    }
    void openFailureNamesTheReasonAndItsFix()
    {
        QFETCH(bool, exists);
        QFETCH(bool, mayReadWrite);
        QFETCH(int, error);
        QFETCH(int, problem);
        QFETCH(QString, fix);
        const auto found = QtSerialLine::classifyOpen(exists, mayReadWrite, QSerialPort::SerialPortError(error));
        QCOMPARE(int(found), problem);
        const QString text = QtSerialLine::openFailureText(found, QStringLiteral("COM1"),
                                                           QStringLiteral("/dev/ttyUSB0"), QStringLiteral("why"));
        QVERIFY2(text.startsWith(QStringLiteral("COM1: ")) && text.contains(QStringLiteral("/dev/ttyUSB0"))
                     && text.contains(fix),
                 qPrintable(text));
    }

    // The reason is logged once, not at every retry.
    void unopenablePortStopsTheLinkAndLogsWhyOnce_data()
    {
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<QString>("target"); // of ports/COMn; empty: none
        QTest::addColumn<QString>("reason");
        QTest::newRow("dangling link") << 0 << "gone" << "нет устройства";
        QTest::newRow("missing device") << 69 << "" << "нет устройства /dev/ttyS69";
        QTest::newRow("not a serial port") << 1 << "/dev/null" << "не настраивается";
    }
    void unopenablePortStopsTheLinkAndLogsWhyOnce()
    {
        QFETCH(int, portIndex);
        QFETCH(QString, target);
        QFETCH(QString, reason);
        LinkRig rig;
        if (!target.isEmpty())
            QVERIFY(bind(rig.dir, portIndex + 1,
                         target.startsWith(u'/') ? target : rig.dir.file(target)));
        rig.port.portIndex = portIndex;
        QtSerialLine line(rig.dir.path());
        const std::unique_ptr<Link> owned = rig.linkOn(line);
        Link &link = *owned;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(reason)));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QCOMPARE(link.Open_port(rig.port.portNumber()), 0);
        QVERIFY(!link.timer1Enabled() && !link.timerRvEnabled());
        QCOMPARE(link.Open_port(rig.port.portNumber()), 0);
        QVERIFY(rig.prompter.shown.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestQtSerialLine)
#include "test_qtserialline.moc"
