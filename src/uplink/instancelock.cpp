#include "uplink/instancelock.h"

#include "uplink/uplinklog.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace dorvan::uplink {

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool InstanceLock::acquire(QString *error)
{
    const QString lockPath = workDir_ + QStringLiteral("/data/uplink.lock");
    fd_ = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        *error = QStringLiteral("cannot open the lock %1: %2").arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        char holder[32] = {};
        [[maybe_unused]] const ssize_t got = ::pread(fd_, holder, sizeof holder - 1, 0);
        *error = QStringLiteral("another dorvan-uplink (process %1) already publishes %2 (it holds %3); "
                                "one uplink per working directory: stop that one first (systemctl stop dorvan-uplink@...)")
                     .arg(QString::fromLatin1(holder).trimmed(), workDir_, lockPath);
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.constData(), size_t(pid.size()), 0) != pid.size())
        qCWarning(lcUplink).noquote() << QStringLiteral("cannot write the process id into %1; the lock holds all the same").arg(lockPath);
    return true;
}

} // namespace dorvan::uplink
