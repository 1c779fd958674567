#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/types.h>

namespace dorvan {

// The one way the console and dorvan-report open their files: nothing but a
// regular file is ever read or written. A FIFO would block the open (or the
// read) for ever, a device such as /dev/zero would be read without end, and
// a directory or a socket is no file at all; such a thing in a file's place
// is refused without waiting, as a file that cannot be opened is.

// Not errnos: a FIFO, a device or a socket where a file was expected; a
// symlink to nothing there (which an O_CREAT would follow, creating a file
// wherever it points).
inline constexpr int NotRegularFile = 0x10001;
inline constexpr int DanglingLink = 0x10002;

// Refused for what stands in the file's place (NotRegularFile, DanglingLink,
// EISDIR, ELOOP), not for a failure of the file system.
bool refusedForWhatItIs(int error);

// Whether a symlink in the file's place is followed. Follow: a link to a
// regular file is the file (a site may keep hw.dat elsewhere); a link to
// anything else is refused as that is, a link to nothing with DanglingLink.
// Refuse: every symlink is refused (ELOOP), so a write can never land
// outside its directory.
enum class Links { Follow, Refuse };

// Closes the descriptor when the scope ends, unless it was closed by hand.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            close();
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // The descriptor, no longer closed here.
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // close() can report a write that failed late (a network file system).
    bool close();

private:
    int fd_;
};

// Opens a regular file with open(2)'s access flags (O_RDONLY, O_RDWR, O_CREAT,
// O_EXCL, ...; O_CLOEXEC is added). Anything else in its place is refused
// before it is opened and, should it have been swapped in since, after: the
// open never blocks (O_NONBLOCK, cleared again once the file is known to be
// regular). Returns the descriptor, or -1 with the reason in error: an
// errno, or NotRegularFile.
int openRegularFile(const QString &path, int flags, mode_t mode, Links links, int &error);

// The first `limit` bytes of a regular file (all of it when shorter), and
// its size; nullopt with the reason in error when it cannot be opened or read.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, Links links, int &error,
                                          qint64 *size = nullptr);

// Writes all bytes at offset (pwrite, again after an interruption); false
// with errno in error when fewer went out.
bool writeFully(int fd, const char *data, qint64 size, qint64 offset, int &error);

// The operator's words for why a file could not be opened, read or written:
// "нет места на диске", "не обычный файл (канал или устройство)", ...
QString fileErrorText(int error);

} // namespace dorvan
