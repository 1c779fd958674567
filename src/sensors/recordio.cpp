#include "sensors/recordio.h"

#include "base/regularfile.h"

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

using Descriptor = FileDescriptor;

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
                        QByteArrayView record, Sync sync, Links links)
{
    RecordWrite outcome;
    int openError = 0;
    Descriptor fd(openRegularFile(path, O_RDWR | (create ? O_CREAT : 0), 0666, links, openError));
    if (!fd.valid()) {
        outcome.error = openError;
        return outcome;
    }
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0) {
        outcome.error = errno;
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

RecordWrite appendRecord(const QString &path, QByteArrayView record, Sync sync, Links links)
{
    return writeRecord(path, true, Place::End, 0, record, sync, links);
}

RecordWrite overwriteLastRecord(const QString &path, QByteArrayView record)
{
    return writeRecord(path, false, Place::LastRecord, 0, record, Sync::Yes, Links::Follow);
}

RecordWrite writeRecordAt(const QString &path, qint64 offset, QByteArrayView record)
{
    return writeRecord(path, true, Place::Offset, offset, record, Sync::No, Links::Follow);
}

LastRecord readLastRecord(const QString &path, qint64 recordSize)
{
    LastRecord last;
    Descriptor fd(openRegularFile(path, O_RDONLY, 0, Links::Follow, last.error));
    struct stat info = {};
    if (!fd.valid())
        return last;
    if (::fstat(fd.get(), &info) != 0) {
        last.error = errno;
        return last;
    }
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
    return fileErrorText(error);
}

QString openFailureText(const QString &routine, const QString &name, int error)
{
    const QString text = routine + QStringLiteral(": не открылся файл ") + name;
    return refusedForWhatItIs(error) ? text + QStringLiteral(": ") + fileErrorText(error) : text;
}

QString writeFailureText(const QString &routine, const QString &name, const RecordWrite &write)
{
    if (write.result == RecordWrite::Result::NotOpened)
        return openFailureText(routine, name, write.error);
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
        // A directory or a device in its place: nothing to replace.
        outcome.error = S_ISDIR(old.st_mode) ? EISDIR : NotRegularFile;
        return outcome;
    }
    if (!exists && info.isSymLink()) {
        outcome.error = DanglingLink; // where it points is not this file's place
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
    // So is its group (a site's 0640 root:daemon): the owner where the
    // process may give it (root), else the group alone where it is one of
    // the process's groups; failing both, the file is still saved. Before
    // the chmod, which a chown may undo.
    if (exists && ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int groupKept = ::fchown(fd.get(), uid_t(-1), old.st_gid);
    }
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
