#include "sensors/recordio.h"

#include <QFile>

namespace dorvan {

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
    const bool whole = file.seek(offset)
                       && file.write(record.data(), record.size()) == record.size()
                       && file.flush();
    file.close();
    return whole;
}

} // namespace dorvan
