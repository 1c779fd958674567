#pragma once

#include "events/eventfile.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

namespace dorvan {

enum class ExportFormat { Csv, JsonLines };

// The pieces of both formats, for a table of other columns written the same
// way: a CSV field quoted when it must be, a JSON string with its escapes.
inline constexpr char csvByteOrderMark[] = "\xEF\xBB\xBF";
void appendCsvField(QByteArray &out, const QString &field);
void appendJsonString(QByteArray &out, const QString &text);

// Writes the records of event files that a report filter keeps, in file
// order, with the texts of the report's rows, to a device.
//
// CSV is what a Russian spreadsheet opens without an import wizard: UTF-8
// with a byte-order mark, ';' between fields, CRLF line ends, a field quoted
// when it holds ';', '"' or a line break. The columns are the report's two,
// "Дата и время" and "Наименование события", and "Код". JSON lines: one
// object a record, {"time":…,"text":…,"code":…} with the same values.
//
// Files are read a block at a time and written through a small buffer, so
// memory stays the same whatever the files hold; step() lets a caller that
// must stay responsive export one block per turn of its event loop.
class EventExport
{
public:
    enum class Error { None, CannotOpen, CannotRead, CannotWrite };

    static constexpr qsizetype BufferBytes = 256 * 1024;

    EventExport(QIODevice &out, ExportFormat format);
    ~EventExport();

    // The CSV header, once, before the first record; nothing for JSON lines.
    // Written by the first file too, so an export of nothing is a header.
    void writeHeader();
    // Begins one more file; false when it cannot be opened.
    bool openFile(const QString &path, ReportScope scope);
    // Exports the next block of the open file; false once the file is done
    // or an error stopped the export.
    bool step();
    // One whole file.
    bool addFile(const QString &path, ReportScope scope);
    // Writes out what is buffered; false when the export failed.
    bool finish();

    qint64 exported() const { return exported_; }
    Error error() const { return error_; }
    // The file the error concerns and the system's reason.
    QString errorPath() const { return errorPath_; }
    QString errorReason() const { return errorReason_; }

    static QByteArray csvHeader();
    static QString suffix(ExportFormat format);

private:
    bool fail(Error error, const QString &path, const QString &reason);
    bool flush(qsizetype above);

    QIODevice &out_;
    ExportFormat format_;
    std::unique_ptr<EventFileReader> reader_;
    QString path_;
    ReportScope scope_ = ReportScope::All;
    QByteArray buffer_;
    qint64 exported_ = 0;
    bool headerWritten_ = false;
    Error error_ = Error::None;
    QString errorPath_;
    QString errorReason_;
};

} // namespace dorvan
