// dorvan-station: the central station's duty console. Parses the options and
// wires the objects; the station library decides, its widgets show.

#include "base/clock.h"
#include "base/log.h"
#include "base/signalevents.h"
#include "mqtt/mqttclient.h"
#include "sound/qtalarmsound.h"
#include "station/brokerlink.h"
#include "station/handover.h"
#include "station/historyexport.h"
#include "station/journal.h"
#include "station/operators.h"
#include "station/station.h"
#include "station/stationlog.h"
#include "station/widgets/stationstart.h"
#include "station/widgets/stationwindow.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <memory>

namespace {

using namespace dorvan::station;

QString packagedSoundDir()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" DORVAN_DATA_FROM_BIN));
}

// A start that cannot go on: the log says why, and a box for the operator
// who started it from the desktop.
int refuseStart(const QString &logLine, const QString &boxText)
{
    qCCritical(lcStation).noquote() << logLine << "| box:" << boxText;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Дорван: центральная станция"), boxText);
    box.addButton(QStringLiteral("ОК"), QMessageBox::AcceptRole);
    box.exec();
    return 1;
}

void loadQtTranslations(QApplication &app, QTranslator &translator)
{
    if (translator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

int runStation(QApplication &app, const StationSettings &settings)
{
    StationLock lock(settings.dataDir);
    QString refusal;
    if (!lock.tryLock(&refusal))
        return refuseStart(QStringLiteral("not started: the lock %1 is held or cannot be taken").arg(lock.path()), refusal);

    dorvan::SystemClock clock;
    dorvan::QtAlarmSound sound([] { QApplication::beep(); });
    Journal journal(journalPath(settings));
    Operators operators(operatorsPath(settings));
    Station station({journal, operators, clock, sound, settings});
    QString error;
    if (!station.open(&error))
        return refuseStart(QStringLiteral("cannot open the journal %1: %2").arg(journal.path(), error),
                           QStringLiteral("Журнал станции %1 не открывается: %2").arg(journal.path(), error));

    dorvan::mqtt::MqttClient::Library library;
    dorvan::mqtt::MqttClient client(settings.broker, lcStationMqtt);
    BrokerLink link(client, station);

    // A handover and its acceptance are shared with the centre's other stations, as every action.
    ShiftHandover shifts({journal, operators, clock, settings.stationName, [&station](const ActionRow &action) {
                              QString error;
                              return station.record(action, &error);
                          }});
    StationWindow window(station);
    window.setShiftHandover(&shifts);
    QTimer ticker;
    ticker.setInterval(1000);
    QObject::connect(&ticker, &QTimer::timeout, &station, guarded("tick", [&station] { station.tick(); }));

    const dorvan::SignalEvents signalEvents({SIGTERM, SIGINT, SIGHUP}, guarded("signal", [&window](int signal) {
                                                qCInfo(lcStation) << "signal" << signal << "received: stopping";
                                                window.closeWithoutAsking();
                                                // Ends the loop even while a box or dialog is open.
                                                QCoreApplication::exit(0);
                                            }));
    ::signal(SIGPIPE, SIG_IGN);

    qCInfo(lcStation).noquote() << QStringLiteral("station %1: data %2, broker %3 as %4")
                                       .arg(settings.stationName, settings.dataDir, settings.broker.name(),
                                            settings.broker.clientId);
    window.showMaximized();
    link.start();
    ticker.start();
    const int status = app.exec();
    ticker.stop();
    link.stop();
    sound.stop();
    qCInfo(lcStation) << "stopped";
    return status;
}

// Help, version and --add-operator answer on the terminal, with no display needed.
bool needsDisplay(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        for (const char *terminalOnly : {"--add-operator", "--help", "-h", "--help-all", "--version", "-v"}) {
            if (argument == terminalOnly || argument.startsWith(QByteArray(terminalOnly) + '='))
                return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    dorvan::installLogFormat();
    dorvan::installTerminateLog(lcStation);
    // The journal's history to a file, from the terminal: no window, no broker.
    if (isHistoryExport(argc, argv))
        return historyExportMain(argc, argv);
    const bool display = needsDisplay(argc, argv);
    const std::unique_ptr<QCoreApplication> app =
        display ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dorvan-station"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DORVAN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The central station of Dorvan guard posts: subscribes to their uplinks' topics at an MQTT broker, keeps "
        "every event in a journal, shows the posts and their alarms and sounds until an operator acknowledges "
        "them. See docs/central-station.md."));
    parser.addHelpOption();
    parser.addVersionOption();
    addStationOptions(parser);
    parser.process(*app);

    QString error;
    const std::optional<StationSettings> settings = settingsFrom(parser, packagedSoundDir(), &error);
    if (!settings && !display) {
        qCCritical(lcStation).noquote() << error;
        return 2;
    }
    if (!display)
        return addOperatorCommand(*settings, parser.value(QStringLiteral("add-operator")),
                                  parser.isSet(QStringLiteral("may-edit-cards")));
    if (!settings) {
        refuseStart(error, QStringLiteral("Станция не запущена: ошибка в настройках.\n%1").arg(error));
        return 2;
    }

    auto &widgets = static_cast<QApplication &>(*app);
    useStationFont();
    QTranslator translator;
    loadQtTranslations(widgets, translator);
    return runStation(widgets, *settings);
}
