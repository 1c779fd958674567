#include "sensors/settingsfiles.h"

#include "sensors/recordio.h"

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

bool SensorFiles::Save_sm(const SensorRecord &record, char mode)
{
    if (mode != 'a' && mode != 'u') {
        context_.reports.plain(LogArea::Files, QStringLiteral("Save_sm: передан неверный параметр"));
        return false;
    }
    if (record.address == 0)
        return true;
    const QString path = context_.path(sensorFile(record.address, record.model));
    const QString name = messageName(record.address, record.model);
    const RecordWrite written = mode == 'a' ? appendRecord(path, bytesOf(record), Sync::Yes)
                                            : overwriteLastRecord(path, bytesOf(record));
    if (!written.written()) {
        context_.reports.error(LogArea::Files, writeFailureText(QStringLiteral("Save_sm"), name, written));
        return false;
    }
    const QString tail = droppedTailText(QStringLiteral("Save_sm"), name, written);
    if (!tail.isEmpty())
        qCWarning(logCategory(LogArea::Files)).noquote() << tail;
    return true;
}

bool SensorFiles::loadLastRecord(int slot)
{
    SensorRecord &r = table_[slot];
    // Only the last whole record is read: a file of any length starts at once.
    const LastRecord last = readLastRecord(context_.path(sensorFile(r.address, r.model)), RecordSize);
    if (!last.opened)
        return false;
    // A partial tail is not a record; an empty file leaves the slot as hw.dat set it.
    if (last.bytes.size() == RecordSize) {
        std::memcpy(static_cast<void *>(&r), last.bytes.constData(), RecordSize);
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
