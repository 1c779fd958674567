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

using Descriptor = FileDescriptor;

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

} // namespace dorvan
