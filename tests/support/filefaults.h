#pragma once

// Real file-system failures for tests, no fakes: a tiny file system that can
// be filled up, and a limit on the size of the files this process writes.

#include <QString>

#include <sys/resource.h>

namespace dorvan::test {

// A tmpfs of `kib` KiB mounted over an existing directory (its contents are
// hidden until it is unmounted again, at destruction). Mounting needs root;
// mounted() is false otherwise and why() says why.
class SmallFileSystem
{
public:
    SmallFileSystem(const QString &mountPoint, int kib);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool mounted() const { return mounted_; }
    QString why() const { return why_; }
    // Takes every free byte with a filler file; false when the disk did not fill.
    bool fill();
    // Gives the filler's space back.
    void unfill();

private:
    QString mountPoint_;
    bool mounted_ = false;
    QString why_;
};

// While it lives, any file this process writes is cut at `bytes`
// (RLIMIT_FSIZE): a write across the limit stops short and the next one fails
// with EFBIG, as on a disk that fills in the middle of a write.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// While it lives, files are opened as an unprivileged user (the file-system
// uid, when the process runs as root), so a file of mode 0 cannot be read.
class UnprivilegedFiles
{
public:
    UnprivilegedFiles();
    ~UnprivilegedFiles();
    UnprivilegedFiles(const UnprivilegedFiles &) = delete;
    UnprivilegedFiles &operator=(const UnprivilegedFiles &) = delete;

private:
    bool switched_ = false;
};

// While it lives, the process may map only `bytes` more than it has now
// (RLIMIT_AS): an allocation in proportion to a huge file fails at once.
class MemoryAllowance
{
public:
    explicit MemoryAllowance(qint64 bytes);
    ~MemoryAllowance();
    MemoryAllowance(const MemoryAllowance &) = delete;
    MemoryAllowance &operator=(const MemoryAllowance &) = delete;

private:
    rlimit old_{};
};

} // namespace dorvan::test
