#pragma once

#include "base/context.h"
#include "events/eventfile.h"
#include "grid/textgridmodel.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace dorvan {

// The kind of file "Открыть" offers: the group "Отчёт".
enum class ReportKind { Model301, Model302, Daily };

// The five paging buttons, told apart by one handler.
enum class PageButton { First, Previous, Next, Last, Go };

// The event report: an event file read back 500 records to a page.
class ReportPager : public QObject
{
    Q_OBJECT

public:
    static constexpr qint32 PageSize = ReportPageSize;
    static constexpr int MaxPathLength = 199;
    static constexpr quint8 ClosingRowCode = 46;
    static constexpr int InitialSpinMaximum = 100;

    explicit ReportPager(ConsoleContext &context, QObject *parent = nullptr);
    ~ReportPager() override;

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
