#include "linereader.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvan::sim {

LineReader::LineReader(int fd, QObject *parent)
    : QObject(parent), fd_(fd), notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    connect(notifier_, &QSocketNotifier::activated, this, &LineReader::readAvailable);
}

void LineReader::readAvailable()
{
    char buffer[1024];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        notifier_->setEnabled(false);
        if (!pending_.isEmpty())
            emit lineRead(QString::fromUtf8(pending_));
        pending_.clear();
        emit endOfInput();
        return;
    }
    pending_.append(buffer, n);
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        emit lineRead(QString::fromUtf8(line));
    }
}

int openCommandFifo(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info{};
    if (::stat(name.constData(), &info) == 0 ? !S_ISFIFO(info.st_mode) : ::mkfifo(name.constData(), 0600) != 0) {
        *error = QStringLiteral("%1 is not a FIFO and cannot be made one").arg(path);
        return -1;
    }
    const int fd = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return fd;
}

} // namespace dorvan::sim
