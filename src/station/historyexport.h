#pragma once

#include "events/eventexport.h"
#include "station/history.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace dorvan::station {

// Writes the events of a history search as the console's event export
// writes its records: UTF-8 CSV with a byte-order mark, ';', CRLF and
// quotes where needed, or JSON lines. The first three columns are the
// console's ("Дата и время", "Наименование события", "Код"), the time being
// the post's own wall time as its event list shows it; then the post, the
// record's id, the kind, the sensor's address, the loop and when the station
// received it (its clock, UTC, ISO 8601).
class HistoryExport
{
public:
    static constexpr qsizetype BufferBytes = EventExport::BufferBytes;

    HistoryExport(QIODevice &out, ExportFormat format);

    // The CSV header, once; nothing for JSON lines.
    void writeHeader();
    bool add(const HistoryRow &row);
    // Writes out what is buffered; false when a write failed.
    bool finish();

    qint64 exported() const { return exported_; }
    QString errorReason() const { return errorReason_; }

    static QByteArray csvHeader();

private:
    bool flush(qsizetype above);

    QIODevice &out_;
    ExportFormat format_;
    QByteArray buffer_;
    qint64 exported_ = 0;
    bool headerWritten_ = false;
    QString errorReason_;
};

// Every event the filter finds, page after page; false with a Russian
// reason when the journal or the output failed.
bool exportHistory(HistoryQuery &query, const HistoryFilter &filter, HistoryExport &out, QString *error);

// The post's time (ISO 8601 with its offset) as the console's event list
// shows it, in the post's own wall time; the text itself when it is not a time.
QString historyTimeText(const QString &postTime);

// dorvan-station --export [options]: arguments[0] is the program. The
// export goes to out (or -o FILE), errors to err. Returns 0 done, 1 failed,
// 2 a wrong command line, as dorvan-report does.
int runHistoryExport(const QStringList &arguments, QTextStream &out, QTextStream &err);

// Whether the command line asks for an export; historyExportMain() then
// runs it on standard output and standard error, with no display needed.
bool isHistoryExport(int argc, char *argv[]);
int historyExportMain(int argc, char *argv[]);

} // namespace dorvan::station
