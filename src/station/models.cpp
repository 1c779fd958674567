#include "station/models.h"

namespace dorvan::station {

int BoardModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(posts_.size()); }
QVariant BoardModel::data(const QModelIndex &, int) const { return {}; }
QHash<int, QByteArray> BoardModel::roleNames() const { return QAbstractListModel::roleNames(); }
void BoardModel::setPost(const PostView &) {}
void BoardModel::setAll(QList<PostView>) {}
int BoardModel::rowOf(const QString &) const { return -1; }
const PostView *BoardModel::post(const QString &) const { return nullptr; }

bool showsBefore(const AlarmView &, const AlarmView &) { return false; }
int AlarmListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(alarms_.size()); }
int AlarmListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }
QVariant AlarmListModel::data(const QModelIndex &, int) const { return {}; }
QVariant AlarmListModel::headerData(int, Qt::Orientation, int) const { return {}; }
void AlarmListModel::setAlarm(const AlarmView &) {}
void AlarmListModel::setAll(QList<AlarmView>) {}
int AlarmListModel::rowOf(qint64) const { return -1; }
void AlarmListModel::removeRowAt(int) {}
int AlarmListModel::insertionRow(const AlarmView &) const { return 0; }

Tone SensorView::tone() const { return Tone::Unknown; }
SensorListModel::SensorListModel(Source source, QObject *parent) : QAbstractTableModel(parent), source_(std::move(source)) {}
int SensorListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(sensors_.size()); }
int SensorListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }
QVariant SensorListModel::data(const QModelIndex &, int) const { return {}; }
QVariant SensorListModel::headerData(int, Qt::Orientation, int) const { return {}; }
void SensorListModel::showPost(const QString &site) { site_ = site; }
void SensorListModel::sensorChanged(const QString &, const SensorView &) {}
void SensorListModel::sensorRemoved(const QString &, quint16) {}
int SensorListModel::rowOf(quint16) const { return -1; }
QString linkText(LinkState) { return {}; }
QString loopText(LoopState) { return {}; }

} // namespace dorvan::station
