#include "station/alarmgroups.h"

namespace dorvan::station {

namespace {

constexpr quintptr TopLevel = 0;

// "12 тревог", "21 тревога", "3 тревоги".
QString alarmCount(int count)
{
    const int lastTwo = count % 100, last = count % 10;
    const char16_t *word = (lastTwo >= 11 && lastTwo <= 14) || last == 0 || last >= 5 ? u"тревог"
                           : last == 1                                              ? u"тревога"
                                                                                    : u"тревоги";
    return QStringLiteral("%1 %2 (поток)").arg(count).arg(QString::fromUtf16(word));
}

} // namespace

AlarmGroupModel::AlarmGroupModel(AlarmListModel &source, const Clock &clock, FloodLimits limits, QObject *parent)
    : QAbstractItemModel(parent), source_(source), detector_(clock, limits)
{
    const auto changed = [this] { sourceChanged(); };
    connect(&source_, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&source_, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&source_, &QAbstractItemModel::rowsMoved, this, changed);
    connect(&source_, &QAbstractItemModel::dataChanged, this, changed);
    connect(&source_, &QAbstractItemModel::layoutChanged, this, changed);
    connect(&source_, &QAbstractItemModel::modelReset, this, &AlarmGroupModel::sourceReset);
    recheckTimer_.setInterval(1000);
    connect(&recheckTimer_, &QTimer::timeout, this, &AlarmGroupModel::recheck);
    noteRaisings(false);
    layOut();
}

QModelIndex AlarmGroupModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= AlarmListModel::ColumnCount)
        return {};
    if (!parent.isValid())
        return row < rows_.size() ? createIndex(row, column, TopLevel) : QModelIndex();
    if (!isGroup(parent))
        return {};
    const int group = rows_.at(parent.row()).group;
    return row < groups_.at(group).alarms.size() ? createIndex(row, column, quintptr(group) + 1) : QModelIndex();
}

QModelIndex AlarmGroupModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == TopLevel)
        return {};
    return createIndex(groups_.at(int(child.internalId() - 1)).topRow, 0, TopLevel);
}

int AlarmGroupModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(rows_.size());
    return parent.column() == 0 && isGroup(parent) ? int(groups_.at(rows_.at(parent.row()).group).alarms.size()) : 0;
}

int AlarmGroupModel::columnCount(const QModelIndex &) const
{
    return AlarmListModel::ColumnCount;
}

bool AlarmGroupModel::isGroup(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.internalId() == TopLevel && rows_.at(index.row()).group >= 0;
}

int AlarmGroupModel::sourceRow(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || isGroup(index))
        return -1;
    if (index.internalId() == TopLevel)
        return rows_.at(index.row()).alarm.sourceRow;
    return groups_.at(int(index.internalId() - 1)).alarms.at(index.row()).sourceRow;
}

QVariant AlarmGroupModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (isGroup(index))
        return groupData(groups_.at(rows_.at(index.row()).group), index.column(), role);
    return source_.index(sourceRow(index), index.column()).data(role);
}

QVariant AlarmGroupModel::groupData(const Group &group, int column, int role) const
{
    switch (role) {
    case KeyRole: return group.site;
    case ToneRole: return source_.index(group.alarms.first().sourceRow, 0).data(ToneRole);
    case BlinkRole: return group.unacknowledged > 0;
    case Qt::DisplayRole: break;
    default: return {};
    }
    switch (column) {
    case AlarmListModel::TimeColumn: return source_.index(group.newestRow, column).data();
    case AlarmListModel::PostColumn: return group.site;
    case AlarmListModel::AlarmColumn: return alarmCount(int(group.alarms.size()));
    case AlarmListModel::StateColumn:
        return group.unacknowledged > 0 ? QStringLiteral("не квитировано: %1").arg(group.unacknowledged)
                                        : QStringLiteral("все квитированы");
    default: return QString();
    }
}

QVariant AlarmGroupModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return source_.headerData(section, orientation, role);
}

void AlarmGroupModel::recheck()
{
    if (reviewFloods())
        rebuild();
    keepTimerToFloods();
}

void AlarmGroupModel::sourceChanged()
{
    noteRaisings(true);
    reviewFloods();
    rebuild();
    keepTimerToFloods();
}

