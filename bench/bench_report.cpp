// Times a page change of the event report on a file of a million events
// against a plain buffered read of the same file. Both read the file from
// the page cache (it is read once beforehand), so the figure compares the
// report's own work with the cost of the bytes alone.

#include "base/clock.h"
#include "base/context.h"
#include "base/faultboxes.h"
#include "events/reportpager.h"
#include "events/eventrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace dorvan;

namespace {

constexpr int RecordCount = 1000000;
constexpr int Rounds = 5;

class SilentPrompter : public Prompter
{
public:
    void message(const QString &text, const QString &, Icon) override
    {
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString &, const QString &) override { return false; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> openFile(const QString &, bool) override { return std::nullopt; }
};

bool writeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const quint8 codes[] = {EventCode::NoLink, EventCode::LinkRestored, EventCode::Tripped,
                            EventCode::BackToNormal, EventCode::Armed1, EventCode::Disarmed1};
    std::vector<EventRecord> chunk;
    chunk.reserve(10000);
    for (int i = 0; i < RecordCount; ++i) {
        const quint8 code = codes[i % 6];
        chunk.push_back(EventRecord::make(
            1 + i % 4000, 46362.0 + i / 86400.0, code,
            QStringLiteral("Нет связи с датчиком <Дорван-301ДК> № %1").arg(1 + i % 4000)));
        if (chunk.size() == chunk.capacity() || i + 1 == RecordCount) {
            file.write(reinterpret_cast<const char *>(chunk.data()), qint64(chunk.size() * sizeof(EventRecord)));
            chunk.clear();
        }
    }
    return true;
}

// The baseline: the whole file through a 4 MB buffer, touching every record's code.
qint64 plainRead(const QString &path, quint64 &checksum)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return -1;
    std::vector<char> buffer(12800 * sizeof(EventRecord));
    qint64 bytes = 0;
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        for (size_t at = 16; at < got; at += sizeof(EventRecord))
            checksum += quint8(buffer[at]);
        bytes += qint64(got);
    }
    std::fclose(file);
    return bytes;
}

double medianMs(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // Named as a sensor's own file, so the sensor report loads it without a dialog.
    QDir(dir.path()).mkdir(QStringLiteral("Dorvan301DK_mess"));
    const QString path = dir.filePath(QStringLiteral("Dorvan301DK_mess/4711"));
    if (!dir.isValid() || !writeFile(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    SilentPrompter prompter;
    SystemClock clock;
    FaultBoxes faults{prompter};
    ConsoleContext ctx{dir.path(), prompter, faults, clock};
    ReportPager report(ctx);

    quint64 checksum = 0;
    const qint64 size = plainRead(path, checksum); // warm the page cache
    report.sensorReport(4711, 0);

    std::vector<double> readMs;
    std::vector<double> pageMs;
    std::vector<double> filteredMs;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        plainRead(path, checksum);
        readMs.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        report.BButPrevClick(round % 2 ? PageButton::First : PageButton::Next);
        pageMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    report.scope = ReportScope::LinkLosses;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        report.BButPrevClick(PageButton::Last);
        filteredMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    const double read = medianMs(readMs);
    const double page = medianMs(pageMs);
    const double filtered = medianMs(filteredMs);
    std::printf("file: %d records, %lld bytes\n", RecordCount, static_cast<long long>(size));
    std::printf("plain buffered read:         %8.1f ms\n", read);
    std::printf("page change (all messages):  %8.1f ms  ratio %.2f\n", page, page / read);
    std::printf("page change (link losses):   %8.1f ms  ratio %.2f\n", filtered, filtered / read);
    std::printf("%s\n", qPrintable(report.summaryText()));
    return checksum == 0 ? 1 : 0;
}
