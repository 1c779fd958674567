#include "uplink/recordpipeline.h"

#include "uplink/uplinklog.h"

#include <QFileInfo>

#include <map>
#include <utility>

namespace dorvan::uplink {

namespace {

QTimeZone zoneOf(const QString &id)
{
    const QTimeZone zone(id.toUtf8());
    return id.isEmpty() || !zone.isValid() ? QTimeZone::systemTimeZone() : zone;
}

QString reportDir(const UplinkSettings &settings)
{
    return settings.workDir + QStringLiteral("/QReport");
}

} // namespace

RecordPipeline::RecordPipeline(const UplinkSettings &settings, const Topics &topics, mqtt::Transport &transport,
                               const Clock &clock, QObject *parent)
    : QObject(parent),
      settings_(settings),
      topics_(topics),
      transport_(transport),
      clock_(clock),
      zone_(zoneOf(settings.timeZone)),
      follower_(settings.workDir, clock),
      cursorFile_(settings.cursorPath)
{
    if (settings.haDiscovery)
        discovery_.emplace(topics_, settings.haPrefix);
    connect(&transport_, &mqtt::Transport::acknowledged, this,
            guarded("acknowledged", [this](int messageId) { onAcknowledged(messageId); }));
    connect(&transport_, &mqtt::Transport::refused, this,
            guarded("refused", [this](int messageId, const QString &reason) { onRefused(messageId, reason); }));
    pollTimer_.setInterval(PollMs);
    connect(&pollTimer_, &QTimer::timeout, this, guarded("poll timer", [this] { pump(); }));
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(CursorSaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, guarded("save timer", [this] { saveCursor(); }));
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, guarded("file watch", [this](const QString &) { pump(); }));
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
            guarded("directory watch", [this](const QString &) { pump(); }));
}

bool RecordPipeline::canFollow(QString *error) const
{
    if (QFileInfo(reportDir(settings_)).isDir())
        return true;
    *error = QStringLiteral("%1 does not exist: %2 is not a console's working directory")
                 .arg(reportDir(settings_), settings_.workDir);
    return false;
}

bool RecordPipeline::start(QString *error)
{
    if (cursorFile_.exists()) {
        std::optional<Cursor> loaded = cursorFile_.load(error);
        if (!loaded) {
            *error += QStringLiteral("; move it away to start at the end of today's file (or with --from-start at its start)");
            return false;
        }
        acked_ = *loaded;
        if (settings_.fromStart)
            qCInfo(lcUplink) << "the cursor is there, so --from-start has no effect";
    } else {
        placeFirstCursor();
    }
    // A cursor that cannot be written would repeat everything after a
    // restart; better to say so now than after an outage.
    if (!cursorFile_.save(acked_, error))
        return false;

    qCInfo(lcUplinkFiles).noquote() << QStringLiteral("following %1 from %2 (cursor %3)")
                                           .arg(reportDir(settings_), acked_.position.id(), cursorFile_.path());
    follower_.seek(acked_.position, acked_.passed);
    watchFiles();
    pollTimer_.start();
    return true;
}

void RecordPipeline::stop()
{
    connected_ = false;
    pollTimer_.stop();
}

void RecordPipeline::connected()
{
    connected_ = true;
    broken_ = false;
    window_.clear();
    recordOfMessage_.clear();
    windowBase_ = 0;
    live_ = acked_.states;
    follower_.seek(acked_.position, acked_.passed);
    qCInfo(lcUplinkMqtt).noquote() << QStringLiteral("connected to %1; publishing from %2")
                                          .arg(transport_.brokerName(), acked_.position.id());
    // A broker that lost its retained messages (restarted without
    // persistence) gets every sensor's state again, once the records not
    // acknowledged are out again (pump()).
    replaying_ = true;
    heldStates_.clear();
    for (const auto &[address, state] : live_.sensors())
        heldStates_.insert(address);
}

void RecordPipeline::disconnected()
{
    connected_ = false;
    window_.clear();
    recordOfMessage_.clear();
}

