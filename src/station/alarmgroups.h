#pragma once

#include "station/floods.h"
#include "station/models.h"

#include <QAbstractItemModel>
#include <QTimer>

namespace dorvan::station {

// The alarm list as the window shows it: a flooding post's alarms folded
// into one row, so that the other posts' alarms stay in sight. Top-level rows
// are the alarms of the posts that do not flood, in the list's order, and one
// row per flooding post where its most urgent alarm would be; that row's
// children are the post's alarms, in order. The group row reads the post,
// "N тревог (поток)", how many wait for acknowledgement and the newest time;
// it has the tone of its first alarm and blinks while any waits. KeyRole is
// the alarm's id on an alarm row, the post's name on a group row.
//
// The raisings the detector counts: an alarm new to the list or repeated.
// The alarms the list starts with (the journal's, at opening) are not.
class AlarmGroupModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    AlarmGroupModel(AlarmListModel &source, const Clock &clock, FloodLimits limits, QObject *parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    bool isGroup(const QModelIndex &index) const;
    // The row of the list behind an alarm row; -1 for a group row.
    int sourceRow(const QModelIndex &index) const;
    // Every second while a post floods (the model's own timer): an ended
    // flood lets its alarms out into the list.
    void recheck();

private:
    struct Alarm
    {
        qint64 id;
        int sourceRow;
    };
    struct Group
    {
        QString site;
        int topRow = 0;
        int unacknowledged = 0;
        int newestRow = 0; // the source row with the latest time
        QList<Alarm> alarms;
    };
    struct Row
    {
        Alarm alarm;
        int group; // -1: an alarm row
    };
    struct Key
    {
        bool group;
        qint64 id;
        QString site;
    };

    void sourceChanged();
    void sourceReset();
    void noteRaisings(bool counted);
    bool reviewFloods();
    void rebuild();
    void layOut();
    void addToGroup(int sourceRow, const AlarmView &alarm);
    Key keyOf(const QModelIndex &index) const;
    QModelIndex indexOf(const Key &key, int column) const;
    QVariant groupData(const Group &group, int column, int role) const;
    void keepTimerToFloods();

    AlarmListModel &source_;
    FloodDetector detector_;
    QHash<qint64, int> repeatsSeen_;
    QList<Row> rows_;
    QList<Group> groups_;
    QHash<qint64, QPair<int, int>> placeOf_; // alarm id: group (-1: top level), row
    QHash<QString, int> groupOf_;            // site: group
    QTimer recheckTimer_;
};

} // namespace dorvan::station
