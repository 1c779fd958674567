#include "station/models.h"

#include <algorithm>

namespace dorvan::station {

namespace {

const QString timeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

QString shownTime(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(timeFormat) : QString();
}

Tone alarmTone(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::Trip: return Tone::Alarm;
    case AlarmKind::LinkLost: return Tone::NoLink;
    case AlarmKind::BrokerLost: return Tone::Unknown;
    case AlarmKind::Offline: return Tone::Offline;
    case AlarmKind::Stale:
    case AlarmKind::ClockSkew: return Tone::Stale;
    case AlarmKind::Fault:
    case AlarmKind::ConsoleDown:
    case AlarmKind::LineStopped:
    case AlarmKind::Gap: return Tone::Fault;
    }
    return Tone::Fault;
}

// Posts sort as people read numbered names: post2 before post10.
bool siteBefore(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const QStringView numberA = QStringView(a).mid(startA, i - startA);
            const QStringView numberB = QStringView(b).mid(startB, j - startB);
            const qulonglong valueA = numberA.toULongLong(), valueB = numberB.toULongLong();
            if (valueA != valueB)
                return valueA < valueB;
            continue;
        }
        if (a[i] != b[j])
            return a[i].toCaseFolded() != b[j].toCaseFolded() ? a[i].toCaseFolded() < b[j].toCaseFolded() : a[i] < b[j];
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

} // namespace

// --- the board ---

int BoardModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(posts_.size());
}

QVariant BoardModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= posts_.size())
        return {};
    const PostView &post = posts_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case KeyRole: return post.site;
    case ToneRole: return int(post.tone);
    case BlinkRole: return post.blink;
    case AlarmCountRole: return post.alarms;
    case FaultCountRole: return post.faults;
    case NoLinkCountRole: return post.noLink;
    case StatusAgeRole: return post.statusAgeSeconds;
    case StateTextRole: return post.stateText;
    default: return {};
    }
}

QHash<int, QByteArray> BoardModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert({{KeyRole, "site"}, {ToneRole, "tone"}, {BlinkRole, "blink"}, {AlarmCountRole, "alarms"},
                  {FaultCountRole, "faults"}, {NoLinkCountRole, "noLink"}, {StatusAgeRole, "statusAge"},
                  {StateTextRole, "stateText"}});
    return names;
}

void BoardModel::setPost(const PostView &post)
{
    const auto place = std::lower_bound(posts_.begin(), posts_.end(), post.site,
                                        [](const PostView &one, const QString &site) { return siteBefore(one.site, site); });
    const int row = int(place - posts_.begin());
    if (place != posts_.end() && place->site == post.site) {
        if (*place == post)
            return;
        *place = post;
        emit dataChanged(index(row), index(row));
        return;
    }
    beginInsertRows({}, row, row);
    posts_.insert(row, post);
    endInsertRows();
}

void BoardModel::setAll(QList<PostView> posts)
{
    std::sort(posts.begin(), posts.end(), [](const PostView &a, const PostView &b) { return siteBefore(a.site, b.site); });
    beginResetModel();
    posts_ = std::move(posts);
    endResetModel();
}

int BoardModel::rowOf(const QString &site) const
{
    const auto place = std::lower_bound(posts_.begin(), posts_.end(), site,
                                        [](const PostView &one, const QString &key) { return siteBefore(one.site, key); });
    return place != posts_.end() && place->site == site ? int(place - posts_.begin()) : -1;
}

const PostView *BoardModel::post(const QString &site) const
{
    const int row = rowOf(site);
    return row < 0 ? nullptr : &posts_.at(row);
}

// --- the alarm list ---

bool showsBefore(const AlarmView &a, const AlarmView &b)
{
    const bool aNew = isUnacknowledged(a.state), bNew = isUnacknowledged(b.state);
    if (aNew != bNew)
        return aNew;
    if (a.priority() != b.priority())
        return a.priority() > b.priority();
    if (a.time != b.time)
        return a.time > b.time;
    return a.id > b.id;
}

int AlarmListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(alarms_.size());
}

int AlarmListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AlarmListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= alarms_.size())
        return {};
    const AlarmView &alarm = alarms_.at(index.row());
    switch (role) {
    case KeyRole: return alarm.id;
    case ToneRole: return int(alarmTone(alarm.kind));
    case BlinkRole: return isUnacknowledged(alarm.state);
    case Qt::DisplayRole: break;
    default: return {};
    }
    switch (index.column()) {
    case TimeColumn: return shownTime(alarm.time);
    case PostColumn: return alarm.site.isEmpty() ? QStringLiteral("Станция") : alarm.site;
    case SensorColumn: return alarm.sensor;
    case AlarmColumn: return alarm.text;
    case StateColumn: return alarm.escalated ? stateText(alarm.state) + QStringLiteral(", эскалирована") : stateText(alarm.state);
    case RepeatsColumn: return alarm.repeats > 0 ? QVariant(alarm.repeats) : QVariant(QString());
    case AcknowledgedColumn: return alarm.acknowledgedBy;
    default: return {};
    }
}

QVariant AlarmListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char16_t *const titles[] = {u"Время", u"Пост", u"Датчик", u"Тревога", u"Состояние", u"Повторы",
                                             u"Квитировал"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromUtf16(titles[section]);
}

int AlarmListModel::insertionRow(const AlarmView &alarm) const
{
    return int(std::lower_bound(alarms_.begin(), alarms_.end(), alarm, showsBefore) - alarms_.begin());
}

void AlarmListModel::removeRowAt(int row)
{
    beginRemoveRows({}, row, row);
    alarms_.removeAt(row);
    endRemoveRows();
}

void AlarmListModel::setAlarm(const AlarmView &alarm)
{
    const int row = rowOf(alarm.id);
    if (!isOpen(alarm.state)) {
        if (row >= 0)
            removeRowAt(row);
        return;
    }
    if (row < 0) {
        const int at = insertionRow(alarm);
        beginInsertRows({}, at, at);
        alarms_.insert(at, alarm);
        endInsertRows();
        return;
    }
    if (alarms_.at(row) == alarm)
        return;
    const AlarmView before = alarms_.takeAt(row);
    const int at = insertionRow(alarm);
    alarms_.insert(row, before);
    if (at != row) {
        beginMoveRows({}, row, row, {}, at > row ? at + 1 : at);
        alarms_.move(row, at);
        endMoveRows();
    }
    alarms_[at] = alarm;
    emit dataChanged(index(at, 0), index(at, ColumnCount - 1));
}

void AlarmListModel::setAll(QList<AlarmView> alarms)
{
    alarms.removeIf([](const AlarmView &alarm) { return !isOpen(alarm.state); });
    std::sort(alarms.begin(), alarms.end(), showsBefore);
    beginResetModel();
    alarms_ = std::move(alarms);
    endResetModel();
}

void AlarmListModel::removeAlarm(qint64 id)
{
    const int row = rowOf(id);
    if (row >= 0)
        removeRowAt(row);
}

int AlarmListModel::rowOf(qint64 id) const
{
    for (int row = 0; row < alarms_.size(); ++row) {
        if (alarms_.at(row).id == id)
            return row;
    }
    return -1;
}

// --- the shelved ---

int ShelvedListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shelves_.size());
}

int ShelvedListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ShelvedListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shelves_.size())
        return {};
    const ShelfView &shelf = shelves_.at(index.row());
    if (role == KeyRole)
        return shelf.id;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case UntilColumn: return shownTime(shelf.until);
    case PostColumn: return shelf.site;
    case WhatColumn: return shelf.what;
    case StateColumn: return shelf.state.isEmpty() ? QStringLiteral("нет открытых тревог") : shelf.state;
    case OperatorColumn: return shelf.operatorName;
    case ReasonColumn: return shelf.reason;
    default: return {};
    }
}

QVariant ShelvedListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char16_t *const titles[] = {u"Отложено до", u"Пост", u"Что", u"Состояние", u"Отложил", u"Причина"};
    static const char16_t *const outOfServiceTitles[] = {u"Выведено", u"Пост", u"Что", u"Состояние", u"Вывел", u"Причина"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromUtf16((outOfService_ ? outOfServiceTitles : titles)[section]);
}

