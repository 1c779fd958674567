#pragma once

#include "events/eventexport.h"
#include "station/history.h"

#include <QAbstractTableModel>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <optional>

namespace dorvan::station {

// The Russian name of a kind of event, for the operator: "alarm" is
// "Срабатывание"; an unknown word is shown as it is.
QString historyKindLabel(const QString &kind);

// The events a history search found, read a page at a time as the view
// scrolls (canFetchMore / fetchMore), so that a search finding millions
// holds only the pages seen. The journal is read on a thread of the model's
// own through a HistoryQuery opened there; the window's thread never waits
// for it. A new search drops whatever the previous one still brings.
class HistoryModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int PageRows = 500;
    static constexpr qint64 CountCap = 100'000; // counted exactly up to this many
    enum Column { Time, Site, Kind, Address, Loop, Text, Code, ColumnCount };

    using Use = std::function<QString(const QList<HistoryRow> &rows, bool more)>; // an error, or nothing
    using Used = std::function<void(const QString &error)>;
    using Exported = std::function<void(qint64 exported, const QString &error)>;

    static QString cellText(const HistoryRow &row, int column);
    static QStringList columnTitles();

    explicit HistoryModel(QString journalPath, QObject *parent = nullptr);
    ~HistoryModel() override;

    void search(const HistoryFilter &filter);
    const HistoryFilter &filter() const { return filter_; }
    // The first page or the count of the last search is still being read.
    bool searching() const { return !firstPageIn_ || !found_; }
    // How many the last search found, up to CountCap + 1 (more than the cap).
    std::optional<qint64> found() const { return found_; }
    const HistoryRow &row(int row) const { return rows_.at(row); }

    // Up to cap events of the last search, handed to use on the model's
    // thread (a printout is painted there, not on the window's); done then
    // gets use's error, or the journal's, on the window's thread.
    void collect(int cap, Use use, Used done);
    // Every event of the last search as CSV or JSON lines to a file,
    // replaced when complete; done is called on the window's thread.
    void exportTo(const QString &path, ExportFormat format, Exported done);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    void searchStarted();
    void pageArrived();
    void counted(qint64 found);
    void searchFinished(); // its first page and its count are in
    void failed(const QString &error); // Russian, for the operator

private:
    // Runs on the model's thread; apply then runs on the window's, unless a
    // newer search came first.
    void inWorker(std::function<void()> job);
    void reply(quint64 search, std::function<void()> apply);
    bool openQuery(QString *error);
    void pageArrivedFor(const std::optional<HistoryPage> &page, const QString &error);
    void countedFor(std::optional<qint64> found, const QString &error);

    HistoryQuery query_;        // opened and used on thread_ only
    bool opened_ = false;       // on thread_
    QThread thread_;
    QObject *worker_ = nullptr; // lives on thread_
    quint64 search_ = 0;
    HistoryFilter filter_;
    QList<HistoryRow> rows_;
    HistoryCursor last_;
    bool more_ = false;
    bool fetching_ = false;
    bool firstPageIn_ = true;
    std::optional<qint64> found_ = 0;
};

} // namespace dorvan::station
