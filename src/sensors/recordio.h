#pragma once

#include "base/regularfile.h"
#include "base/replacefile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

#include <sys/types.h>

namespace dorvan {

// File access that checks every byte, with POSIX calls: buffered writes
// (QFile) report a full disk too late to undo, and Qt 6.4's QSaveFile was
// seen to commit an empty file on a full disk. Every call opens the file,
// does its work and closes it again, so no file stays open between events.

struct RecordWrite
{
    enum class Result { Written, NotOpened, NotWritten };
    Result result = Result::NotOpened;
    int error = 0;          // errno of the failure
    qint64 tailDropped = 0; // bytes of a torn record that the new one took the place of

    bool written() const { return result == Result::Written; }
};

// Appends the record at the last whole-record boundary of the file, creating
// the file if needed: a torn tail (a record cut short by a power loss) is
// written over, never left in front of the new record. A write that cannot
// be completed is undone: the file is left exactly as it was.
// Only a regular file is written (see openRegularFile); with Links::Refuse
// not through a symlink either.
RecordWrite appendRecord(const QString &path, QByteArrayView record, Sync sync = Sync::No,
                         Links links = Links::Follow);

// Overwrites the last whole record of an existing file (never creates it);
// a file without a whole record gets the record at its start. Flushed to
// the disk; undone like an append when it fails.
RecordWrite overwriteLastRecord(const QString &path, QByteArrayView record);

// Writes the record at a byte offset, creating the file if needed; undone
// like an append when it fails.
RecordWrite writeRecordAt(const QString &path, qint64 offset, QByteArrayView record);

struct LastRecord
{
    bool opened = false;
    int error = 0;    // why it did not open: an errno or NotRegularFile
    qint64 size = 0;  // the file's length in bytes
    QByteArray bytes; // the last whole record; empty when there is none or it cannot be read
};

// The last whole record of a file of recordSize-byte records, read at its
// place: a file of any length costs one read.
LastRecord readLastRecord(const QString &path, qint64 recordSize);

// "<routine>: не открылся файл <name>"; a file refused for what it is (a
// directory, a FIFO, a device, a symlink where none is followed) gets the
// reason after it.
QString openFailureText(const QString &routine, const QString &name, int error);

// openFailureText, or "<routine>: не записался файл <name>: <reason>": the
// operator's text of a failed write.
QString writeFailureText(const QString &routine, const QString &name, const RecordWrite &write);

// The log line for a torn tail that an append wrote over; empty when there was none.
QString droppedTailText(const QString &routine, const QString &name, const RecordWrite &write);

// The operator's words for a failed write's errno: "нет места на диске", ...
QString writeErrorText(int error);

} // namespace dorvan
