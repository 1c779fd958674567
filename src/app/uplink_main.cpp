// dorvan-uplink: publishes a console's events and sensor states to an MQTT
// broker. Parses the options and wires the objects; the uplink library decides.

#include "base/clock.h"
#include "base/log.h"
#include "uplink/mqttclient.h"
#include "uplink/signalpublisher.h"
#include "uplink/uplink.h"
#include "uplink/uplinkconfig.h"
#include "uplink/uplinklog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the self-pipe: the handler only writes a byte, the event
// loop does the work.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool catchSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // A broker that drops the connection must not end the process.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dorvan-uplink"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DORVAN_VERSION));
    dorvan::installLogFormat();
    dorvan::uplink::installTerminateLog();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Publishes every event of a Dorvan console's daily event files, and the sensors' states, to an MQTT broker "
        "(QoS 1, at least once). Subscribes to nothing and takes no commands. See docs/central-monitoring.md."));
    parser.addHelpOption();
    parser.addVersionOption();
    dorvan::uplink::addOptions(parser);
    parser.process(app);

    QString error;
    const std::optional<dorvan::uplink::UplinkConfig> config = dorvan::uplink::configFrom(parser, &error);
    if (!config) {
        qCCritical(lcUplink).noquote() << error;
        return 2;
    }

    dorvan::uplink::MqttClient::Library library;
    dorvan::SystemClock clock;
    dorvan::uplink::MqttClient client(config->broker);
    dorvan::uplink::Uplink uplink(config->uplink, client, clock);
    // Per-minute signal telemetry from the console's trend store, beside the events.
    dorvan::uplink::SignalPublisher signalTrends(config->uplink.workDir,
                                                 {config->uplink.prefix, config->uplink.site}, client, clock);
    QObject::connect(&uplink, &dorvan::uplink::Uplink::stopped, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    QSocketNotifier *signalNotifier = nullptr;
    if (catchSignals()) {
        signalNotifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(signalNotifier, &QSocketNotifier::activated, &uplink,
                         dorvan::uplink::guarded("signal", [&uplink] {
                             char byte = 0;
                             while (::read(signalPipe[0], &byte, 1) == 1) {
                             }
                             uplink.stop();
                         }));
    }
    if (!uplink.start(&error)) {
        qCCritical(lcUplink).noquote() << error;
        return 1;
    }
    signalTrends.start();
    return app.exec();
}
