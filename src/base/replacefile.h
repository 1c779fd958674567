#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

#include <sys/types.h>

namespace dorvan {

// Whether a write is flushed to the disk before it counts as done.
enum class Sync { No, Yes };

struct FileReplace
{
    enum class Result { Replaced, NotOpened, NotWritten, Exists };
    Result result = Result::NotOpened;
    int error = 0;
};

// Replaces a whole file through a temporary file beside it, which is written,
// checked for its size, flushed to the disk and renamed over the old one, and
// the directory flushed after: a failure or a power loss leaves the old file
// or the new one, whole. The new file keeps the old one's mode; a file that
// did not exist is created with newMode. The old file's group (and its
// owner, where the process may give it) are kept as well. With mustNotExist an existing file
// is never replaced (Exists). beforeRename, when set, runs just before the
// rename; returning false abandons the save there. Sync::No leaves out the
// flushes, for a file that is news rather than a record.
FileReplace replaceFile(const QString &path, QByteArrayView bytes, mode_t newMode, bool mustNotExist,
                        const std::function<bool()> &beforeRename = {}, Sync sync = Sync::Yes);

} // namespace dorvan
