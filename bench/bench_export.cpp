// Times the export of a 1,000,000-record event file to CSV and JSON lines
// against a plain buffered read of the same file in the same run (all from
// the page cache), and measures the peak memory of dorvan-report exporting
// nothing, 100,000 and 1,000,000 records: the last two should be the same.

#include "events/eventexport.h"
#include "events/eventrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

using namespace dorvan;

namespace {

constexpr int Rounds = 3;

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
double plainReadMs(const QString &path, quint64 &checksum)
{
    QElapsedTimer timer;
    timer.start();
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return -1;
    std::vector<char> buffer(12800 * sizeof(EventRecord));
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        for (size_t at = 16; at < got; at += sizeof(EventRecord))
            checksum += quint8(buffer[at]);
    }
    std::fclose(file);
    return timer.nsecsElapsed() / 1e6;
}

double exportMs(const QString &path, const QString &target, ExportFormat format)
{
    QElapsedTimer timer;
    timer.start();
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return -1;
    EventExport exporter(out, format);
    if (!exporter.addFile(path, ReportScope::All) || !exporter.finish())
        return -1;
    out.close();
    return timer.nsecsElapsed() / 1e6;
}

struct ChildRun
{
    double ms = -1;
    long peakKb = -1;
};

// dorvan-report as a child process: its wall time and its own peak resident memory.
ChildRun runReport(const QString &program, const QString &input, const QString &output)
{
    const QByteArray programBytes = QFile::encodeName(program);
    const QByteArray inputBytes = QFile::encodeName(input);
    const QByteArray outputBytes = QFile::encodeName(output);
    char *argv[] = {const_cast<char *>(programBytes.constData()), const_cast<char *>(inputBytes.constData()),
                    const_cast<char *>("-o"), const_cast<char *>(outputBytes.constData()), nullptr};
    ChildRun run;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, programBytes.constData(), nullptr, nullptr, argv, environ) != 0)
        return run;
    int status = 0;
    struct rusage usage = {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return run;
    run.ms = timer.nsecsElapsed() / 1e6;
    run.peakKb = usage.ru_maxrss;
    return run;
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
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
    plainReadMs(large, checksum); // into the page cache
    std::vector<double> readMs;
    std::vector<double> csvMs;
    std::vector<double> jsonMs;
    for (int round = 0; round < Rounds; ++round) {
        readMs.push_back(plainReadMs(large, checksum));
        csvMs.push_back(exportMs(large, csv, ExportFormat::Csv));
        jsonMs.push_back(exportMs(large, jsonl, ExportFormat::JsonLines));
    }
    const double read = median(readMs);
    const double toCsv = median(csvMs);
    const double toJson = median(jsonMs);
    std::printf("file: 1,000,000 records, %lld bytes\n", static_cast<long long>(QFileInfo(large).size()));
    std::printf("plain buffered read:          %8.1f ms\n", read);
    std::printf("export to CSV:                %8.1f ms  ratio %.1f  (%lld bytes written)\n", toCsv, toCsv / read,
                static_cast<long long>(QFileInfo(csv).size()));
    std::printf("export to JSON lines:         %8.1f ms  ratio %.1f\n", toJson, toJson / read);

    const QString report = QCoreApplication::applicationDirPath() + QStringLiteral("/dorvan-report");
    for (const QString &input : {empty, small, large}) {
        const ChildRun run = runReport(report, input, csv);
        if (run.ms < 0) {
            std::fprintf(stderr, "%s failed\n", qPrintable(report));
            return 1;
        }
        std::printf("dorvan-report, %7s records to CSV: %8.1f ms, peak resident memory %ld KiB\n",
                    qPrintable(QFileInfo(input).fileName()), run.ms, run.peakKb);
    }
    return checksum == 0 ? 1 : 0;
}
