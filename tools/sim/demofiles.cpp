#include "demofiles.h"

#include "base/cp1251.h"
#include "base/daycount.h"

#include <QDir>
#include <QSaveFile>

#include <cstring>
#include <sys/stat.h>

namespace dorvan::sim {

namespace {

constexpr int slotCount = 32;
constexpr int operatorRecordSize = 40;

template <typename T>
void appendRaw(QByteArray &bytes, T value)
{
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.append(raw, sizeof value);
}

// mode, when not 0, is the new file's mode whatever the umask.
bool writeFile(const QString &path, const QByteArray &bytes, QString *error, mode_t mode = 0)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && (mode == 0 || ::fchmod(file.handle(), mode) == 0)
        && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

QString sensorFilePath(const QString &dir, const StoredSensor &sensor)
{
    const QString modelDir = sensor.model == 0 ? QStringLiteral("Dorvan301DK") : QStringLiteral("Dorvan302DK");
    return QDir(dir).filePath(modelDir + u'/' + QString::number(sensor.address));
}

bool makeDirectories(const QString &dir, QString *error)
{
    for (const char *name : {"data", "Dorvan301DK", "Dorvan302DK", "Dorvan301DK_mess",
                             "Dorvan302DK_mess", "QReport", "ports"}) {
        const QString path = QDir(dir).filePath(QLatin1String(name));
        if (!QDir().mkpath(path)) {
            *error = QStringLiteral("cannot create %1").arg(path);
            return false;
        }
    }
    return true;
}

} // namespace

QList<StoredSensor> demoSensors()
{
    return {
        {1001, 0, true, true, 100, 0},
        {1002, 0, false, false, 0, 0},
        {2001, 1, true, false, 1.25f, 2.5f},
        {2002, 1, false, true, 0, 0},
    };
}

QByteArray settingsFileBytes(const QList<StoredSensor> &sensors, qint16 portIndex, qint32 password)
{
    QByteArray bytes;
    for (int slot = 0; slot < slotCount; ++slot) {
        const StoredSensor sensor = slot < sensors.size() ? sensors[slot] : StoredSensor{};
        appendRaw<quint32>(bytes, sensor.address);
        appendRaw<qint16>(bytes, sensor.model);
    }
    appendRaw<qint16>(bytes, portIndex);
    appendRaw<qint32>(bytes, password);
    return bytes;
}

SensorRecord shutdownRecord(const StoredSensor &sensor, int slot, double connectedAt)
{
    SensorRecord record;
    record.address = sensor.address;
    record.model = sensor.model;
    record.position = qint16(slot);
    record.connectedAt = connectedAt;
    record.connectedBy = 0;
    record.disconnectedBy = -1;
    record.armed1 = sensor.armed1 ? 1 : 0;
    record.armed2 = sensor.armed2 ? 1 : 0;
    record.state = 15;
    record.alarm1 = 1;
    record.alarm2 = 1;
    record.thresholdDc1 = sensor.dc1;
    record.thresholdDc2 = sensor.dc2;
    return record;
}

QByteArray operatorRecordBytes(const QString &name)
{
    QByteArray bytes(operatorRecordSize, '\0');
    bytes[0] = 1; // mark
    bytes[1] = 0; // active
    toCp1251Field(name, bytes.data() + 2, operatorRecordSize - 2);
    return bytes;
}

bool makeWorkDir(const QString &dir, const QList<StoredSensor> &sensors, const QDateTime &now,
                 QString *error)
{
    if (sensors.size() > slotCount) {
        *error = QStringLiteral("%1 sensors given, the console has %2 slots").arg(sensors.size()).arg(slotCount);
        return false;
    }
    if (!makeDirectories(dir, error))
        return false;
    const QString data = QDir(dir).filePath(QStringLiteral("data"));
    // hw.dat holds the password: for its owner's eyes only, as the console makes it.
    if (!writeFile(data + QStringLiteral("/hw.dat"), settingsFileBytes(sensors, 0, defaultPassword), error, 0600)
        || !writeFile(data + QStringLiteral("/chop.dat"), operatorRecordBytes(QStringLiteral("Иванов")), error))
        return false;
    const double connectedAt = toDayCount(now);
    for (int slot = 0; slot < sensors.size(); ++slot) {
        const SensorRecord record = shutdownRecord(sensors[slot], slot, connectedAt);
        const QByteArray bytes(reinterpret_cast<const char *>(&record), sizeof record);
        if (!writeFile(sensorFilePath(dir, sensors[slot]), bytes, error))
            return false;
    }
    return true;
}

} // namespace dorvan::sim
