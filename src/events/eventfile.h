#pragma once

#include "events/eventrecord.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <vector>

namespace dorvan {

// The message filter of the group "Сообщения".
enum class ReportScope { All, Alarms, LinkLosses };

// Selected records shown to a page of the report; the last page adds a
// closing row.
constexpr qint32 ReportPageSize = 500;

// Whether a record with this code is listed under the filter.
bool reportKeeps(ReportScope scope, quint8 code);

// The report's column titles, "Дата и время" and "Наименование события".
QString reportTimeTitle();
QString reportTextTitle();
// A record's two cells as the report shows them.
QString reportTimeCell(const EventRecord &record);
QString reportTextCell(const EventRecord &record);

// Reads an event file from its start in blocks of whole records (about 4 MB
// each); a partial tail is ignored. The report and the export both read
// event files through it.
class EventFileReader
{
public:
    static constexpr qsizetype RecordSize = sizeof(EventRecord);

    explicit EventFileReader(const QString &path);

    bool open();
    // The records of the next block, empty at the end of the file; valid
    // until the next call.
    QByteArrayView nextBlock();
    // A read error ended the file early.
    bool failed() const { return failed_; }
    QString errorString() const;

    static quint8 codeOf(const char *record) { return quint8(record[offsetof(EventRecord, code)]); }
    static EventRecord recordAt(const char *record);

private:
    QFile file_;
    int openError_ = 0; // why open() refused the file
    std::vector<char> block_;
    bool ended_ = false;
    bool failed_ = false;
};

// What one reading of an event file found: the count of selected records and
// the records of the page asked for. Pages are runs of PageSize selected
// records in file order, followed by one closing row.
struct ReportScan
{
    qint32 total = 0;                 // selected records
    std::vector<EventRecord> wanted;  // records of the wanted page (closing row not included)
    std::vector<EventRecord> last;    // records of the last page (closing row not included)
    bool wantedFound = false;         // the wanted page exists in the file

    // Index of the last page, the one holding the closing row.
    qint32 lastPage() const;
    // Rows of the last page, the closing row included.
    qint32 lastPageRows() const;
};

// Reads the whole file in large blocks, counting the selected records and
// keeping only the records of the wanted page (wantedPage −1 = the last page)
// and of the last page. A partial tail is ignored. Returns false when the
// file cannot be opened.
bool scanEventFile(const QString &path, ReportScope scope, qint32 wantedPage, ReportScan &scan);

} // namespace dorvan
