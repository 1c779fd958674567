// One Put_msg with the event list full: the shift of 499 rows plus two
// open-append-close cycles (the sensor's file and the day's file), in a
// temporary working directory.
#include "base/clock.h"
#include "base/daycount.h"
#include "base/context.h"
#include "base/faultboxes.h"
#include "events/eventlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace dorvan;

namespace {

// Counts failures instead of showing them: a failing append would make the
// figure meaningless, so the run reports it.
class CountingPrompter : public Prompter
{
public:
    void message(const QString &, const QString &, Icon) override { ++failures; }
    bool askYesNo(const QString &, const QString &) override { return false; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> openFile(const QString &, bool) override { return std::nullopt; }

    int failures = 0;
};

constexpr int Warmup = 600; // fills the list and a bit more
constexpr int Samples = 5000;

double percentile(const std::vector<double> &sorted, double fraction)
{
    const size_t index = std::min(sorted.size() - 1, size_t(fraction * double(sorted.size())));
    return sorted[index];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    for (const char *name : {"QReport", "Dorvan301DK_mess", "Dorvan302DK_mess"})
        QDir(dir.path()).mkdir(QString::fromLatin1(name));

    CountingPrompter prompter;
    SystemClock clock;
    FaultBoxes faults{prompter};
    ConsoleContext ctx{dir.path(), prompter, faults, clock};
    EventLog log(ctx);
    const QString text = QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-302ДК> № 4711");

    for (int i = 0; i < Warmup; ++i)
        log.Put_msg(EventRecord::make(4711, clock.nowDays(), 33, text), 1);

    std::vector<double> micros;
    micros.reserve(Samples);
    for (int i = 0; i < Samples; ++i) {
        const EventRecord record = EventRecord::make(4711, clock.nowDays(), 33, text);
        const auto start = std::chrono::steady_clock::now();
        log.Put_msg(record, 1);
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }

    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double value : micros)
        sum += value;
    std::printf("Put_msg, event list full (%d rows), two appends, %d samples\n",
                log.eventListRows(), Samples);
    std::printf("mean %.1f us, median %.1f us, p99 %.1f us, max %.1f us\n", sum / double(Samples),
                percentile(micros, 0.5), percentile(micros, 0.99), micros.back());
    if (prompter.failures > 0) {
        std::printf("%d appends failed\n", prompter.failures);
        return 1;
    }
    return 0;
}
