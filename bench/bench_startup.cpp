// Start-up with 32 sensors whose files hold 1,000 records each: the time from
// an empty console to the start-of-work event, files read and grids filled.
#include "console/console.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace dorvan;

namespace {

class SilentPrompter : public Prompter
{
public:
    void message(const QString &, const QString &, Icon) override { ++shown; }
    bool askYesNo(const QString &, const QString &) override { return false; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> openFile(const QString &, bool) override { return std::nullopt; }
    int shown = 0;
};

class ClosedLine : public SerialLine
{
public:
    bool open(const QString &, int) override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    bool readByte(quint8 &) override { return false; }
    bool writeByte(quint8) override { return false; }
};

class NoSound : public AlarmSound
{
public:
    void startLoop(const QString &) override {}
    void stop() override {}
};

constexpr int RecordsPerSensor = 1000;
constexpr int Runs = 20;

void prepare(const QString &root)
{
    for (const char *name : {"data", "Dorvan301DK", "Dorvan302DK", "Dorvan301DK_mess",
                             "Dorvan302DK_mess", "QReport"})
        QDir(root).mkdir(QString::fromLatin1(name));
    QByteArray hw(198, '\0');
    for (int slot = 0; slot < SlotCount; ++slot) {
        const quint32 address = 1000 + quint32(slot);
        const qint16 model = qint16(slot % 2);
        std::memcpy(hw.data() + 6 * slot, &address, 4);
        std::memcpy(hw.data() + 6 * slot + 4, &model, 2);

        SensorTable table;
        table.Occupy_slot(slot, address, model, 0, 46000.0);
        table.Mark_no_link();
        QByteArray records;
        for (int i = 0; i < RecordsPerSensor; ++i)
            records.append(reinterpret_cast<const char *>(&table[slot]), sizeof(SensorRecord));
        QFile file(root + (model == 0 ? "/Dorvan301DK/" : "/Dorvan302DK/") + QString::number(address));
        if (!file.open(QIODevice::WriteOnly) || file.write(records) != records.size())
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
    }
    QFile hwFile(root + "/data/hw.dat");
    if (hwFile.open(QIODevice::WriteOnly))
        hwFile.write(hw);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    prepare(dir.path());

    std::vector<double> ms;
    for (int run = 0; run < Runs; ++run) {
        SilentPrompter prompter;
        SystemClock clock;
        ClosedLine line;
        NoSound sound;
        const auto start = std::chrono::steady_clock::now();
        Console console(prompter, clock, line, sound);
        console.FormCreate(dir.path());
        const auto end = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        if (console.parts().table.Count_sensors() != SlotCount || prompter.shown != 0) {
            std::fprintf(stderr, "start-up did not load all sensors\n");
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start-up, 32 sensors x %d records: median %.2f ms, max %.2f ms (%d runs)\n",
                RecordsPerSensor, ms[ms.size() / 2], ms.back(), Runs);
    return 0;
}
