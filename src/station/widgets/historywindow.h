#pragma once

#include "events/eventexport.h"
#include "station/history.h"

#include <QList>
#include <QWidget>

class QAbstractItemModel;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPagedPaintDevice;
class QPushButton;
class QTableView;

namespace dorvan::station {

class HistoryModel;

// What a printed or saved history holds: the search, as the operator asked
// it, and the events found, cut at a cap.
struct HistoryPrintout
{
    QString title;
    QString filterText;
    QList<HistoryRow> rows;
    bool cut = false; // more were found than rows holds
};

// Lays the events out as a table on the device's pages, the header and the
// search repeated on each, "Лист N из M" at the foot. Returns the pages
// painted, 0 when the device could not be painted on.
int paintHistory(QPagedPaintDevice &device, const HistoryPrintout &printout);

// The journal's history for the operator: a search by post, sensor, kinds,
// the post's wall time and text, its events in a table read page by page
// as it scrolls, how many were found, and the found events printed, saved
// as PDF (the first PrintCap of them) or exported as CSV or JSON lines (all
// of them). Searches and exports read the journal on the model's thread:
// the window, and the station with it, never waits for the journal.
class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PrintCap = 10'000;

    // posts: the known posts, for the post field (the board's model).
    HistoryWindow(const QString &journalPath, QAbstractItemModel *posts, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    HistoryModel &model() { return *model_; }
    QTableView &table() { return *table_; }

    // The search the fields ask for.
    HistoryFilter filterOfFields() const;
    void search();
    // What the last search found, to a file; written() tells when it is done.
    void savePdf(const QString &path);
    void exportFile(const QString &path, ExportFormat format);

signals:
    void written(const QString &path, const QString &error);

private:
    QWidget *makeFilters();
    QWidget *makeKinds();
    QWidget *makeActions();
    void refreshState();
    void print();
    void askPdf();
    void askExport(ExportFormat format);
    void printOut(std::function<QString(const HistoryPrintout &printout)> paint, const QString &path);
    QString describe(const HistoryFilter &filter) const;
    void showError(const QString &text);
    void setBusy(bool busy);

    HistoryModel *model_ = nullptr;
    QComboBox *post_ = nullptr;
    QLineEdit *address_ = nullptr;
    QList<QCheckBox *> kinds_;
    QCheckBox *fromOn_ = nullptr;
    QDateTimeEdit *from_ = nullptr;
    QCheckBox *toOn_ = nullptr;
    QDateTimeEdit *to_ = nullptr;
    QLineEdit *text_ = nullptr;
    QPushButton *find_ = nullptr;
    QLabel *found_ = nullptr;
    QTableView *table_ = nullptr;
    QList<QPushButton *> outputs_;
    int busy_ = 0; // prints and exports under way
};

} // namespace dorvan::station
