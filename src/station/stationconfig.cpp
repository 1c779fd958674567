#include "station/stationconfig.h"

namespace dorvan::station {

std::span<const OptionSpec> stationOptions() { return {}; }
QString stationConfigPath(const QString &explicitPath) { return explicitPath; }
QStringList stationSubscriptions(const QStringList &, const QStringList &) { return {}; }
std::optional<StationSettings> stationFrom(const OptionValues &, QString *error) { *error = QStringLiteral("not yet"); return std::nullopt; }
QString defaultDataDir() { return {}; }
QString operatorsPath(const StationSettings &settings) { return settings.dataDir + QStringLiteral("/operators"); }
QString journalPath(const StationSettings &settings) { return settings.dataDir + QStringLiteral("/journal.sqlite"); }

} // namespace dorvan::station
