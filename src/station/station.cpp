#include "station/station.h"

namespace dorvan::station {

struct Station::Impl
{
    explicit Impl(Parts p) : parts(std::move(p)) {}
    Parts parts;
    BoardModel board;
    AlarmListModel alarms;
    SensorListModel sensors{[](const QString &) { return QList<SensorView>(); }};
};

Station::Station(Parts parts, QObject *parent) : QObject(parent), d_(std::make_unique<Impl>(std::move(parts))) {}
Station::~Station() = default;
bool Station::open(QString *error) { *error = QStringLiteral("not yet"); return false; }
void Station::receive(const QList<mqtt::Received> &) {}
void Station::setBrokerConnected(bool, const QString &) {}
void Station::tick() {}
bool Station::signIn(const QString &, const QString &, QString *error) { *error = QStringLiteral("not yet"); return false; }
void Station::signOut() {}
QString Station::operatorName() const { return {}; }
bool Station::acknowledge(qint64, const QString &, QString *error) { *error = QStringLiteral("not yet"); return false; }
bool Station::acknowledgePost(const QString &, const QString &, QString *error) { *error = QStringLiteral("not yet"); return false; }
bool Station::silence(QString *error) { *error = QStringLiteral("not yet"); return false; }
int Station::silenceLeftSeconds() const { return 0; }
QString Station::brokerProblem() const { return {}; }
QDateTime Station::brokerLostSince() const { return {}; }
const StationSettings &Station::settings() const { return d_->parts.settings; }
qint64 Station::badInputCount() const { return 0; }
BoardModel &Station::board() { return d_->board; }
AlarmListModel &Station::alarmList() { return d_->alarms; }
SensorListModel &Station::sensors() { return d_->sensors; }

} // namespace dorvan::station
