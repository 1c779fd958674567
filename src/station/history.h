#pragma once

#include "station/journal.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

struct sqlite3;

namespace dorvan::station {

// What a search of the journal's events asks for; an empty field asks
// nothing of the events.
struct HistoryFilter
{
    QString site;      // one post
    int address = -1;  // one sensor of the posts searched
    QStringList kinds; // the uplink's words: alarm, fault, link_lost, ...
    // The post's own wall time, as its event list shows it: [from, to).
    QDateTime from;
    QDateTime to;
    QString text;      // contained in the event's text, whatever the case
};

// An event as the journal holds it (without its raw payload), with its
// place in the order of arrival.
struct HistoryRow : EventRow
{
    qint64 seq = 0;   // the journal's order of arrival
    QString received; // the station's clock, UTC, ISO 8601
};

// Where a page ended: the next one starts after this event. Results run by
// day; a post's in the order of its daily file, every post's in the order
// the station received them.
struct HistoryCursor
{
    QDate day;
    int number = -1;
    qint64 seq = 0; // the journal's order of arrival

    bool isValid() const { return day.isValid(); }
};

struct HistoryPage
{
    QList<HistoryRow> rows;
    HistoryCursor last; // of the page's last row; invalid for an empty page
    bool more = false;  // a next page has at least one row
};

// Searches the journal's events on a read-only connection of its own, a
// page at a time: a page costs what its rows cost, not what the journal
// holds, when the search names a post or days (through the journal's
// indexes events_by_post and events_by_day_text; a text searched in every
// post's days is read off the latter alone).
class HistoryQuery
{
public:
    explicit HistoryQuery(QString journalPath);
    ~HistoryQuery();
    HistoryQuery(const HistoryQuery &) = delete;
    HistoryQuery &operator=(const HistoryQuery &) = delete;

    // Errors are Russian, for the operator; the caller logs them.
    bool open(QString *error);
    void close();

    // At most limit events after the cursor (an invalid one: from the start).
    std::optional<HistoryPage> page(const HistoryFilter &filter, const HistoryCursor &after, int limit,
                                    QString *error);
    // How many events the filter finds, counted up to cap at most.
    std::optional<qint64> count(const HistoryFilter &filter, qint64 cap, QString *error);
    // SQLite's plan for the filter's page, one step a line.
    QStringList plan(const HistoryFilter &filter);
    // From any thread: the statement running now, if any, fails as interrupted.
    void interrupt();

private:
    QString path_;
    QString connection_;
    QSqlDatabase db_;
    std::mutex handleLock_;
    sqlite3 *handle_ = nullptr; // while open

};

// The words the uplink sends for kinds of events.
QStringList historyKinds();

} // namespace dorvan::station
