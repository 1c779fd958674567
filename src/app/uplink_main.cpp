// dorvan-uplink: publishes a console's events and sensor states to an MQTT
// broker. Parses the options and wires the objects; the uplink library decides.

#include "base/clock.h"
#include "base/log.h"
#include "base/signalevents.h"
#include "mqtt/mqttclient.h"
#include "uplink/signalpublisher.h"
#include "uplink/uplink.h"
#include "uplink/uplinkconfig.h"
#include "uplink/uplinklog.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>

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

    dorvan::mqtt::MqttClient::Library library;
    dorvan::SystemClock clock;
    dorvan::mqtt::MqttClient client(config->broker, lcUplinkMqtt);
    dorvan::uplink::Uplink uplink(config->uplink, client, clock);
    // Per-minute signal telemetry from the console's trend store, beside the events.
    dorvan::uplink::SignalPublisher signalTrends(config->uplink.workDir,
                                                 {config->uplink.prefix, config->uplink.site}, client, clock);
    QObject::connect(&uplink, &dorvan::uplink::Uplink::stopped, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    const dorvan::SignalEvents signalEvents({SIGTERM, SIGINT, SIGHUP},
                                            dorvan::uplink::guarded("signal", [&uplink](int) { uplink.stop(); }));
    // A broker that drops the connection must not end the process.
    ::signal(SIGPIPE, SIG_IGN);
    if (!uplink.start(&error)) {
        qCCritical(lcUplink).noquote() << error;
        return 1;
    }
    signalTrends.start();
    return app.exec();
}
