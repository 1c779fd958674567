#pragma once

#include "sensors/sensorrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace dorvan::sim {

// A sensor as a normal shutdown of the console leaves it in its files.
struct StoredSensor
{
    quint32 address = 0;
    qint16 model = 0;
    bool armed1 = false;
    bool armed2 = false;
    float dc1 = 0;
    float dc2 = 0;
};

constexpr qint32 defaultPassword = 482915;

// The four sensors of the demonstration, two of each model, some loops armed.
QList<StoredSensor> demoSensors();

// hw.dat: the 32 slots (address u32, model i16), port index, password.
QByteArray settingsFileBytes(const QList<StoredSensor> &sensors, qint16 portIndex, qint32 password);
// The last record of a sensor's own file after a normal shutdown, in `slot`.
SensorRecord shutdownRecord(const StoredSensor &sensor, int slot, double connectedAt);
// One 40-byte record of chop.dat: mark, deleted flag, Windows-1251 name.
QByteArray operatorRecordBytes(const QString &name);

// Writes a working directory in which the console starts with the given
// sensors (at most 32, in slots 0 on) connected and one operator: the six
// directories, ports/, data/hw.dat, data/chop.dat and one file per sensor.
bool makeWorkDir(const QString &dir, const QList<StoredSensor> &sensors, const QDateTime &now,
                 QString *error);
inline bool makeDemoWorkDir(const QString &dir, const QDateTime &now, QString *error)
{
    return makeWorkDir(dir, demoSensors(), now, error);
}

} // namespace dorvan::sim
