#pragma once

#include "events/eventrecord.h"
#include "sensors/sensorrecord.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QTest>
#include <QtEndian>

#include <cstring>

namespace dorvan::test {

// A file's bytes; empty when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &bytes,
                      QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY(file.open(mode));
    file.write(bytes);
}

inline void appendFile(const QString &path, const QByteArray &bytes)
{
    writeFile(path, bytes, QIODevice::WriteOnly | QIODevice::Append);
}

// A record of the console's files as it lies on disk.
template<typename Record>
QByteArray bytesOf(const Record &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

// The record that starts `at` bytes into `bytes`, which must hold it whole.
template<typename Record>
Record recordAt(const QByteArray &bytes, qsizetype at = 0)
{
    Record record;
    std::memcpy(static_cast<void *>(&record), bytes.constData() + at, sizeof record);
    return record;
}

// The whole records of an event file, oldest first; a torn tail is left out.
inline QList<EventRecord> readEvents(const QString &path)
{
    const QByteArray bytes = readAll(path);
    QList<EventRecord> events;
    for (qsizetype at = 0; at + qsizetype(sizeof(EventRecord)) <= bytes.size(); at += sizeof(EventRecord))
        events.append(recordAt<EventRecord>(bytes, at));
    return events;
}

inline void writeEvents(const QString &path, const QList<EventRecord> &records,
                        QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QByteArray bytes;
    for (const EventRecord &record : records)
        bytes += bytesOf(record);
    writeFile(path, bytes, mode);
}

// The last whole record of a sensor's file; a zeroed one when there is none.
inline SensorRecord lastSensorRecord(const QByteArray &bytes)
{
    constexpr qsizetype size = sizeof(SensorRecord);
    return bytes.size() >= size ? recordAt<SensorRecord>(bytes, bytes.size() - size) : SensorRecord();
}

// A record of data/chop.dat: the name's Windows-1251 bytes, cut to its 38-byte field.
inline QByteArray operatorRecord(const QByteArray &name, bool deleted = false)
{
    QByteArray record(40, '\0');
    record[0] = 1;
    record[1] = deleted ? 1 : 0;
    record.replace(2, qMin(name.size(), qsizetype(38)), name.left(38));
    return record;
}

// data/hw.dat with one sensor in `slot`.
inline QByteArray hwBytes(int slot, quint32 address, qint16 model, qint16 port = 0, qint32 password = 482915)
{
    QByteArray bytes(198, '\0');
    qToLittleEndian(address, bytes.data() + 6 * slot);
    qToLittleEndian(model, bytes.data() + 6 * slot + 4);
    qToLittleEndian(port, bytes.data() + 192);
    qToLittleEndian(password, bytes.data() + 194);
    return bytes;
}

} // namespace dorvan::test
