// The simulator on a real pseudo-terminal, opened through the ports/COMn link
// the way the console opens it, including the close and reopen the console
// does every four seconds.

#include "ptylink.h"
#include "simframes.h"
#include "simulator.h"

#include "framevectors.h"
#include "workdir.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace dorvan;
using namespace dorvan::sim;

namespace {

// The console's end: opened through the link, raw, non-blocking.
class Slave
{
public:
    explicit Slave(const QString &path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios settings{};
        if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~Slave()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    // Exclusive mode, as the console's serial port sets it.
    bool makeExclusive() { return ::ioctl(fd_, TIOCEXCL) == 0; }
    bool isExclusive() const
    {
        int exclusive = 0;
        return ::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive;
    }
    bool write(const QByteArray &bytes) { return ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    // What has arrived so far; the caller keeps collecting while the event loop runs.
    QByteArray &collect()
    {
        char buffer[256];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
            received_.append(buffer, n);
        return received_;
    }

private:
    int fd_;
    QByteArray received_;
};

QByteArray pollOf(quint16 address)
{
    using namespace wire;
    return stuffRequest(frame(REQ_SYNC, REQ_MARK, NET_CODE, address, CMD_POLL, QByteArray(1, '\0')));
}

} // namespace

class TestSimPty : public QObject
{
    Q_OBJECT

private slots:
    void linkReplacesAnOldBinding()
    {
        test::WorkDir dir(false);
        QVERIFY(QDir(dir.path()).mkpath("ports"));
        QVERIFY(QFile::link("/dev/null", dir.file("ports/COM3")));
        PtyLink pty;
        QString error;
        QVERIFY2(pty.open(&error), qPrintable(error));
        QVERIFY2(pty.linkInto(dir.path(), 3, &error), qPrintable(error));
        QCOMPARE(QFileInfo(dir.file("ports/COM3")).symLinkTarget(), pty.slavePath());
        QVERIFY(!QFileInfo::exists(dir.file("ports/COM3.new")));
    }

    // The console closes the slave every four seconds and opens it again;
    // in between the master sees a hang-up. The line must neither stop
    // reading nor spin on the hang-up.
    void keepsServingAcrossReopensWithoutSpinning()
    {
        test::WorkDir dir(false);
        PtyLink pty;
        QString error;
        QVERIFY2(pty.open(&error), qPrintable(error));
        QVERIFY2(pty.linkInto(dir.path(), 1, &error), qPrintable(error));
        QSignalSpy received(&pty, &PtyLink::received);

        for (int round = 0; round < 3; ++round) {
            QByteArray requestBytes;
            {
                Slave slave(dir.file("ports/COM1"));
                QVERIFY(slave.isOpen());
                QVERIFY(slave.write(pollOf(1)));
                QTRY_VERIFY_WITH_TIMEOUT(
                    (requestBytes = [&] {
                        QByteArray all;
                        for (const QList<QVariant> &args : received)
                            all += args[0].toByteArray();
                        return all;
                    }()).size() >= 10,
                    2000);
                QCOMPARE(requestBytes, pollOf(1));
                received.clear();
                const QByteArray reply = QByteArray::fromHex("B94616010001410000");
                QVERIFY(pty.write(reply));
                QTRY_COMPARE_WITH_TIMEOUT(slave.collect(), reply, 2000);
            }
            const int hangupsBefore = pty.hangups();
            QTest::qWait(100); // the port stays closed for a while, as between the console's reopens
            const int hangups = pty.hangups() - hangupsBefore;
            QVERIFY2(hangups >= 1 && hangups <= 100 / PtyLink::hangupRetryMs + 2,
                     qPrintable(QString::number(hangups)));
        }
    }

    // A console killed with the port open leaves the slave in exclusive
    // mode, which would refuse every later open by a user other than root:
    // the line frees itself (root clears the mode; anyone else moves the
    // link to a new pseudo-terminal).
    void freesTheLineFromADeadConsolesExclusiveMode()
    {
        test::WorkDir dir(false);
        PtyLink pty;
        QString error;
        QVERIFY2(pty.open(&error), qPrintable(error));
        QVERIFY2(pty.linkInto(dir.path(), 1, &error), qPrintable(error));
        QVERIFY(pty.releaseStaleLock().isEmpty());
        {
            Slave killed(dir.file("ports/COM1"));
            QVERIFY(killed.isOpen() && killed.makeExclusive());
        }
        const QString how = pty.releaseStaleLock();
        QVERIFY(!how.isEmpty());
        QVERIFY2(pty.releaseStaleLock().isEmpty(), "nothing is left to mend");
        Slave next(dir.file("ports/COM1"));
        QVERIFY(next.isOpen());
        QVERIFY2(!next.isExclusive(), qPrintable(how));
    }

    void simulatorAnswersThroughTheLinkAndLogsTheRequest()
    {
        test::WorkDir dir(false);
        SimOptions options;
        options.workDir = dir.path();
        options.port = 2;
        options.sensors = {SimSensor::make(1001, 0), SimSensor::make(2001, 1)};
        options.logPath = dir.file("sim.log");
        options.scriptPath = QFINDTESTDATA("data/sim-trip.scenario");
        QVERIFY(!options.scriptPath.isEmpty());
        Simulator simulator;
        QString error;
        QVERIFY2(simulator.start(options, &error), qPrintable(error));

        QFile log(options.logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QString text;
        // The scenario trips loop 1 of 1001 as soon as the event loop runs.
        QTRY_VERIFY_WITH_TIMEOUT((text += QString::fromUtf8(log.readAll())).contains(" cmd trip 1001 1\n"), 2000);

        Slave slave(dir.file("ports/COM2"));
        QVERIFY(slave.isOpen());
        QVERIFY(slave.write(pollOf(1001)));
        QTRY_COMPARE_WITH_TIMEOUT(slave.collect(), test::frameVector("status m0 1001, loop 1 tripped").wireBytes(), 2000);
        text += QString::fromUtf8(log.readAll());
        QVERIFY2(text.contains(" req addr=1001 poll bytes=10 -> status 0x80\n"), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestSimPty)
#include "test_sim_pty.moc"
