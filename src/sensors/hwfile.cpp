#include "sensors/settingsfiles.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

namespace dorvan {

namespace {

constexpr int SlotFieldSize = 6;
constexpr int PortOffset = 192;
constexpr int PasswordOffset = 194;

template<typename T>
void put(QByteArray &bytes, int offset, T value)
{
    qToLittleEndian(value, bytes.data() + offset);
}

// A field the file is too short to hold keeps the value it had.
template<typename T>
void take(const QByteArray &bytes, int offset, T &field)
{
    if (offset + qsizetype(sizeof(T)) <= bytes.size())
        field = qFromLittleEndian<T>(bytes.constData() + offset);
}

} // namespace

HardwareSettings::HardwareSettings(ConsoleContext &context, SensorTable &table, PortChoice &port)
    : context_(context), table_(table), port_(port)
{
}

QByteArray HardwareSettings::contents() const
{
    QByteArray bytes(FileSize, '\0');
    for (int slot = 0; slot < SlotCount; ++slot) {
        put(bytes, SlotFieldSize * slot, table_[slot].address);
        put(bytes, SlotFieldSize * slot + 4, table_[slot].model);
    }
    put(bytes, PortOffset, qint16(port_.portIndex));
    put(bytes, PasswordOffset, password);
    return bytes;
}

void HardwareSettings::load(const QByteArray &bytes)
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        take(bytes, SlotFieldSize * slot, table_[slot].address);
        take(bytes, SlotFieldSize * slot + 4, table_[slot].model);
        table_[slot].position = qint16(slot);
    }
    qint16 portIndex = 0;
    take(bytes, PortOffset, portIndex);
    // A damaged index would name a port that the list does not have.
    port_.portIndex = portIndex >= 0 && portIndex < PortCount ? portIndex : 0;
    take(bytes, PasswordOffset, password);
}

bool HardwareSettings::writeAtomically(const QByteArray &bytes)
{
    // The new contents go to a temporary file beside hw.dat that replaces it
    // by a rename, so a power loss leaves the old file or the new one, whole.
    QSaveFile file(context_.path(fileName()));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size() || (beforeReplace && !beforeReplace())) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

void HardwareSettings::Ini_Hw()
{
    QFile file(context_.path(fileName()));
    if (!file.open(QIODevice::ReadOnly)) {
        // First start: no sensor, COM1 and the factory password.
        QByteArray defaults(FileSize, '\0');
        put(defaults, PasswordOffset, DefaultPassword);
        if (!writeAtomically(defaults) || !file.open(QIODevice::ReadOnly)) {
            context_.reports.error(LogArea::Files, QStringLiteral("Ini_Hw: не открылся файл hw.dat"));
            return;
        }
    }
    load(file.read(FileSize));
    file.close();
}

bool HardwareSettings::Save_Hw()
{
    if (writeAtomically(contents()))
        return true;
    context_.reports.error(LogArea::Files, QStringLiteral("Save_Hw: не открылся файл hw.dat"));
    return false;
}

} // namespace dorvan
