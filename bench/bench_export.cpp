// Times the export of a 1,000,000-record event file to CSV and JSON lines
// against a plain buffered read of the same file in the same run (all from
// the page cache), and measures the peak memory of dorvan-report exporting
// nothing, 100,000 and 1,000,000 records: the last two should be the same.
// Besides wall time each figure has its CPU time, which a busy machine
// disturbs less.

#include "events/eventexport.h"
#include "events/eventrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace dorvan;

namespace {

constexpr int Rounds = 3;

struct Timing
{
    double wallMs = -1;
    double cpuMs = -1;
};

double processCpuMs()
{
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Wall and CPU time of `work`, which returns false when it failed.
template<typename Work>
Timing timed(Work work)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = processCpuMs();
    if (!work())
        return {};
    return {timer.nsecsElapsed() / 1e6, processCpuMs() - cpu};
}

bool writeFile(const QString &path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const quint8 codes[] = {EventCode::NoLink, EventCode::LinkRestored, EventCode::Tripped,
                            EventCode::BackToNormal, EventCode::Armed1, EventCode::Disarmed1};
    std::vector<EventRecord> chunk;
    chunk.reserve(10000);
    for (int i = 0; i < count; ++i) {
        chunk.push_back(EventRecord::make(1 + i % 4000, 46362.0 + i / 86400.0, codes[i % 6],
                                          QStringLiteral("Нет связи с датчиком <Дорван-301ДК> № %1").arg(1 + i % 4000)));
        if (chunk.size() == chunk.capacity() || i + 1 == count) {
            file.write(reinterpret_cast<const char *>(chunk.data()), qint64(chunk.size() * sizeof(EventRecord)));
            chunk.clear();
        }
    }
    return true;
}

// The baseline: the whole file through a 4 MB buffer, touching every record's code.
bool plainRead(const QString &path, quint64 &checksum)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return false;
    std::vector<char> buffer(12800 * sizeof(EventRecord));
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        for (size_t at = 16; at < got; at += sizeof(EventRecord))
            checksum += quint8(buffer[at]);
    }
    std::fclose(file);
    return true;
}

bool exportFile(const QString &path, const QString &target, ExportFormat format)
{
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    EventExport exporter(out, format);
    return exporter.addFile(path, ReportScope::All) && exporter.finish();
}

// Linux hands a new program the peak memory of the process that started it:
// a child's ru_maxrss is never below its parent's peak, which here would
// be the benchmark's own. So this program starts itself afresh with
// --measure, small, and that copy starts dorvan-report and reports its
// figures: "wall_ms cpu_ms peak_kib floor_kib", the floor being the copy's
// own peak (VmHWM), below which no figure can go.
int measure(char **command)
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(command[0], command);
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    long floor = -1;
    QFile self(QStringLiteral("/proc/self/status"));
    if (self.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : self.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                floor = line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    std::printf("%.1f %.1f %ld %ld\n", timer.nsecsElapsed() / 1e6, ms(usage.ru_utime) + ms(usage.ru_stime),
                usage.ru_maxrss, floor);
    return 0;
}

struct ChildRun
{
    Timing time;
    long peakKb = -1;
    long floorKb = -1;
};

ChildRun runReport(const QString &program, const QString &input, const QString &output)
{
    QProcess starter;
    starter.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--measure"), program, input, QStringLiteral("-o"), output});
    ChildRun run;
    if (!starter.waitForFinished(120000) || starter.exitCode() != 0)
        return run;
    const QList<QByteArray> figures = starter.readAllStandardOutput().simplified().split(' ');
    if (figures.size() != 4)
        return run;
    run.time = {figures[0].toDouble(), figures[1].toDouble()};
    run.peakKb = figures[2].toLong();
    run.floorKb = figures[3].toLong();
    return run;
}

// The median by wall time.
Timing median(std::vector<Timing> samples)
{
    std::sort(samples.begin(), samples.end(), [](const Timing &a, const Timing &b) { return a.wallMs < b.wallMs; });
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0)
        return measure(argv + 2);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString large = dir.filePath(QStringLiteral("1000000"));
    const QString small = dir.filePath(QStringLiteral("100000"));
    const QString empty = dir.filePath(QStringLiteral("0"));
    if (!dir.isValid() || !writeFile(large, 1000000) || !writeFile(small, 100000) || !writeFile(empty, 0)) {
        std::fprintf(stderr, "cannot write the event files in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const QString jsonl = dir.filePath(QStringLiteral("out.jsonl"));

    quint64 checksum = 0;
    plainRead(large, checksum); // into the page cache
    std::vector<Timing> reads;
    std::vector<Timing> csvs;
    std::vector<Timing> jsons;
    for (int round = 0; round < Rounds; ++round) {
        reads.push_back(timed([&] { return plainRead(large, checksum); }));
        csvs.push_back(timed([&] { return exportFile(large, csv, ExportFormat::Csv); }));
        jsons.push_back(timed([&] { return exportFile(large, jsonl, ExportFormat::JsonLines); }));
    }
    const Timing read = median(reads);
    const Timing toCsv = median(csvs);
    const Timing toJson = median(jsons);
    std::printf("file: 1,000,000 records, %lld bytes; CSV written: %lld bytes\n",
                static_cast<long long>(QFileInfo(large).size()), static_cast<long long>(QFileInfo(csv).size()));
    std::printf("                        wall ms   CPU ms  wall ratio  CPU ratio\n");
    std::printf("plain buffered read:   %8.1f %8.1f\n", read.wallMs, read.cpuMs);
    std::printf("export to CSV:         %8.1f %8.1f  %9.1f  %9.1f\n", toCsv.wallMs, toCsv.cpuMs,
                toCsv.wallMs / read.wallMs, toCsv.cpuMs / read.cpuMs);
    std::printf("export to JSON lines:  %8.1f %8.1f  %9.1f  %9.1f\n", toJson.wallMs, toJson.cpuMs,
                toJson.wallMs / read.wallMs, toJson.cpuMs / read.cpuMs);

    const QString report = QCoreApplication::applicationDirPath() + QStringLiteral("/dorvan-report");
    for (const QString &input : {empty, small, large}) {
        const ChildRun run = runReport(report, input, csv);
        if (run.time.wallMs < 0) {
            std::fprintf(stderr, "%s failed\n", qPrintable(report));
            return 1;
        }
        std::printf("dorvan-report, %7s records to CSV: wall %7.1f ms, CPU %7.1f ms, peak resident memory %ld KiB"
                    " (floor %ld KiB)\n",
                    qPrintable(QFileInfo(input).fileName()), run.time.wallMs, run.time.cpuMs, run.peakKb,
                    run.floorKb);
    }
    return checksum == 0 ? 1 : 0;
}
