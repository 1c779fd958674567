#include "sensors/settingsfiles.h"

#include "sensors/recordio.h"

#include <cerrno>
#include <cmath>
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

// A record the console can have written for this slot: its own mark, the
// sensor that hw.dat and the file's name give, and flags and DC components
// it could only have stored as such (a garbage DC would be sent to the sensor).
bool ownRecord(const SensorRecord &stored, const SensorRecord &slot)
{
    return stored.recordMark == 1 && stored.address == slot.address && stored.model == slot.model
           && stored.armed1 <= 1 && stored.armed2 <= 1 && std::isfinite(stored.thresholdDc1)
           && std::isfinite(stored.thresholdDc2);
}

// The slot of a sensor whose file gave nothing trustworthy: hw.dat's identity,
// no link, both loops armed (a perimeter left unguarded by a damaged file is
// worse than an alarm the operator clears), connection unknown.
SensorRecord unknownRecord(const SensorRecord &slotFromHw, int slot)
{
    SensorRecord r;
    r.address = slotFromHw.address;
    r.model = slotFromHw.model;
    r.position = qint16(slot);
    r.connectedBy = -1;
    r.state = SensorState::NoLink;
    r.alarm1 = r.alarm2 = 1;
    r.armed1 = r.armed2 = 1;
    return r;
}

} // namespace

SensorFiles::SensorFiles(WorkContext &context, SensorTable &table, HardwareSettings &hardware)
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
        context_.faults.plain(LogArea::Files, QStringLiteral("Save_sm: передан неверный параметр"));
        return false;
    }
    if (record.address == 0)
        return true;
    const QString path = context_.path(sensorFile(record.address, record.model));
    const QString name = messageName(record.address, record.model);
    const RecordWrite written = mode == 'a' ? appendRecord(path, bytesOf(record), Sync::Yes)
                                            : overwriteLastRecord(path, bytesOf(record));
    if (!written.written()) {
        context_.faults.error(LogArea::Files, writeFailureText(QStringLiteral("Save_sm"), name, written));
        return false;
    }
    const QString tail = droppedTailText(QStringLiteral("Save_sm"), name, written);
    if (!tail.isEmpty())
        qCWarning(lcFiles).noquote() << tail;
    return true;
}

void SensorFiles::saveSlot(int slot, bool operatorActed)
{
    const SensorRecord &r = table_[slot];
    switch (table_.storedRecord[size_t(slot)]) {
    case StoredRecord::Sound:
        Save_sm(r, 'u');
        return;
    case StoredRecord::Damaged:
        if (!operatorActed) {
            qCWarning(lcFiles).noquote()
                << QStringLiteral("Save_sm: запись датчика не сохранена, файл %1 оставлен как есть "
                                  "до действия оператора")
                       .arg(messageName(r.address, r.model));
            return;
        }
        break;
    case StoredRecord::Refounded:
        break;
    }
    // The damaged record stays in the file as it was found, the new one after it.
    if (Save_sm(r, 'a'))
        table_.storedRecord[size_t(slot)] = StoredRecord::Sound;
}

SensorFiles::Loaded SensorFiles::loadLastRecord(int slot, int &error)
{
    SensorRecord &r = table_[slot];
    const LastRecord last = readLastRecord(context_.path(sensorFile(r.address, r.model)), RecordSize);
    if (!last.opened) {
        error = last.error;
        if (error == ENOENT)
            return Loaded::NotOpened;
        // There, but not readable now (a permission, a disk error, a FIFO in
        // its place): the sensor stays guarded and its file untouched.
        r = unknownRecord(r, slot);
        table_.storedRecord[size_t(slot)] = StoredRecord::Damaged;
        return Loaded::Unreadable;
    }
    // A partial tail is not a record: the last whole one counts.
    Loaded loaded = Loaded::NoWholeRecord;
    if (last.bytes.size() == RecordSize) {
        SensorRecord stored;
        std::memcpy(static_cast<void *>(&stored), last.bytes.constData(), RecordSize);
        if (ownRecord(stored, r)) {
            r = stored;
            // The receiver takes the slot index from this field: it must name
            // the slot the record now sits in, whatever the file says.
            r.position = qint16(slot);
            return Loaded::Own;
        }
        loaded = Loaded::Damaged;
    }
    r = unknownRecord(r, slot);
    table_.storedRecord[size_t(slot)] = StoredRecord::Damaged;
    return loaded;
}

void SensorFiles::Ini_sm()
{
    const QString unknownTaken = QStringLiteral("; оба шлейфа взяты на охрану, постоянная составляющая "
                                                "порога не передаётся, пока её не задаст оператор");
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!table_.occupied(slot))
            continue;
        SensorRecord &r = table_[slot];
        const QString name = messageName(r.address, r.model);
        int error = 0;
        switch (loadLastRecord(slot, error)) {
        case Loaded::Own:
            continue;
        case Loaded::Damaged:
            context_.faults.error(LogArea::Files, QStringLiteral("Ini_sm: повреждена последняя запись файла ")
                                                       + name + unknownTaken);
            continue;
        case Loaded::NoWholeRecord:
            context_.faults.error(LogArea::Files, QStringLiteral("Ini_sm: нет ни одной целой записи в файле ")
                                                       + name + unknownTaken);
            continue;
        case Loaded::Unreadable:
            context_.faults.error(LogArea::Files, QStringLiteral("Ini_sm: не открылся файл ") + name + QStringLiteral(": ")
                                                       + fileErrorText(error)
                                                       + QStringLiteral("; датчик оставлен в таблице без связи, "
                                                                        "файл не изменён")
                                                       + unknownTaken);
            continue;
        case Loaded::NotOpened:
            break;
        }
        context_.faults.error(LogArea::Files, QStringLiteral("Ini_sm: не открылся файл ") + name);
        r.address = 0;
        r.model = 0;
        r.position = 0;
        hardware_.Save_Hw();
    }
}

} // namespace dorvan