void AlarmGroupModel::sourceReset()
{
    noteRaisings(false);
    reviewFloods();
    rebuild();
    keepTimerToFloods();
}

// Only the list's alarms are remembered: one shelved and back counts again.
void AlarmGroupModel::noteRaisings(bool counted)
{
    QHash<qint64, int> seen;
    seen.reserve(source_.rowCount());
    for (int row = 0; row < source_.rowCount(); ++row) {
        const AlarmView &alarm = source_.at(row);
        const auto before = repeatsSeen_.constFind(alarm.id);
        const bool raised = before == repeatsSeen_.cend() || alarm.repeats > before.value();
        // The station's own alarms are few and never a post's flood.
        if (counted && raised && !alarm.site.isEmpty())
            detector_.raised(alarm.site);
        seen.insert(alarm.id, alarm.repeats);
    }
    repeatsSeen_ = std::move(seen);
}

bool AlarmGroupModel::reviewFloods()
{
    if (!detector_.anyFlood())
        return false;
    QSet<QString> waiting;
    for (int row = 0; row < source_.rowCount(); ++row) {
        if (isUnacknowledged(source_.at(row).state))
            waiting.insert(source_.at(row).site);
    }
    bool ended = false;
    for (const QString &site : detector_.floodingSites())
        ended = detector_.review(site, waiting.contains(site)) || ended;
    return ended;
}

// Rows, selections and expanded groups stay with their alarm or post.
void AlarmGroupModel::rebuild()
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QList<Key> keys;
    keys.reserve(before.size());
    for (const QModelIndex &index : before)
        keys.append(keyOf(index));
    layOut();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(indexOf(keys.at(i), before.at(i).column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void AlarmGroupModel::layOut()
{
    rows_.clear();
    groups_.clear();
    placeOf_.clear();
    groupOf_.clear();
    for (int row = 0; row < source_.rowCount(); ++row) {
        const AlarmView &alarm = source_.at(row);
        if (!alarm.site.isEmpty() && detector_.floods(alarm.site)) {
            addToGroup(row, alarm);
            continue;
        }
        placeOf_.insert(alarm.id, {-1, int(rows_.size())});
        rows_.append({{alarm.id, row}, -1});
    }
}

void AlarmGroupModel::addToGroup(int sourceRow, const AlarmView &alarm)
{
    int number = groupOf_.value(alarm.site, -1);
    if (number < 0) {
        number = int(groups_.size());
        Group group;
        group.site = alarm.site;
        group.topRow = int(rows_.size());
        group.newestRow = sourceRow;
        rows_.append({{0, -1}, number});
        groups_.append(group);
        groupOf_.insert(alarm.site, number);
    }
    Group &group = groups_[number];
    group.unacknowledged += isUnacknowledged(alarm.state) ? 1 : 0;
    if (alarm.time > source_.at(group.newestRow).time)
        group.newestRow = sourceRow;
    placeOf_.insert(alarm.id, {number, int(group.alarms.size())});
    group.alarms.append({alarm.id, sourceRow});
}

AlarmGroupModel::Key AlarmGroupModel::keyOf(const QModelIndex &index) const
{
    if (isGroup(index))
        return {true, 0, groups_.at(rows_.at(index.row()).group).site};
    if (index.internalId() == TopLevel)
        return {false, rows_.at(index.row()).alarm.id, {}};
    return {false, groups_.at(int(index.internalId() - 1)).alarms.at(index.row()).id, {}};
}

QModelIndex AlarmGroupModel::indexOf(const Key &key, int column) const
{
    if (key.group) {
        const int group = groupOf_.value(key.site, -1);
        return group < 0 ? QModelIndex() : createIndex(groups_.at(group).topRow, column, TopLevel);
    }
    const auto place = placeOf_.constFind(key.id);
    if (place == placeOf_.cend())
        return {};
    const auto [group, row] = place.value();
    return createIndex(row, column, group < 0 ? TopLevel : quintptr(group) + 1);
}

void AlarmGroupModel::keepTimerToFloods()
{
    if (detector_.anyFlood() && !recheckTimer_.isActive())
        recheckTimer_.start();
    else if (!detector_.anyFlood())
        recheckTimer_.stop();
}

} // namespace dorvan::station
