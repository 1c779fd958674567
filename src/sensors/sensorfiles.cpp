#include "sensors/settingsfiles.h"

#include "sensors/recordio.h"

#include <QFile>

#include <cstring>

namespace dorvan {

namespace {

constexpr qint64 RecordSize = sizeof(SensorRecord);

QByteArrayView bytesOf(const SensorRecord &record)
{
    return QByteArrayView(reinterpret_cast<const char *>(&record), RecordSize);
}

// "Dorvan301DK\1234": the file as the operator's messages name it.
QString messageName(quint32 address, int model)
{
    return (model == 0 ? QStringLiteral("Dorvan301DK\\") : QStringLiteral("Dorvan302DK\\"))
           + QString::number(address);
}

} // namespace

SensorFiles::SensorFiles(ConsoleContext &context, SensorTable &table, HardwareSettings &hardware)
    : context_(context), table_(table), hardware_(hardware)
{
}

QString SensorFiles::sensorFile(quint32 address, int model)
{
    return (model == 0 ? QStringLiteral("Dorvan301DK/") : QStringLiteral("Dorvan302DK/"))
           + QString::number(address);
}

void SensorFiles::Save_sm(const SensorRecord &record, char mode)
{
    if (mode != 'a' && mode != 'u') {
        context_.reports.plain(LogArea::Files, QStringLiteral("Save_sm: передан неверный параметр"));
        return;
    }
    if (record.address == 0)
        return;
    const QString path = context_.path(sensorFile(record.address, record.model));
    const bool written = mode == 'a' ? appendRecord(path, bytesOf(record))
                                     : overwriteLastRecord(path, bytesOf(record));
    if (!written)
        context_.reports.error(LogArea::Files, QStringLiteral("Save_sm: не открылся файл ")
                                + messageName(record.address, record.model));
}

bool SensorFiles::loadLastRecord(int slot)
{
    SensorRecord &r = table_[slot];
    QFile file(context_.path(sensorFile(r.address, r.model)));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();
    // A partial tail is not a record; an empty file leaves the slot as hw.dat set it.
    const qint64 wholeRecords = bytes.size() / RecordSize;
    if (wholeRecords > 0) {
        std::memcpy(static_cast<void *>(&r), bytes.constData() + (wholeRecords - 1) * RecordSize,
                    RecordSize);
        // The receiver takes the slot index from this field: it must name
        // the slot the record now sits in, whatever the file says.
        r.position = qint16(slot);
    }
    return true;
}

void SensorFiles::Ini_sm()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!table_.occupied(slot) || loadLastRecord(slot))
            continue;
        SensorRecord &r = table_[slot];
        context_.reports.error(LogArea::Files, QStringLiteral("Ini_sm: не открылся файл ")
                                + messageName(r.address, r.model));
        r.address = 0;
        r.model = 0;
        r.position = 0;
        hardware_.Save_Hw();
    }
}

} // namespace dorvan
