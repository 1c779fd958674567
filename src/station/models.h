#pragma once

#include "station/alarmstates.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace dorvan::station {

// How a post, an alarm or a sensor is coloured.
enum class Tone { Normal, Alarm, Fault, NoLink, Unknown, Offline, Stale, OutOfService };

// The roles every model of the station answers besides Qt's.
enum Role {
    KeyRole = Qt::UserRole, // board: site; alarm list: qint64 alarm id; sensors: address
    ToneRole,               // int(Tone)
    BlinkRole,              // bool: unacknowledged
    AlarmCountRole,         // board: sensors with a loop in alarm
    FaultCountRole,         // board: sensors with a fault
    NoLinkCountRole,        // board: sensors without link
    StatusAgeRole,          // board: seconds since the last status renewal, -1 none
    StateTextRole,          // board: the post's state in a few words
};

// One tile of the board.
struct PostView
{
    QString site;
    Tone tone = Tone::Unknown;
    bool blink = false;
    int alarms = 0;
    int faults = 0;
    int noLink = 0;
    qint64 statusAgeSeconds = -1;
    QString stateText;
    int outOfService = 0; // sensors held out of service (the post's own state: its tone)

    bool operator==(const PostView &) const = default;
};

// Every post, one row each, sorted by name.
class BoardModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Inserts the post in its place or changes its row; unchanged: nothing emitted.
    void setPost(const PostView &post);
    void setAll(QList<PostView> posts);
    int rowOf(const QString &site) const; // -1 when unknown
    const PostView *post(const QString &site) const;

private:
    QList<PostView> posts_;
};

// One row of the alarm list.
struct AlarmView
{
    qint64 id = 0;
    AlarmKind kind = AlarmKind::Trip;
    AlarmState state = AlarmState::Unacknowledged;
    QDateTime time; // of the last activation
    QString site;   // empty: the station's own
    QString sensor; // "Дорван-301ДК № 1001", or empty
    int address = -1; // the sensor's, -1: none
    QString text;
    int repeats = 0;
    QString acknowledgedBy;
    bool escalated = false; // unacknowledged longer than its priority allows

    AlarmPriority priority() const { return priorityOf(kind); }
    bool operator==(const AlarmView &) const = default;
};

// Unacknowledged first, then by priority, then the newest first.
bool showsBefore(const AlarmView &a, const AlarmView &b);

// The open alarms, in the order of showsBefore().
class AlarmListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { TimeColumn, PostColumn, SensorColumn, AlarmColumn, StateColumn, RepeatsColumn,
                  AcknowledgedColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Puts the alarm in its place (moving the row when its order changed);
    // a closed one (state Normal) leaves the list.
    void setAlarm(const AlarmView &alarm);
    void setAll(QList<AlarmView> alarms);
    void removeAlarm(qint64 id); // shelved: out of this list while it is open
    int rowOf(qint64 id) const;
    const AlarmView &at(int row) const { return alarms_.at(row); }

private:
    void removeRowAt(int row);
    int insertionRow(const AlarmView &alarm) const;

    QList<AlarmView> alarms_;
};

// One row of the shelved: an alarm or a sensor's alarms, until when, by whom
// and why; of what is out of service: since when (in until).
struct ShelfView
{
    qint64 id = 0;  // the shelf's
    QString site;
    QString what;
    QString state;  // of the alarms it holds now, empty: none open
    QDateTime until;
    QString operatorName;
    QString reason;

    bool operator==(const ShelfView &) const = default;
};

// What is shelved, the soonest to come back first; KeyRole is the shelf's id.
class ShelvedListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { UntilColumn, PostColumn, WhatColumn, StateColumn, OperatorColumn, ReasonColumn, ColumnCount };

    // outOfService: the list of what is out of service, since when and by whom.
    explicit ShelvedListModel(bool outOfService = false, QObject *parent = nullptr)
        : QAbstractTableModel(parent), outOfService_(outOfService)
    {
    }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setAll(QList<ShelfView> shelves); // unchanged: nothing emitted
    const ShelfView &at(int row) const { return shelves_.at(row); }

private:
    bool outOfService_;
    QList<ShelfView> shelves_;
};

// Parts of a sensor's state as it is shown.
enum class LinkState { Unknown, Up, Lost };
enum class LoopState { Unknown, Disarmed, Normal, Alarm };

// One sensor row of a post's window.
struct SensorView
{
    quint16 address = 0;
    QString model;
    LinkState link = LinkState::Unknown;
    LoopState loop1 = LoopState::Unknown;
    LoopState loop2 = LoopState::Unknown;
    QString fault;    // empty: none
    QDateTime changed;
    QString signal1;  // "0,43 (порог 1,25)", empty: no minute yet
    QString signal2;
    bool outOfService = false; // by itself or with its post

    Tone tone() const;
    bool operator==(const SensorView &) const = default;
};

// The sensors of one post, chosen by showPost(), sorted by address.
class SensorListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { AddressColumn, ModelColumn, LinkColumn, Loop1Column, Loop2Column, FaultColumn,
                  ChangedColumn, Signal1Column, Signal2Column, ColumnCount };

    // The station's sensors of a site, sorted by address.
    using Source = std::function<QList<SensorView>(const QString &site)>;

    explicit SensorListModel(Source source, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void showPost(const QString &site);
    QString shownPost() const { return site_; }

    // From the station: a sensor of some post changed or went away.
    void sensorChanged(const QString &site, const SensorView &sensor);
    void sensorRemoved(const QString &site, quint16 address);

private:
    int rowOf(quint16 address) const;

    Source source_;
    QString site_;
    QList<SensorView> sensors_;
};

QString linkText(LinkState link);
QString loopText(LoopState loop);

} // namespace dorvan::station
