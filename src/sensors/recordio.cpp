#include "sensors/recordio.h"

#include <QFile>

namespace dorvan {

namespace {

bool writeAt(QFile &file, qint64 offset, QByteArrayView record)
{
    return file.seek(offset) && file.write(record.data(), record.size()) == record.size()
           && file.flush();
}

} // namespace

bool appendRecord(const QString &path, QByteArrayView record)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const qint64 oldSize = file.size();
    const bool whole = file.write(record.data(), record.size()) == record.size() && file.flush();
    if (!whole)
        file.resize(oldSize); // a torn record would shift every later one
    file.close();
    return whole;
}

bool writeRecordAt(const QString &path, qint64 offset, QByteArrayView record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const bool whole = writeAt(file, offset, record);
    file.close();
    return whole;
}

bool overwriteLastRecord(const QString &path, QByteArrayView record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const qint64 wholeRecords = file.size() / record.size();
    const qint64 offset = wholeRecords > 0 ? (wholeRecords - 1) * record.size() : 0;
    const bool whole = writeAt(file, offset, record);
    file.close();
    return whole;
}

} // namespace dorvan
