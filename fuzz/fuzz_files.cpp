// The loaders fed arbitrary files: the first byte picks hw.dat, chop.dat, a
// sensor's file or an event file for the report and the export; the rest is
// the file.
#include "events/eventexport.h"
#include "fuzzrig.h"

#include <QBuffer>

#include <cstring>

using namespace dorvan;

namespace {

void loadSettings(const uint8_t *data, size_t size)
{
    fuzz::writeFile(QStringLiteral("data/hw.dat"), data, size);
    fuzz::Rig rig;
    rig.console.setWorkDir(fuzz::workDir());
    rig.parts.hardware.Ini_Hw();
    // A damaged file must still leave a table every other part can use.
    for (int slot = 0; slot < SlotCount; ++slot)
        rig.parts.sensorCommands.Refresh_row(slot);
    rig.parts.link.Open_port(rig.parts.port.portNumber());
    rig.parts.link.Timer1Timer();
}

void loadOperators(const uint8_t *data, size_t size)
{
    fuzz::writeFile(QStringLiteral("data/chop.dat"), data, size);
    fuzz::Rig rig;
    rig.console.setWorkDir(fuzz::workDir());
    rig.parts.operators.Ini_chop();
    QString name;
    for (qint16 record : {qint16(0), qint16(1), qint16(7), qint16(-1), qint16(32767)})
        rig.parts.operators.Read_chop(record, name);
    fuzz::removeFile(QStringLiteral("data/chop.dat"));
}

void loadSensorFile(const uint8_t *data, size_t size)
{
    QByteArray hw(198, '\0');
    const quint32 address = 4711;
    const qint16 model = 1;
    std::memcpy(hw.data() + 6 * 5, &address, 4);
    std::memcpy(hw.data() + 6 * 5 + 4, &model, 2);
    fuzz::writeFile(QStringLiteral("data/hw.dat"), reinterpret_cast<const uint8_t *>(hw.constData()),
                    size_t(hw.size()));
    fuzz::writeFile(QStringLiteral("Dorvan302DK/4711"), data, size);
    fuzz::Rig rig;
    rig.console.setWorkDir(fuzz::workDir());
    rig.parts.hardware.Ini_Hw();
    rig.parts.sensorFiles.Ini_sm();
    for (int slot = 0; slot < SlotCount; ++slot)
        rig.parts.sensorCommands.Refresh_row(slot);
    // Whatever the file held, the line must still be driven safely.
    rig.parts.link.Open_port(1);
    rig.parts.link.Timer1Timer();
    rig.parts.link.TimerRvTimer();
}

void readReport(const uint8_t *data, size_t size)
{
    fuzz::writeFile(QStringLiteral("Dorvan301DK_mess/99"), data, size);
    fuzz::Rig rig;
    rig.console.setWorkDir(fuzz::workDir());
    rig.parts.report.sensorReport(99, 0);
    rig.parts.report.BButPrevClick(PageButton::First);
    rig.parts.report.BButPrevClick(PageButton::Next);
    rig.parts.report.BButPrevClick(PageButton::Last);
    // The export writes every record's texts, whatever its bytes.
    for (ExportFormat format : {ExportFormat::Csv, ExportFormat::JsonLines}) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        EventExport exporter(out, format);
        exporter.addFile(fuzz::workDir() + QStringLiteral("/Dorvan301DK_mess/99"), ReportScope::All);
        exporter.finish();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    if (size < 1)
        return 0;
    fuzz::cleanEventFiles();
    switch (data[0] % 4) {
    case 0: loadSettings(data + 1, size - 1); break;
    case 1: loadOperators(data + 1, size - 1); break;
    case 2: loadSensorFile(data + 1, size - 1); break;
    default: readReport(data + 1, size - 1); break;
    }
    return 0;
}