void RecordPipeline::placeFirstCursor()
{
    const QDate today = clock_.now().date();
    acked_ = Cursor{{today, 0}, {}, {}};
    if (settings_.fromStart) {
        qCInfo(lcUplinkFiles).noquote() << QStringLiteral("first run: publishing today's file %1 from its start")
                                               .arg(acked_.position.fileName());
        return;
    }
    // No flood of history: start at the end of today's file, with the
    // sensors' states as today's records leave them.
    const qint64 whole = follower_.wholeRecords(today);
    DailyFollower replay(settings_.workDir, clock_);
    replay.seek({today, 0});
    while (replay.position().day == today && replay.position().record < whole) {
        const QList<StampedRecord> records = replay.read(int(qMin<qint64>(1000, whole - replay.position().record)));
        if (records.isEmpty())
            break;
        for (const StampedRecord &stamped : records)
            acked_.states.apply(stamped);
    }
    acked_.position = {today, whole};
    qCInfo(lcUplinkFiles).noquote()
        << QStringLiteral("first run: starting at the end of today's file %1, after the %2 %3 already there (--from-start would publish them)")
               .arg(acked_.position.fileName())
               .arg(whole)
               .arg(whole == 1 ? QStringLiteral("record") : QStringLiteral("records"));
}

void RecordPipeline::pump()
{
    if (!connected_ || broken_)
        return;
    // Refilled when half empty, so a backlog is read in runs of records
    // rather than one file access per acknowledgement.
    const auto room = [this] { return settings_.window - int(window_.size()); };
    if (!window_.empty() && room() < (settings_.window + 1) / 2)
        return;
    bool caughtUp = false;
    while (room() > 0 && !broken_) {
        const QList<StampedRecord> records = follower_.read(room());
        if (records.isEmpty()) {
            caughtUp = true;
            break;
        }
        publishBatch(records);
    }
    const quint32 tick = clock_.tickMs();
    if (room() > 0 && !broken_ && (!lateChecked_ || tick - *lateChecked_ >= quint32(LateCheckMs))) {
        lateChecked_ = tick;
        const QList<StampedRecord> late = follower_.readLate(room());
        if (!late.isEmpty()) {
            caughtUp = false; // the next pump looks again
            lateChecked_.reset();
            publishBatch(late, true);
        }
    }
    if (replaying_ && caughtUp && !broken_) {
        // Every record read before is out again: the states as the newest
        // record leaves them, counted with it.
        replaying_ = false;
        const qint64 serial = window_.empty() ? -1 : windowBase_ + qint64(window_.size()) - 1;
        for (qint32 address : std::exchange(heldStates_, {}))
            publishSensor(address, true, serial);
    }
    // Everything read is acknowledged: the cursor follows the follower onto
    // a new day's file even before that file has records.
    if (window_.empty() && !broken_)
        moveCursor(follower_.position());
    watchFiles();
}

void RecordPipeline::publishBatch(const QList<StampedRecord> &records, bool late)
{
    // Each record's event goes out at once; a sensor's retained state once
    // per batch, after the last record that changed it, and counted with
    // that record, so the cursor never passes a state the broker lacks.
    struct Touched
    {
        qint64 serial = 0;
        bool added = false;
    };
    std::map<qint32, Touched> touched;
    for (const StampedRecord &stamped : records) {
        const qint64 serial = windowBase_ + qint64(window_.size());
        window_.push_back({stamped, 0, late});
        const int model = live_.modelFor(stamped);
        const QByteArray payload = eventPayload(stamped, settings_.site, model, zone_);
        for (const SensorStates::Change &change : live_.apply(stamped)) {
            Touched &t = touched[change.address];
            t.serial = serial;
            t.added = t.added || change.added;
        }
        if (!send({topics_.event(), payload, false}, serial))
            return;
    }
    for (const auto &[address, t] : touched) {
        if (replaying_)
            heldStates_.insert(address);
        else
            publishSensor(address, t.added, t.serial);
    }
}

void RecordPipeline::publishSensor(qint32 address, bool announce, qint64 serial)
{
    const SensorState *state = live_.find(address);
    if (!state) {
        // Disconnected: its retained state and announcements are removed.
        send({topics_.sensorState(address), QByteArray(), true}, serial);
        if (discovery_) {
            for (const Message &message : discovery_->withdraw(address))
                send(message, serial);
        }
        return;
    }
    if (discovery_ && announce) {
        for (const Message &message : discovery_->announce(*state))
            send(message, serial);
    }
    send({topics_.sensorState(address), statePayload(*state, settings_.site, zone_), true}, serial);
}

bool RecordPipeline::send(const Message &message, qint64 serial)
{
    if (broken_)
        return false;
    // Counted before it goes out: a message that could not be sent keeps
    // its record from ever counting as acknowledged.
    if (serial >= 0)
        ++window_[std::size_t(serial - windowBase_)].pending;
    const int id = transport_.publish(message);
    if (id < 0) {
        broken_ = true;
        return false;
    }
    if (recordOfMessage_.contains(id)) {
        dropForReusedId(id);
        return false;
    }
    recordOfMessage_.insert(id, serial);
    return true;
}

