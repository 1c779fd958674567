#include "ptylink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace dorvan::sim {

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Raw 8N1 at 19200 baud, so no byte is echoed, translated or held back while
// no console has configured the port yet.
void makeRaw(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &settings);
}

} // namespace

PtyLink::PtyLink(QObject *parent) : QObject(parent)
{
    retry_.setSingleShot(true);
    retry_.setInterval(hangupRetryMs);
    connect(&retry_, &QTimer::timeout, this, [this] {
        if (notifier_)
            notifier_->setEnabled(true);
    });
}

PtyLink::~PtyLink()
{
    if (master_ >= 0)
        ::close(master_);
}

bool PtyLink::open(QString *error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = systemError("grantpt/unlockpt");
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        *error = systemError("ptsname");
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    makeRaw(master_);
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyLink::readAvailable);
    return true;
}

bool PtyLink::linkInto(const QString &workDir, int port, QString *error, QString *linkPath)
{
    const QString portsDir = QDir(workDir).filePath(QStringLiteral("ports"));
    if (!QDir().mkpath(portsDir)) {
        *error = QStringLiteral("cannot create %1").arg(portsDir);
        return false;
    }
    const QString target = QDir(portsDir).filePath(QStringLiteral("COM%1").arg(port));
    // A new link beside the old one, renamed over it, so the console never
    // finds the name missing and falls back to a real serial port.
    const QString fresh = target + QStringLiteral(".new");
    QFile::remove(fresh);
    if (::symlink(QFile::encodeName(slavePath_).constData(), QFile::encodeName(fresh).constData()) != 0
        || ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(target).constData()) != 0) {
        *error = systemError("symlink");
        QFile::remove(fresh);
        return false;
    }
    if (linkPath)
        *linkPath = target;
    linkedWorkDir_ = workDir;
    linkedPort_ = port;
    return true;
}

void PtyLink::unplug()
{
    if (master_ < 0)
        return;
    retry_.stop();
    delete notifier_;
    notifier_ = nullptr;
    ::close(master_);
    master_ = -1;
}

bool PtyLink::replug(QString *error)
{
    unplug();
    if (!open(error))
        return false;
    return linkedWorkDir_.isEmpty() || linkInto(linkedWorkDir_, linkedPort_, error);
}

bool PtyLink::write(QByteArrayView bytes)
{
    if (master_ < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false; // slave closed (EIO) or buffer full: the reply is lost, as on a line
        }
    }
    return true;
}

void PtyLink::readAvailable()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            hungUp_.invalidate();
            emit received(QByteArray(buffer, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        waitForSlave(); // EIO or end of file: no slave is open at the moment
        return;
    }
}

void PtyLink::waitForSlave()
{
    ++hangups_;
    notifier_->setEnabled(false);
    retry_.start();
    if (!hungUp_.isValid()) {
        hungUp_.start();
    } else if (hungUp_.elapsed() >= staleLockCheckMs) {
        hungUp_.start();
        // Not from inside the notifier's own signal: a new line replaces it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                const QString how = releaseStaleLock();
                if (!how.isEmpty())
                    emit released(how);
            },
            Qt::QueuedConnection);
    }
}

QString PtyLink::releaseStaleLock()
{
    if (master_ < 0)
        return {};
    const int slave = ::open(QFile::encodeName(slavePath_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        // Root gets through exclusive mode; it clears it for everyone else.
        int exclusive = 0;
        const bool cleared = ::ioctl(slave, TIOCGEXCL, &exclusive) == 0 && exclusive
                             && ::ioctl(slave, TIOCNXCL) == 0;
        ::close(slave);
        return cleared ? QStringLiteral("exclusive mode left on %1 cleared").arg(slavePath_) : QString();
    }
    if (errno != EBUSY)
        return {};
    // A console that has just opened the slave holds it rightfully; the
    // master then no longer sees a hang-up.
    pollfd master{master_, POLLIN, 0};
    if (::poll(&master, 1, 0) < 0 || !(master.revents & POLLHUP))
        return {};
    // Only the last close of the slave would clear the mode, and the master
    // keeps the slave alive: the line moves to a new pseudo-terminal.
    const QString old = slavePath_;
    QString error;
    if (!replug(&error))
        return QStringLiteral("%1 left in exclusive mode; no new line: %2").arg(old, error);
    return QStringLiteral("%1 left in exclusive mode; the line is on %2 now").arg(old, slavePath_);
}

} // namespace dorvan::sim
