// Throughput of the reply receiver and decoder: how many bytes per second
// the byte-wise state machine, the checksum and the decoding get through,
// against the 1920 bytes per second a 19200-baud line can deliver.

#include "base/faultboxes.h"
#include "link/link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstring>

using namespace dorvan;

namespace {

class SilentPrompter : public Prompter
{
public:
    void message(const QString &, const QString &, Icon) override {}
    bool askYesNo(const QString &, const QString &) override { return false; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> openFile(const QString &, bool) override { return std::nullopt; }
};

class SilentSound : public AlarmSound
{
public:
    void startLoop(const QString &) override {}
    void stop() override {}
};

// A line that plays back a prepared byte stream.
class Playback : public SerialLine
{
public:
    bool open(const QString &, int) override { return opened_ = true; }
    void close() override { opened_ = false; }
    bool isOpen() const override { return opened_; }
    bool readByte(quint8 &byte) override
    {
        if (!opened_ || next_ >= bytes_.size())
            return false;
        byte = quint8(bytes_[next_++]);
        return true;
    }
    bool writeByte(quint8) override { return opened_; }
    void load(const QByteArray &bytes)
    {
        bytes_ = bytes;
        next_ = 0;
    }

private:
    bool opened_ = false;
    QByteArray bytes_;
    qsizetype next_ = 0;
};

QByteArray statusReply(quint16 address, float signal)
{
    QByteArray data(17, '\0');
    float values[4] = {10.f, 20.f, signal, signal / 2};
    std::memcpy(data.data() + 1, values, sizeof values);
    return stuffReply(buildFrame(Frame::RPL_SYNC, Frame::RPL_MARK, Frame::NET_CODE, address,
                                 Frame::RPL_STATUS_M1, data));
}

struct Bench
{
    QTemporaryDir dir;
    SilentPrompter prompter;
    SystemClock clock;
    SilentSound sound;
    Playback line;
    FaultBoxes faults{prompter};
    WorkContext ctx{dir.path(), faults, clock};
    SensorTable table;
    PortChoice port;
    TextGridModel sensorGrid{SensorColumnCount, SlotCount + 1};
    TextGridModel comGrid{DiagnosticsColumnCount, SlotCount + 1};
    Captions captions;
    EventLog events{ctx};
    AlarmList alarms{ctx, sound};
    SensorGridRows rows{sensorGrid};
    ConsoleEvents eventSink{events, alarms};
    Link link{ctx, table, port, rows, comGrid, captions, eventSink, line};

    Bench()
    {
        table.Occupy_slot(0, 0x01B9, 1, 0, 0); // an address that needs stuffing
        link.Open_port(1);
        link.Timer1Timer(); // sets the expected reply header
    }

    // Returns bytes per second.
    double run(const QByteArray &stream, int repeats)
    {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < repeats; ++i) {
            line.load(stream);
            link.Receive_replies();
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        return double(stream.size()) * repeats / seconds;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    Bench bench;

    QByteArray replies;
    int frames = 0;
    for (int i = 0; replies.size() < (1 << 20); ++i, ++frames)
        replies += statusReply(0x01B9, float(i % 1000));
    const double replyRate = bench.run(replies, 8);
    out << "status replies, decoded:  " << qRound64(replyRate) << " bytes/s, "
        << qRound64(replyRate * frames / replies.size()) << " frames/s\n";

    QByteArray noise(1 << 22, '\0');
    QRandomGenerator random(1);
    for (char &c : noise)
        c = char(random.bounded(256u));
    const double noiseRate = bench.run(noise, 4);
    out << "random bytes:             " << qRound64(noiseRate) << " bytes/s\n";

    const qint32 accepted = bench.link.statistics().totals().N_rv_frame;
    out << "frames accepted:          " << accepted << " of " << frames * 8 << "\n";
    out << "headroom over 19200 baud: " << qRound64(replyRate / 1920.0) << "x\n";
    return accepted >= frames * 8 ? 0 : 1;
}
