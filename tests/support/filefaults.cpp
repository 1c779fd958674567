#include "filefaults.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <unistd.h>

namespace dorvan::test {

namespace {

QString fillerPath(const QString &mountPoint)
{
    return mountPoint + QStringLiteral("/.filler");
}

// Writes `chunk` bytes at a time until the disk refuses; false on another error.
bool writeUntilFull(int fd, qint64 chunk)
{
    const QByteArray bytes(chunk, 'f');
    for (;;) {
        const ssize_t n = ::write(fd, bytes.constData(), size_t(chunk));
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == ENOSPC;
    }
}

} // namespace

SmallFileSystem::SmallFileSystem(const QString &mountPoint, int kib) : mountPoint_(mountPoint)
{
    const QByteArray options = "size=" + QByteArray::number(kib) + "k";
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, options.constData()) == 0)
        mounted_ = true;
    else
        why_ = QStringLiteral("cannot mount a tmpfs (needs root): %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

SmallFileSystem::~SmallFileSystem()
{
    if (mounted_)
        ::umount2(QFile::encodeName(mountPoint_).constData(), MNT_DETACH);
}

bool SmallFileSystem::fill()
{
    const int fd = ::open(QFile::encodeName(fillerPath(mountPoint_)).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Whole pages first, then byte by byte into the filler's last page.
    const bool full = writeUntilFull(fd, 4096) && writeUntilFull(fd, 1);
    ::close(fd);
    return full;
}

void SmallFileSystem::unfill()
{
    QFile::remove(fillerPath(mountPoint_));
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    ::getrlimit(RLIMIT_FSIZE, &old_);
    // The signal would end the process; the failed write is what the test wants.
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = rlim_t(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
}

UnprivilegedFiles::UnprivilegedFiles()
{
    // Leaving uid 0 for the file system drops the capabilities that let
    // root read any file.
    if (::geteuid() == 0) {
        ::setfsuid(65534);
        switched_ = true;
    }
}

UnprivilegedFiles::~UnprivilegedFiles()
{
    if (switched_)
        ::setfsuid(0);
}

MemoryAllowance::MemoryAllowance(qint64 bytes)
{
    ::getrlimit(RLIMIT_AS, &old_);
    qint64 mapped = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmSize:"))
                mapped = line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    if (mapped == 0)
        return; // no allowance to measure from: no limit
    rlimit limit = old_;
    limit.rlim_cur = rlim_t(mapped + bytes);
    ::setrlimit(RLIMIT_AS, &limit);
}

MemoryAllowance::~MemoryAllowance()
{
    ::setrlimit(RLIMIT_AS, &old_);
}

} // namespace dorvan::test
