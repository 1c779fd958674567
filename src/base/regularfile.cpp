#include "base/regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvan {

namespace {

int refusalOf(mode_t mode)
{
    if (S_ISREG(mode))
        return 0;
    if (S_ISDIR(mode))
        return EISDIR;
    if (S_ISLNK(mode))
        return ELOOP;
    return NotRegularFile;
}

} // namespace

bool refusedForWhatItIs(int error)
{
    return error == NotRegularFile || error == DanglingLink || error == EISDIR || error == ELOOP;
}

bool FileDescriptor::close()
{
    const int fd = release();
    return ::close(fd) == 0;
}

bool writeFully(int fd, const char *data, qint64 size, qint64 offset, int &error)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size_t(size - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            return false;
        }
        done += n;
    }
    return true;
}

int openRegularFile(const QString &path, int flags, mode_t mode, Links links, int &error)
{
    const QByteArray native = QFile::encodeName(path);
    // Looked at first, so that a device is never opened at all (opening one
    // can do something: a tape rewinds, a modem hangs up).
    struct stat seen = {};
    if (::lstat(native.constData(), &seen) == 0) {
        if (S_ISLNK(seen.st_mode)) {
            // A link to nothing would make O_CREAT create a file where it points.
            if (links == Links::Refuse) {
                error = ELOOP;
                return -1;
            }
            if (::stat(native.constData(), &seen) != 0) {
                error = errno == ENOENT ? DanglingLink : errno;
                return -1;
            }
        }
        if (const int refusal = refusalOf(seen.st_mode)) {
            error = refusal;
            return -1;
        }
    } else if (errno != ENOENT || (flags & O_CREAT) == 0) {
        error = errno;
        return -1;
    }
    const int noFollow = links == Links::Refuse ? O_NOFOLLOW : 0;
    int fd = -1;
    do {
        fd = ::open(native.constData(), flags | noFollow | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    FileDescriptor opened(fd);
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        error = errno;
        return -1;
    }
    if (const int refusal = refusalOf(info.st_mode)) {
        error = refusal;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        error = errno;
        return -1;
    }
    return opened.release();
}

std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, Links links, int &error,
                                          qint64 *size)
{
    FileDescriptor fd(openRegularFile(path, O_RDONLY, 0, links, error));
    if (!fd.valid())
        return std::nullopt;
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0) {
        error = errno;
        return std::nullopt;
    }
    if (size)
        *size = info.st_size;
    QByteArray bytes(qMin<qint64>(info.st_size, limit), Qt::Uninitialized);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd.get(), bytes.data() + done, size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return std::nullopt;
        }
        if (n == 0)
            break; // cut short since the fstat: what there is
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

QString fileErrorText(int error)
{
    switch (error) {
    case NotRegularFile: return QStringLiteral("не обычный файл (канал или устройство)");
    case EISDIR: return QStringLiteral("это каталог, а не файл");
    case ELOOP: return QStringLiteral("символическая ссылка, а не файл");
    case DanglingLink: return QStringLiteral("символическая ссылка, которая никуда не ведёт");
    case ENOENT: return QStringLiteral("нет такого файла или каталога");
    case ENOTDIR: return QStringLiteral("в пути к файлу не каталог");
    case ENOSPC: return QStringLiteral("нет места на диске");
    case EDQUOT: return QStringLiteral("превышена дисковая квота");
    case EFBIG: return QStringLiteral("превышен допустимый размер файла");
    case EROFS: return QStringLiteral("файловая система только для чтения");
    case EACCES:
    case EPERM: return QStringLiteral("нет доступа");
    case EIO: return QStringLiteral("ошибка ввода-вывода");
    case EMFILE:
    case ENFILE: return QStringLiteral("слишком много открытых файлов");
    case ENAMETOOLONG: return QStringLiteral("слишком длинное имя файла");
    default: return QStringLiteral("ошибка (код %1: %2)").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

} // namespace dorvan