// An id still in flight given to a new message: which of the two an
// acknowledgement is for cannot be told, so both count as lost. The
// connection starts again from the cursor, which never passed either.
void RecordPipeline::dropForReusedId(int id)
{
    broken_ = true;
    qCWarning(lcUplinkMqtt).noquote() << QStringLiteral("message id %1 given again while still in flight; "
                                                        "reconnecting to send again from %2")
                                             .arg(id)
                                             .arg(acked_.position.id());
    // Not from inside the publishing: the window is still being filled.
    QMetaObject::invokeMethod(this, guarded("reused message id", [this] {
        if (connected_ && broken_)
            emit reconnectNeeded(QStringLiteral("message id reused"));
    }), Qt::QueuedConnection);
}

void RecordPipeline::onAcknowledged(int messageId)
{
    const auto it = recordOfMessage_.constFind(messageId);
    if (it == recordOfMessage_.constEnd())
        return;
    const qint64 serial = *it;
    recordOfMessage_.erase(it);
    if (serial < 0)
        return; // a status or a state sent on connecting
    --window_[std::size_t(serial - windowBase_)].pending;
    bool moved = false;
    while (!window_.empty() && window_.front().pending == 0) {
        const StampedRecord &done = window_.front().stamped;
        acked_.states.apply(done);
        if (window_.front().late) {
            qint64 &count = acked_.passed[done.position.day];
            count = qMax(count, done.position.record + 1);
        } else {
            passDay(done.position);
            acked_.position = done.position.next();
        }
        window_.pop_front();
        ++windowBase_;
        moved = true;
    }
    if (moved && std::exchange(refusing_, false))
        emit brokerRefusing(false);
    if (moved && !saveTimer_.isActive())
        saveTimer_.start();
    pump();
}

void RecordPipeline::onRefused(int messageId, const QString &reason)
{
    const auto it = recordOfMessage_.constFind(messageId);
    if (it == recordOfMessage_.constEnd() || *it < 0) {
        if (it != recordOfMessage_.constEnd())
            recordOfMessage_.erase(it);
        qCCritical(lcUplinkMqtt).noquote() << reason + QStringLiteral(" (a status message); publishing goes on");
        return;
    }
    // Not delivered: the cursor stays before the record, and it is tried
    // again on a new connection, as after a broken one.
    const QString id = window_[std::size_t(*it - windowBase_)].stamped.position.id();
    qCCritical(lcUplinkMqtt).noquote() << reason + QStringLiteral(" (the messages of record %1); holding the cursor at %2")
                                                       .arg(id, acked_.position.id());
    refusing_ = true;
    emit brokerRefusing(true);
    emit reconnectNeeded(QStringLiteral("not delivered"));
}

void RecordPipeline::moveCursor(const EventPosition &position)
{
    if (acked_.position == position)
        return;
    passDay(position);
    acked_.position = position;
    if (!saveTimer_.isActive())
        saveTimer_.start();
}

// The cursor leaves its day for a later one: what it had acknowledged of
// that day's file is kept for the records a console may still add there.
void RecordPipeline::passDay(const EventPosition &to)
{
    if (to.day == acked_.position.day)
        return;
    qint64 &count = acked_.passed[acked_.position.day];
    count = qMax(count, acked_.position.record);
}

void RecordPipeline::saveCursor()
{
    saveTimer_.stop();
    QString error;
    if (cursorFile_.save(acked_, &error)) {
        if (!saveError_.isEmpty())
            qCInfo(lcUplinkFiles) << "the cursor is saved again";
        saveError_.clear();
        return;
    }
    // Publishing goes on; only a restart would repeat what was published since.
    if (error != saveError_)
        qCWarning(lcUplinkFiles).noquote() << error + QStringLiteral("; publishing goes on, a restart would repeat messages");
    saveError_ = error;
}

void RecordPipeline::watchFiles()
{
    // The directory tells of a new day's file, the file of records appended.
    const QString dir = settings_.workDir + QStringLiteral("/QReport");
    const QString file = follower_.currentPath();
    if (!watcher_.directories().contains(dir))
        watcher_.addPath(dir);
    const QStringList files = watcher_.files();
    if (files.size() == 1 && files.front() == file)
        return;
    if (!files.isEmpty())
        watcher_.removePaths(files);
    if (QFileInfo::exists(file))
        watcher_.addPath(file);
}

} // namespace dorvan::uplink
