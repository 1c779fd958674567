// The central station's intake fed arbitrary bytes: the first byte picks
// the topic (a post's status, console, event, a sensor's state or signal, or
// a topic made of the input itself) and whether it came retained; the rest
// is the payload. Every input is parsed, and handed to one long-lived station
// over a real journal, as a broker would deliver it.
#include "station/payloads.h"
#include "station/station.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <memory>

using namespace dorvan;
using namespace dorvan::station;

namespace {

class SilentSound : public AlarmSound
{
public:
    void startLoop(const QString &) override {}
    void stop() override {}
};

StationSettings settingsIn(const QString &dir)
{
    StationSettings settings;
    settings.dataDir = dir;
    settings.stationName = QStringLiteral("fuzz");
    return settings;
}

struct Rig
{
    Rig()
    {
        QString error;
        if (!station.open(&error))
            qFatal("%s", qPrintable(error));
        station.setBrokerConnected(true);
    }

    QTemporaryDir dir;
    SystemClock clock;
    SilentSound sound;
    Journal journal{dir.filePath(QStringLiteral("journal.sqlite"))};
    Operators operators{dir.filePath(QStringLiteral("operators"))};
    StationSettings settings = settingsIn(dir.path());
    Station station{{journal, operators, clock, sound, settings}};
};

Rig &rig()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Rig station;
    return station;
}

QString topicFor(quint8 choice, const QByteArray &payload)
{
    static const char *const topics[] = {"dorvan/post1/status", "dorvan/post1/console", "dorvan/post1/event",
                                         "dorvan/post1/sensor/1001/state", "dorvan/post1/sensor/1001/signal",
                                         "dorvan/post2/event"};
    const int pick = choice % 8;
    if (pick < 6)
        return QString::fromLatin1(topics[pick]);
    return QStringLiteral("dorvan/") + QString::fromUtf8(payload.left(40));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Rig &station = rig();
    if (size < 1)
        return 0;
    const QByteArray payload(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString topic = topicFor(data[0], payload);
    const ParseResult parsed = parseMessage(topic, payload, station.settings.prefixes);
    if (!parsed.message && parsed.bad.reason.isEmpty())
        __builtin_trap(); // a refusal always says why
    station.station.receive({{topic, payload, (data[0] & 0x80) != 0, 1}});
    if (data[0] & 0x40)
        station.station.tick();
    return 0;
}