void ShelvedListModel::setAll(QList<ShelfView> shelves)
{
    std::sort(shelves.begin(), shelves.end(),
              [](const ShelfView &a, const ShelfView &b) { return a.until != b.until ? a.until < b.until : a.id < b.id; });
    if (shelves == shelves_)
        return;
    beginResetModel();
    shelves_ = std::move(shelves);
    endResetModel();
}

// --- a post's sensors ---

Tone SensorView::tone() const
{
    if (outOfService)
        return Tone::OutOfService;
    if (loop1 == LoopState::Alarm || loop2 == LoopState::Alarm)
        return Tone::Alarm;
    if (link == LinkState::Lost)
        return Tone::NoLink;
    if (!fault.isEmpty())
        return Tone::Fault;
    if (link == LinkState::Unknown)
        return Tone::Unknown;
    return Tone::Normal;
}

SensorListModel::SensorListModel(Source source, QObject *parent)
    : QAbstractTableModel(parent), source_(std::move(source))
{
}

int SensorListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(sensors_.size());
}

int SensorListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SensorListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= sensors_.size())
        return {};
    const SensorView &sensor = sensors_.at(index.row());
    if (role == KeyRole)
        return sensor.address;
    if (role == ToneRole)
        return int(sensor.tone());
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case AddressColumn: return sensor.address;
    case ModelColumn: return sensor.model;
    case LinkColumn: return linkText(sensor.link);
    case Loop1Column: return loopText(sensor.loop1);
    case Loop2Column: return loopText(sensor.loop2);
    case FaultColumn:
        if (sensor.outOfService)
            return sensor.fault.isEmpty() ? QStringLiteral("выведен из работы")
                                          : QStringLiteral("выведен из работы; ") + sensor.fault;
        return sensor.fault;
    case ChangedColumn: return shownTime(sensor.changed);
    case Signal1Column: return sensor.signal1;
    case Signal2Column: return sensor.signal2;
    default: return {};
    }
}

QVariant SensorListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char16_t *const titles[] = {u"Адрес", u"Модель", u"Связь", u"Шлейф 1", u"Шлейф 2",
                                             u"Неисправность", u"Изменение", u"Сигнал 1", u"Сигнал 2"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromUtf16(titles[section]);
}

void SensorListModel::showPost(const QString &site)
{
    beginResetModel();
    site_ = site;
    sensors_ = site.isEmpty() ? QList<SensorView>() : source_(site);
    endResetModel();
}

int SensorListModel::rowOf(quint16 address) const
{
    const auto place = std::lower_bound(sensors_.begin(), sensors_.end(), address,
                                        [](const SensorView &one, quint16 key) { return one.address < key; });
    return place != sensors_.end() && place->address == address ? int(place - sensors_.begin()) : -1;
}

void SensorListModel::sensorChanged(const QString &site, const SensorView &sensor)
{
    if (site != site_ || site.isEmpty())
        return;
    const int row = rowOf(sensor.address);
    if (row >= 0) {
        if (sensors_.at(row) == sensor)
            return;
        sensors_[row] = sensor;
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        return;
    }
    const int at = int(std::lower_bound(sensors_.begin(), sensors_.end(), sensor.address,
                                        [](const SensorView &one, quint16 key) { return one.address < key; })
                       - sensors_.begin());
    beginInsertRows({}, at, at);
    sensors_.insert(at, sensor);
    endInsertRows();
}

void SensorListModel::sensorRemoved(const QString &site, quint16 address)
{
    const int row = site == site_ ? rowOf(address) : -1;
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    sensors_.removeAt(row);
    endRemoveRows();
}

QString linkText(LinkState link)
{
    switch (link) {
    case LinkState::Up: return QStringLiteral("есть");
    case LinkState::Lost: return QStringLiteral("нет связи");
    case LinkState::Unknown: break;
    }
    return QStringLiteral("неизвестно");
}

QString loopText(LoopState loop)
{
    switch (loop) {
    case LoopState::Disarmed: return QStringLiteral("снят с охраны");
    case LoopState::Normal: return QStringLiteral("норма");
    case LoopState::Alarm: return QStringLiteral("тревога");
    case LoopState::Unknown: break;
    }
    return QStringLiteral("неизвестно");
}

} // namespace dorvan::station
