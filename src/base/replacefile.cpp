#include "base/replacefile.h"

#include "base/regularfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvan {

namespace {

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

} // namespace

FileReplace replaceFile(const QString &path, QByteArrayView bytes, mode_t newMode, bool mustNotExist,
                        const std::function<bool()> &beforeRename, Sync sync)
{
    FileReplace outcome;
    // A site that links the file elsewhere keeps its link: the file it names is replaced.
    const QFileInfo info(path);
    const QString real = info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : path;
    const QByteArray target = QFile::encodeName(real);
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
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
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
    if (sync == Sync::Yes && ::fsync(fd.get()) != 0)
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
    if (sync == Sync::No) {
        outcome.result = FileReplace::Result::Replaced;
        return outcome;
    }
    // The rename itself is durable only once the directory is on the disk;
    // a failure here is reported although the new file is in place.
    FileDescriptor directory(::open(QFile::encodeName(QFileInfo(real).path()).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.valid() || ::fsync(directory.get()) != 0) {
        outcome.error = errno;
        return outcome;
    }
    outcome.result = FileReplace::Result::Replaced;
    return outcome;
}

} // namespace dorvan
