#include "sensors/recordio.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvan {

namespace {

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

// Closes the descriptor when the scope ends, unless it was closed by hand.
class Descriptor
{
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // close() can report a write that failed late (a network file system).
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Writes all bytes at offset; false with errno in error when fewer went out.
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

bool readFully(int fd, char *data, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, size_t(size - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Renames the temporary file over the target; with mustNotExist only when
// no target exists (a link and an unlink where the file system cannot
// rename that way).
bool moveInPlace(const QByteArray &temporary, const QByteArray &target, bool mustNotExist)
{
    if (!mustNotExist)
        return ::rename(temporary.constData(), target.constData()) == 0;
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL || ::link(temporary.constData(), target.constData()) != 0)
        return false;
    ::unlink(temporary.constData());
    return true;
}

enum class Place { End, LastRecord, Offset };

RecordWrite writeRecord(const QString &path, bool create, Place place, qint64 offset,
                        QByteArrayView record, Sync sync)
{
    RecordWrite outcome;
    Descriptor fd(::open(nativePath(path).constData(),
                         O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666));
    struct stat info = {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        outcome.error = errno;
        return outcome;
    }
    if (!S_ISREG(info.st_mode)) {
        outcome.error = EINVAL;
        return outcome;
    }
    const qint64 oldSize = info.st_size;
    const qint64 size = record.size();
    const qint64 wholeRecords = oldSize / size;
    const qint64 at = place == Place::End        ? wholeRecords * size
                      : place == Place::LastRecord ? std::max<qint64>(wholeRecords - 1, 0) * size
                                                 : offset;

    // The bytes the record goes over, to put back when it cannot be written whole.
    QByteArray covered(std::clamp<qint64>(oldSize - at, 0, size), Qt::Uninitialized);
    outcome.result = RecordWrite::Result::NotWritten;
    if (!readFully(fd.get(), covered.data(), covered.size(), at)) {
        outcome.error = EIO;
        return outcome;
    }
    int error = 0;
    bool whole = writeFully(fd.get(), record.data(), size, at, error);
    if (whole && sync == Sync::Yes && ::fdatasync(fd.get()) != 0) {
        whole = false;
        error = errno;
    }
    if (!whole) {
        // Going back needs no new space: the bytes put back lie within the old
        // length. A file created for the record stays, empty: an update at
        // shutdown may still write the record there.
        int ignored = 0;
        writeFully(fd.get(), covered.constData(), covered.size(), at, ignored);
        [[maybe_unused]] const int truncated = ::ftruncate(fd.get(), off_t(oldSize));
        outcome.error = error;
        return outcome;
    }
    if (!fd.close()) {
        outcome.error = errno;
        return outcome;
    }
    outcome.result = RecordWrite::Result::Written;
    if (place == Place::End)
        outcome.tailDropped = oldSize - at;
    return outcome;
}

} // namespace

RecordWrite appendRecord(const QString &path, QByteArrayView record, Sync sync)
{
    return writeRecord(path, true, Place::End, 0, record, sync);
}

RecordWrite overwriteLastRecord(const QString &path, QByteArrayView record)
{
    return writeRecord(path, false, Place::LastRecord, 0, record, Sync::Yes);
}

RecordWrite writeRecordAt(const QString &path, qint64 offset, QByteArrayView record)
{
    return writeRecord(path, true, Place::Offset, offset, record, Sync::No);
}

LastRecord readLastRecord(const QString &path, qint64 recordSize)
{
    LastRecord last;
    Descriptor fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info = {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return last;
    last.opened = true;
    last.size = info.st_size;
    const qint64 wholeRecords = last.size / recordSize;
    if (wholeRecords == 0)
        return last;
    QByteArray bytes(recordSize, Qt::Uninitialized);
    if (readFully(fd.get(), bytes.data(), recordSize, (wholeRecords - 1) * recordSize))
        last.bytes = bytes;
    return last;
}

QString writeErrorText(int error)
{
    switch (error) {
    case ENOSPC: return QStringLiteral("нет места на диске");
    case EDQUOT: return QStringLiteral("превышена дисковая квота");
    case EFBIG: return QStringLiteral("превышен допустимый размер файла");
    case EROFS: return QStringLiteral("файловая система только для чтения");
    case EACCES:
    case EPERM: return QStringLiteral("нет доступа");
    case EIO: return QStringLiteral("ошибка ввода-вывода");
    default: return QStringLiteral("ошибка записи (код %1)").arg(error);
    }
}

QString writeFailureText(const QString &routine, const QString &name, const RecordWrite &write)
{
    if (write.result == RecordWrite::Result::NotOpened)
        return routine + QStringLiteral(": не открылся файл ") + name;
    return routine + QStringLiteral(": не записался файл ") + name + QStringLiteral(": ")
           + writeErrorText(write.error);
}

QString droppedTailText(const QString &routine, const QString &name, const RecordWrite &write)
{
    if (write.tailDropped == 0)
        return {};
    return routine + QStringLiteral(": в конце файла %1 была неполная запись (%2 байт); новая запись записана на её место")
                         .arg(name)
                         .arg(write.tailDropped);
}

FileReplace replaceFile(const QString &path, QByteArrayView bytes, mode_t newMode, bool mustNotExist,
                        const std::function<bool()> &beforeRename)
{
    FileReplace outcome;
    // A site that links the file elsewhere keeps its link: the file it names is replaced.
    const QFileInfo info(path);
    const QString real = info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : path;
    const QByteArray target = nativePath(real);
    struct stat old = {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        outcome.error = EISDIR; // a directory or a device in its place: nothing to replace
        return outcome;
    }
    if (exists && mustNotExist) {
        outcome.result = FileReplace::Result::Exists;
        return outcome;
    }
    QByteArray temporary = target + ".XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) {
        outcome.error = errno;
        return outcome;
    }
    outcome.result = FileReplace::Result::NotWritten;
    const auto fail = [&](int error) {
        outcome.error = error;
        ::unlink(temporary.constData());
        return outcome;
    };
    // The site's chmod of the old file survives the save (mkostemp makes 0600).
    const mode_t mode = exists ? (old.st_mode & 07777) : newMode;
    int error = 0;
    if (::fchmod(fd.get(), mode) != 0)
        return fail(errno);
    if (!writeFully(fd.get(), bytes.data(), bytes.size(), 0, error))
        return fail(error);
    struct stat written = {};
    if (::fstat(fd.get(), &written) != 0)
        return fail(errno);
    if (written.st_size != bytes.size())
        return fail(EIO);
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (!fd.close())
        return fail(errno);
    if (beforeRename && !beforeRename())
        return fail(EIO);
    if (!moveInPlace(temporary, target, mustNotExist)) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        outcome.result = renameError == EEXIST ? FileReplace::Result::Exists
                                               : FileReplace::Result::NotWritten;
        outcome.error = renameError;
        return outcome;
    }
    // The rename itself is durable only once the directory is on the disk;
    // a failure here is reported although the new file is in place.
    Descriptor directory(::open(nativePath(QFileInfo(real).path()).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.valid() || ::fsync(directory.get()) != 0) {
        outcome.error = errno;
        return outcome;
    }
    outcome.result = FileReplace::Result::Replaced;
    return outcome;
}

} // namespace dorvan
