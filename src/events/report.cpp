#include "events/report.h"

// Placeholder until the report is built.
namespace dorvan {

Report::Report(ConsoleContext &context, QObject *parent) : QObject(parent), context_(context) {}

void Report::sensorReport(quint32, int) {}

} // namespace dorvan
