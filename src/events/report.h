#pragma once

#include "base/context.h"
#include "events/eventrecord.h"
#include "grid/textgridmodel.h"

#include <QByteArrayView>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace dorvan {

// The message filter of the group "Сообщения".
enum class ReportScope { All, Alarms, LinkLosses };

// The kind of file "Открыть" offers: the group "Отчёт".
enum class ReportKind { Model301, Model302, Daily };

// The five paging buttons, told apart by one handler.
enum class PageButton { First, Previous, Next, Last, Go };

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

// The event report: an event file read back 500 records to a page.
class Report : public QObject
{
    Q_OBJECT

public:
    static constexpr qint32 PageSize = 500;
    static constexpr int MaxPathLength = 199;
    static constexpr quint8 ClosingRowCode = 46;
    static constexpr int InitialSpinMaximum = 100;

    explicit Report(ConsoleContext &context, QObject *parent = nullptr);
    ~Report() override;

    // "Протокол датчика" from the main window.
    void sensorReport(quint32 address, int model);
    // "Открыть": choose a file by the "Отчёт" choice and load it.
    void BitBtn1Click();
    // The paging buttons; Go takes the page from the spin edit.
    void BButPrevClick(PageButton button);
    // The page number's text changed; returns the value it now holds.
    int CSpinEdProtChange(const QString &text);
    // The window became active.
    void FormActivate();
    // "Экспорт": the selection on display (its file and the filter it was
    // read with, every selected record, not only the page shown) to a CSV or
    // JSON lines file. The export runs a block per turn of the event loop,
    // so the line is polled meanwhile.
    void BitBtnExportClick();
    // Exports the next block; false once the export has ended. The export's
    // timer calls it.
    bool exportStep();
    bool exporting() const { return exportJob_ != nullptr; }
    QString exportText() const { return exportText_; }
    // Where the save dialog starts; the directory last exported to.
    QString exportDirectory() const { return exportDirectory_; }

    TextGridModel &grid() { return AdvStringGrid2; }
    const TextGridModel &grid() const { return AdvStringGrid2; }

    // The choices of the groups "Отчёт" and "Сообщения".
    ReportKind kind = ReportKind::Model301;
    ReportScope scope = ReportScope::All;

    qint32 reportTotal() const { return reportTotal_; }
    qint32 reportPageRows() const { return reportPageRows_; }
    qint32 reportLastPage() const { return reportLastPage_; }
    qint32 reportPage() const { return reportPage_; }
    qint32 reportWantedPage() const { return reportWantedPage_; }
    QString reportPath() const { return reportPath_; }

    QString summaryText() const { return summaryText_; } // StTextProt
    QString pageText() const { return pageText_; }       // StTextStr
    // The file whose events are on display.
    QString shownFileText() const { return shownFileText_; }
    bool pagesVisible() const { return pagesVisible_; }  // GroupBoxProt
    int spinMaximum() const { return spinMaximum_; }
    int spinValue() const { return spinValue_; }
    void setSpinValue(int value);
    // The grid row last selected (scrolled into view), 0 before any.
    int selectedRow() const { return selectedRow_; }

    // Where "Открыть" starts for each kind of file.
    QString dialogDirectory(ReportKind which) const;

signals:
    // Texts, spin edit or the group's visibility changed.
    void stateChanged();
    // A grid row is to be selected and scrolled into view.
    void rowSelected(int row);

private:
    void resetState();
    void loadPath(const QString &path);
    bool readFile(qint32 wantedPage, ReportScan &scan);
    void showPage(const std::vector<EventRecord> &records, bool withClosingRow);
    void placeRow(int row, const EventRecord *record);
    void selectRow(int row);
    void showTexts();
    void refuseFile(const QString &path);

    struct ExportJob;
    void endExport(const QString &failure);

    ConsoleContext &context_;
    TextGridModel AdvStringGrid2;

    qint32 reportTotal_ = 0;
    qint32 reportPageRows_ = 0;
    qint32 reportLastPage_ = 0;
    qint32 reportPage_ = 0;
    qint32 reportWantedPage_ = -1;
    QString reportPath_;

    QString summaryText_;
    QString pageText_;
    QString shownFileText_;
    bool pagesVisible_ = false;
    int spinMaximum_ = InitialSpinMaximum;
    int spinValue_ = 1;
    int selectedRow_ = 0;

    // The file and filter of the rows on display, as last read.
    QString shownPath_;
    ReportScope shownScope_ = ReportScope::All;
    std::unique_ptr<ExportJob> exportJob_;
    QTimer exportTimer_;
    QString exportText_;
    QString exportDirectory_;
};

} // namespace dorvan
