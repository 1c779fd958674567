#pragma once

#include <QByteArrayView>
#include <QString>

namespace dorvan {

// Whole-record file access: every call opens the file, writes one record
// and closes it again, so no file stays open between events.

// Appends the record at the end of the file, creating it if needed. A write
// that cannot be completed is rolled back to the old length, so that the file
// stays a whole number of records; false when nothing was appended.
bool appendRecord(const QString &path, QByteArrayView record);

// Writes the record at the byte offset of an existing file (never creates
// it); false when the file cannot be opened or the write is incomplete.
bool writeRecordAt(const QString &path, qint64 offset, QByteArrayView record);

// Overwrites the last whole record of an existing file. A partial tail is
// left behind the record rather than written across, and a file shorter than
// one record is written from its start.
bool overwriteLastRecord(const QString &path, QByteArrayView record);

} // namespace dorvan
