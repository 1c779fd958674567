#include "sensors/settingsfiles.h"

// Placeholder until the settings files are read and written.
namespace dorvan {

HardwareSettings::HardwareSettings(ConsoleContext &context, SensorTable &table, PortChoice &port)
    : context_(context), table_(table), port_(port)
{
}
void HardwareSettings::Ini_Hw() {}
bool HardwareSettings::Save_Hw() { return false; }

SensorFiles::SensorFiles(ConsoleContext &context, SensorTable &table, HardwareSettings &hardware)
    : context_(context), table_(table), hardware_(hardware)
{
}
void SensorFiles::Save_sm(const SensorRecord &, char) {}
void SensorFiles::Ini_sm() {}

OperatorList::OperatorList(ConsoleContext &context) : context_(context) {}
void OperatorList::Ini_chop() {}
QStringList OperatorList::names() const { return {}; }

} // namespace dorvan
