#include "station/station.h"

#include "station/alarmbook.h"
#include "station/annunciator.h"
#include "station/centre.h"
#include "station/gaptracker.h"
#include "station/liveness.h"
#include "station/payloads.h"
#include "station/stationlog.h"

#include <QJsonArray>
#include <QLocale>
#include <QTimer>

#include <utility>
#include <variant>

namespace dorvan::station {

namespace {

struct SensorData
{
    SensorRow row;
    LoopSignal signal1, signal2;
};

struct PostData
{
    PostLiveness live;
    QMap<int, SensorData> sensors;
};

LinkState linkOf(const QString &word)
{
    if (word == u"up")
        return LinkState::Up;
    return word == u"lost" ? LinkState::Lost : LinkState::Unknown;
}

LoopState loopOf(const QString &word)
{
    if (word == u"disarmed")
        return LoopState::Disarmed;
    if (word == u"normal")
        return LoopState::Normal;
    return word == u"alarm" ? LoopState::Alarm : LoopState::Unknown;
}

QString signalText(const LoopSignal &signal)
{
    if (!signal.signal)
        return {};
    const QLocale russian(QLocale::Russian);
    QString text = russian.toString(*signal.signal, 'g', 3);
    if (signal.threshold)
        text += QStringLiteral(" (порог %1)").arg(russian.toString(*signal.threshold, 'g', 3));
    return text;
}

SensorView viewOf(const SensorData &sensor)
{
    SensorView view;
    view.address = quint16(sensor.row.address);
    view.model = sensor.row.model;
    view.link = linkOf(sensor.row.link);
    view.loop1 = loopOf(sensor.row.loop1);
    view.loop2 = loopOf(sensor.row.loop2);
    view.fault = sensor.row.fault;
    view.changed = QDateTime::fromString(sensor.row.changed, Qt::ISODateWithMs);
    view.signal1 = signalText(sensor.signal1);
    view.signal2 = signalText(sensor.signal2);
    return view;
}

QString sensorName(const QString &model, int address)
{
    const QString number = QStringLiteral("№ %1").arg(address);
    return model.isEmpty() ? number : model + u' ' + number;
}

QString sourceOf(AlarmKind kind, const QString &site, int address = -1, int loop = 0)
{
    QString source = kindName(kind) + u':' + site;
    if (address >= 0)
        source += u':' + QString::number(address);
    if (loop > 0)
        source += u':' + QString::number(loop);
    return source;
}

QString printable(const QString &text)
{
    QString shown = text.left(200);
    for (QChar &c : shown) {
        if (!c.isPrint())
            c = u'?';
    }
    return shown;
}

// What the operator reads of the broker library's reason (which the log keeps as it is).
QString brokerProblemText(const QString &broker, const QString &reason)
{
    struct Meaning
    {
        const char *words;
        const char16_t *text;
    };
    static constexpr Meaning meanings[] = {
        {"client id", u"брокер %1 не принял идентификатор клиента станции (client-id)"},
        {"wrong user name or password", u"брокер %1 не пускает: неверное имя или пароль"},
        {"bad user name or password", u"брокер %1 не пускает: неверное имя или пароль"},
        {"certificate", u"сертификат брокера %1 не принят (TLS)"},
        {"TLS", u"соединение TLS с брокером %1 не установлено"},
        {"refused the connection (is the broker running", u"брокер %1 не принимает соединение (не запущен?)"},
        {"refused the connection", u"брокер %1 отказал в соединении"},
        {"lost", u"соединение с брокером %1 потеряно"},
        {"stopped answering", u"брокер %1 перестал отвечать"},
        {"no answer", u"брокер %1 не отвечает"},
        {"closed the connection", u"брокер %1 закрыл соединение, не ответив"},
    };
    for (const Meaning &meaning : meanings) {
        if (reason.contains(QLatin1StringView(meaning.words)))
            return QString::fromUtf16(meaning.text).arg(broker);
    }
    return QStringLiteral("нет связи с брокером %1").arg(broker);
}

// The record an alarm's activation came from ("dd.mm.yyyy#N"), empty when
// a station's own check raised it: the same at every station of the centre.
QString recordOf(const QString &activation)
{
    const qsizetype hash = activation.lastIndexOf(u'#');
    if (hash < 0)
        return {};
    const qsizetype space = activation.lastIndexOf(u' ', hash);
    return activation.mid(space + 1);
}

QString releaseTarget(bool outOfService, const QString &uid)
{
    return (outOfService ? QStringLiteral("out of service ") : QStringLiteral("shelf ")) + uid;
}

QJsonObject alarmDetails(const QList<const AlarmRow *> &alarms)
{
    QJsonArray list;
    for (const AlarmRow *alarm : alarms)
        list.append(QJsonObject{{QStringLiteral("source"), alarm->source}, {QStringLiteral("record"), recordOf(alarm->activation)}});
    return {{QStringLiteral("alarms"), list}};
}

QJsonObject shelfDetails(const ShelfRow &shelf)
{
    QJsonObject details{{QStringLiteral("site"), shelf.site}, {QStringLiteral("address"), shelf.address},
                        {QStringLiteral("what"), shelf.what}};
    if (!shelf.source.isEmpty())
        details.insert(QStringLiteral("source"), shelf.source);
    if (!shelf.outOfService)
        details.insert(QStringLiteral("until"), shelf.until.toUTC().toString(Qt::ISODateWithMs));
    return details;
}

// The texts of the posts' own alarms.
QString postAlarmText(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::Offline: return QStringLiteral("Пост не на связи (отключился от брокера)");
    case AlarmKind::Stale: return QStringLiteral("Статус поста устарел: нет обновлений");
    case AlarmKind::ClockSkew: return QStringLiteral("Часы поста расходятся с часами станции");
    case AlarmKind::ConsoleDown: return QStringLiteral("Консоль поста не работает");
    case AlarmKind::LineStopped: return QStringLiteral("Линия поста остановлена");
    default: return {};
    }
}

} // namespace

struct Station::Impl
{
    Impl(Station &owner, Parts p)
        : q(owner), parts(std::move(p)), book(parts.journal, alarmList, shelvedList, outOfServiceList),
          annunciator(parts.sound, parts.settings.tripSound, parts.settings.otherSound, parts.settings.silenceSeconds),
          lastTick(parts.clock.tickMs())
    {
        QObject::connect(&escalationCommand, &EscalationCommand::failed, &q, &Station::notice);
    }

    Station &q;
    Parts parts;
    BoardModel board;
    AlarmListModel alarmList;
    AlarmGroupModel alarmGroups{alarmList, parts.clock, parts.settings.floods};
    ShelvedListModel shelvedList;
    ShelvedListModel outOfServiceList{true};
    SensorListModel sensorList{[this](const QString &site) { return sensorsOf(site); }};
    AlarmBook book;
    Cards cards{parts.journal};
    GapTracker gaps;
    Annunciator annunciator;
    EscalationCommand escalationCommand{parts.settings.onEscalation};
    QHash<QString, PostData> posts;
    bool brokerConnected = false;
    QString brokerProblem = QStringLiteral("ещё не подключена к брокеру");
    QDateTime brokerLostSince;
    QString operatorName;
    qint64 badInputs = 0;
    QSet<QString> badLogged;
    QSet<QString> olderStateLogged;
    QSet<QString> dirtyPosts;
    QSet<std::pair<QString, QDate>> gapFiles;
    bool raisedNew = false;
    bool queuedShared = false;
    bool silenceChanged = false;
    bool writeFailed = false;
    quint32 lastTick;
    qint64 monotonic = 0;

    // --- time ---
    qint64 monotonicMs()
    {
        const quint32 tick = parts.clock.tickMs();
        monotonic += quint32(tick - lastTick); // tickMs wraps after 49 days
        lastTick = tick;
        return monotonic;
    }
    qint64 wallMs() const { return parts.clock.nowUtcMs(); }
    QDateTime wallTime() const { return QDateTime::fromMSecsSinceEpoch(wallMs(), Qt::UTC); }
    AlarmCause causeOf(const QString &cause) const { return {cause, wallTime(), {}, {}, {}}; }
    AlarmCause operatorCause(const QString &comment) const
    {
        return {QStringLiteral("operator"), wallTime(), operatorName, parts.settings.stationName, comment};
    }

    // --- loading ---
    bool open(QString *error);
    QList<SensorView> sensorsOf(const QString &site) const;
    SensorView view(const QString &site, const SensorData &sensor) const;
    void showSensorsOf(const QString &site);

    // --- intake ---
    static constexpr qsizetype MinStepMessages = 500;
    static constexpr qsizetype MaxStepMessages = 1000;
    QList<mqtt::Received> pending;
    bool drainScheduled = false;
    void drainStep();
    void take(const mqtt::Received &message);
    void badInput(const QString &topic, const BadInput &bad);
    void onStatus(const QString &site, const StatusMessage &status, bool retained);
    void onConsole(const QString &site, const ConsoleMessage &console);
    void onEvent(const QString &site, const EventMessage &event);
    void onState(const QString &site, const StateMessage &state, const QByteArray &payload);
    void onSignal(const QString &site, const SignalMessage &signal);
    void applyEvent(const QString &site, const EventMessage &event);
    void reconcileSensor(const QString &site, const SensorData &sensor, const QString &cause);
    void removeSensor(const QString &site, int address);
    void gapChanged(const QString &site, const QDate &day, GapTracker::Change change, const QString &cause);
    void storeFileMarks();
    PostData &post(const QString &site);

    // --- alarms and liveness ---
    void setCondition(const AlarmCondition &wanted, bool present, const QString &cause, bool repeat = false);
    AlarmCondition sensorCondition(AlarmKind kind, const QString &site, int address, int loop, const QString &model,
                         const QString &text) const;
    void judgePost(const QString &site, const QString &cause);
    void refreshPost(const QString &site);
    void refreshChanged();
    void refreshAll();
    void updateSound();
    // After a change: the sound as the alarms want it, and the signals the window follows.
    void announce();

    // --- writes ---
    bool beginWrites();
    bool beginDurableWrites(); // for an operator's action
    bool endWrites(const char *what);
    bool action(ActionKind kind, const QString &target, const QString &comment, const QJsonObject &details = {},
                const QString &uid = newUid());
    bool store(const SharedAction &shared);

    // --- the centre's other stations ---
    // An acknowledgement whose alarm has not come here yet (a bridge may
    // bring the post's record after the other station's action).
    struct PendingAcknowledgement
    {
        QString source;
        QString record;
        AlarmCause cause;
        qint64 untilMs = 0;
    };
    static constexpr qint64 PendingAcknowledgementMs = 10 * 60 * 1000;
    QList<PendingAcknowledgement> pendingAcknowledgements;
    void onShared(const QByteArray &payload);
    void applyShared(const SharedAction &shared);
    void acknowledgeShared(const QString &source, const QString &record, const AlarmCause &cause);
    bool acknowledgePending(const QString &source);
    void holdShared(const SharedAction &shared, bool outOfService);
    void releaseShared(const SharedAction &shared, const AlarmCause &cause);
    void takeCard(const SharedAction &shared);

    // --- shelving ---
    bool shelvingRefused(int minutes, const QString &reason, QString *error) const;
    bool addShelf(ShelfRow shelf, int minutes, QString *error);
    bool storeShelf(ShelfRow &shelf, const QString &target, QString *error);
    bool holdRefused(const QString &what, const QString &reason, QString *error) const;
    void endShelf(qint64 shelfId, bool outOfService, const QString &how, const AlarmCause &cause);
    void expireShelves();
    QString sensorOf(const QString &site, int address) const;

    void escalate();
};

bool Station::Impl::open(QString *error)
{
    if (!parts.journal.open(error))
        return false;
    for (const PostRow &row : parts.journal.posts())
        posts[row.site].live.row = row;
    for (const SensorRow &row : parts.journal.sensors())
        posts[row.site].sensors[row.address].row = row;
    gaps.load(parts.journal.fileMarks(), parts.journal.openGaps());
    book.load(parts.journal.openAlarms(), parts.journal.activeShelves(), parts.journal.lastEscalations());
    book.takeChangedSites();
    const qint64 now = monotonicMs();
    for (auto post = posts.begin(); post != posts.end(); ++post)
        post->live.watchedSinceMs = now;
    board.setAll({});
    refreshAll();
    updateSound();
    qCInfo(lcStation).noquote() << "journal" << parts.journal.path() << "opened:" << posts.size() << "posts,"
                                << alarmList.rowCount() << "open alarms";
    return true;
}

QList<SensorView> Station::Impl::sensorsOf(const QString &site) const
{
    QList<SensorView> views;
    const auto found = posts.find(site);
    if (found == posts.end())
        return views;
    for (const SensorData &sensor : found->sensors)
        views.append(view(site, sensor));
    return views;
}

SensorView Station::Impl::view(const QString &site, const SensorData &sensor) const
{
    SensorView shown = viewOf(sensor);
    shown.outOfService = book.outOfService(site, sensor.row.address) != nullptr;
    return shown;
}

void Station::Impl::showSensorsOf(const QString &site)
{
    dirtyPosts.insert(site);
    const auto found = posts.find(site);
    if (found == posts.end())
        return;
    for (const SensorData &sensor : std::as_const(found->sensors))
        sensorList.sensorChanged(site, view(site, sensor));
}

PostData &Station::Impl::post(const QString &site)
{
    dirtyPosts.insert(site);
    auto found = posts.find(site);
    if (found == posts.end()) {
        found = posts.insert(site, {});
        found->live.row.site = site;
        found->live.watchedSinceMs = monotonicMs();
        qCInfo(lcStationIntake).noquote() << "new post" << site;
    }
    return *found;
}

void Station::Impl::take(const mqtt::Received &message)
{
    if (!parts.settings.centreTopic.isEmpty() && message.topic == centreActionsTopic(parts.settings.centreTopic)) {
        onShared(message.payload);
        return;
    }
    const ParseResult parsed = parseMessage(message.topic, message.payload, parts.settings.prefixes);
    if (!parsed.message) {
        badInput(message.topic, parsed.bad);
        return;
    }
    const QString &site = parsed.message->topic.site;
    if (!parts.settings.sites.isEmpty() && !parts.settings.sites.contains(site))
        return;
    std::visit(
        [&](const auto &body) {
            using Body = std::decay_t<decltype(body)>;
            if constexpr (std::is_same_v<Body, StatusMessage>)
                onStatus(site, body, message.retained);
            else if constexpr (std::is_same_v<Body, ConsoleMessage>)
                onConsole(site, body);
            else if constexpr (std::is_same_v<Body, EventMessage>)
                onEvent(site, body);
            else if constexpr (std::is_same_v<Body, StateMessage>)
                onState(site, body, message.payload);
            else
                onSignal(site, body);
        },
        parsed.message->body);
}

void Station::Impl::badInput(const QString &topic, const BadInput &bad)
{
    ++badInputs;
    // Once per post and kind: a post sending garbage every second must not flood the log.
    const QString key = badKindName(bad.kind) + u'|' + topic.section(u'/', 0, 1);
    if (badLogged.contains(key))
        return;
    badLogged.insert(key);
    qCWarning(lcStationIntake).noquote() << "ignored a message on" << printable(topic) << "(" + badKindName(bad.kind) + "):"
                                         << printable(bad.reason) << "- further ones like it are counted, not logged";
}

void Station::Impl::onStatus(const QString &site, const StatusMessage &status, bool retained)
{
    if (!posts.contains(site) && !status.time.isValid()) {
        badInput(parts.settings.prefixes.value(0) + u'/' + site + QStringLiteral("/status"),
                 {BadKind::UnknownSite, QStringLiteral("offline from a post never heard of; not made a post")});
        return;
    }
    PostLiveness &live = post(site).live;
    live.row.hasStatus = true;
    live.row.online = status.online;
    if (status.time.isValid()) {
        live.row.statusTime = status.time;
        live.row.intervalSeconds = status.intervalSeconds;
    }
    live.row.statusReceived = wallTime();
    if (status.online && !retained)
        live.renewed(monotonicMs(), wallMs());
    writeFailed = !parts.journal.savePost(live.row) || writeFailed;
    judgePost(site, QStringLiteral("status of ") + site);
}

void Station::Impl::onConsole(const QString &site, const ConsoleMessage &console)
{
    PostRow &row = post(site).live.row;
    row.hasConsole = true;
    row.consoleRunning = console.running;
    row.line = console.line;
    row.lastPoll = console.lastPoll;
    row.consoleTime = console.time;
    writeFailed = !parts.journal.savePost(row) || writeFailed;
    judgePost(site, QStringLiteral("console report of ") + site);
}

void Station::Impl::onEvent(const QString &site, const EventMessage &event)
{
    const Journal::Insert inserted = parts.journal.addEvent(event.row, wallTime());
    if (inserted == Journal::Insert::Duplicate)
        return;
    if (inserted == Journal::Insert::Failed) {
        writeFailed = true;
        return;
    }
    post(site);
    const QString cause = site + u' ' + event.row.id.text();
    const GapTracker::Change change = gaps.note(site, event.row.id, wallTime());
    if (change != GapTracker::Change::None)
        gapChanged(site, event.row.id.day, change, cause);
    applyEvent(site, event);
}

AlarmCondition Station::Impl::sensorCondition(AlarmKind kind, const QString &site, int address, int loop, const QString &model,
                                    const QString &text) const
{
    QString known = model;
    if (known.isEmpty()) {
        const auto found = posts.find(site);
        if (found != posts.end() && found->sensors.contains(address))
            known = found->sensors.value(address).row.model;
    }
    return {sourceOf(kind, site, address, loop), kind, site, address, loop, sensorName(known, address), text};
}

void Station::Impl::applyEvent(const QString &site, const EventMessage &event)
{
    const EventRow &row = event.row;
    if (row.address < 0)
        return;
    const QString cause = site + u' ' + row.id.text();
    const auto wanted = [&](AlarmKind kind, int loop) {
        return sensorCondition(kind, site, row.address, loop, event.model, row.text);
    };
    if (row.kind == u"alarm" && row.loop > 0) {
        setCondition(wanted(AlarmKind::Trip, row.loop), true, cause, true);
    } else if (row.kind == u"fault") {
        setCondition(wanted(AlarmKind::Fault, 0), true, cause, true);
    } else if (row.kind == u"link_lost") {
        setCondition(wanted(AlarmKind::LinkLost, 0), true, cause, true);
    } else if (row.kind == u"link_restored") {
        book.settle(sourceOf(AlarmKind::LinkLost, site, row.address), causeOf(cause));
    } else if (row.kind == u"normal") {
        // A loop back to normal, or the whole sensor back to standby, which ends its fault.
        if (row.loop > 0)
            book.settle(sourceOf(AlarmKind::Trip, site, row.address, row.loop), causeOf(cause));
        else
            book.settle(sourceOf(AlarmKind::Fault, site, row.address), causeOf(cause));
    }
}

void Station::Impl::onState(const QString &site, const StateMessage &state, const QByteArray &payload)
{
    const int address = state.row.address;
    if (state.removed) {
        removeSensor(site, address);
        return;
    }
    PostData &data = post(site);
    auto held = data.sensors.find(address);
    if (held != data.sensors.end() && state.row.event < held->row.event) {
        if (!olderStateLogged.contains(site)) {
            olderStateLogged.insert(site);
            qCInfo(lcStationIntake).noquote()
                << "ignored the state of sensor" << address << "of" << site << "after" << state.row.event.text()
                << "(a broker's older copy?): the station holds the one after" << held->row.event.text()
                << "- further ones of this post are not logged";
        }
        return;
    }
    if (held != data.sensors.end() && held->row == state.row)
        return; // sent again (after a reconnection): nothing changed
    if (held == data.sensors.end())
        held = data.sensors.insert(address, {});
    held->row = state.row;
    writeFailed = !parts.journal.saveSensor(state.row, payload, wallTime()) || writeFailed;
    reconcileSensor(site, *held, site + QStringLiteral(" state after ") + state.row.event.text());
    sensorList.sensorChanged(site, view(site, *held));
}

void Station::Impl::reconcileSensor(const QString &site, const SensorData &sensor, const QString &cause)
{
    const SensorRow &row = sensor.row;
    const auto wanted = [&](AlarmKind kind, int loop, const QString &text) {
        return sensorCondition(kind, site, row.address, loop, row.model, text);
    };
    const QString loops[] = {row.loop1, row.loop2};
    for (int loop = 1; loop <= 2; ++loop) {
        const QString &word = loops[loop - 1];
        if (word != u"unknown")
            setCondition(wanted(AlarmKind::Trip, loop, QStringLiteral("Срабатывание %1 шлейфа").arg(loop)),
                         word == u"alarm", cause);
    }
    setCondition(wanted(AlarmKind::Fault, 0, row.fault), !row.fault.isEmpty(), cause);
    if (row.link != u"unknown")
        setCondition(wanted(AlarmKind::LinkLost, 0, QStringLiteral("Нет связи с датчиком")), row.link == u"lost", cause);
}

void Station::Impl::removeSensor(const QString &site, int address)
{
    const auto found = posts.find(site);
    if (found == posts.end() || !found->sensors.contains(address))
        return;
    dirtyPosts.insert(site);
    const AlarmCause cause = causeOf(QStringLiteral("sensor %1 of %2 disconnected").arg(address).arg(site));
    for (const QString &source : {sourceOf(AlarmKind::Trip, site, address, 1), sourceOf(AlarmKind::Trip, site, address, 2),
                                  sourceOf(AlarmKind::Fault, site, address), sourceOf(AlarmKind::LinkLost, site, address)})
        book.settle(source, cause);
    found->sensors.remove(address);
    writeFailed = !parts.journal.removeSensor(site, address) || writeFailed;
    sensorList.sensorRemoved(site, quint16(address));
}

void Station::Impl::onSignal(const QString &site, const SignalMessage &signal)
{
    const auto found = posts.find(site);
    if (found == posts.end() || !found->sensors.contains(signal.address))
        return;
    SensorData &sensor = found->sensors[signal.address];
    sensor.signal1 = signal.loop1;
    sensor.signal2 = signal.loop2;
    sensorList.sensorChanged(site, view(site, sensor));
}

void Station::Impl::gapChanged(const QString &site, const QDate &day, GapTracker::Change change, const QString &cause)
{
    gapFiles.insert({site, day});
    const GapTracker::File *file = gaps.file(site, day);
    const QString source = sourceOf(AlarmKind::Gap, site) + u':' + day.toString(Qt::ISODate);
    if (!file || file->missing.isEmpty()) {
        book.settle(source, causeOf(cause));
        return;
    }
    const QString text = QStringLiteral("Пропущены записи %1: %2")
                             .arg(day.toString(QStringLiteral("dd.MM.yyyy")), GapTracker::describe(file->missing));
    if (change == GapTracker::Change::Opened) {
        qCWarning(lcStationIntake).noquote() << "records missing from" << site << day.toString(QStringLiteral("dd.MM.yyyy"))
                                             << GapTracker::describe(file->missing) << "(noticed at" << cause + ")";
        setCondition({source, AlarmKind::Gap, site, -1, 0, {}, text}, true, cause, true);
    } else {
        book.retext(source, text);
    }
}

void Station::Impl::storeFileMarks()
{
    for (const auto &[site, day] : gaps.takeChanged()) {
        const GapTracker::File *file = gaps.file(site, day);
        if (file)
            writeFailed = !parts.journal.saveFileMark({site, day, file->lastNumber}) || writeFailed;
    }
    for (const auto &[site, day] : std::as_const(gapFiles)) {
        const GapTracker::File *file = gaps.file(site, day);
        writeFailed = !parts.journal.replaceGaps(site, day, file ? file->missing : QList<GapRow>(), wallTime()) || writeFailed;
    }
    gapFiles.clear();
}

void Station::Impl::setCondition(const AlarmCondition &wanted, bool present, const QString &cause, bool repeat)
{
    if (!present) {
        book.settle(wanted.source, causeOf(cause));
        return;
    }
    if (book.activate(wanted, repeat, causeOf(cause)) && !acknowledgePending(wanted.source)
        && !book.isShelved(wanted.source)) {
        raisedNew = true;
        silenceChanged = silenceChanged || annunciator.silenced(monotonicMs());
        annunciator.newAlarm();
    }
}

void Station::Impl::judgePost(const QString &site, const QString &cause)
{
    const auto found = posts.find(site);
    if (found == posts.end() || !brokerConnected)
        return;
    const PostHealth health = judge(found->live, monotonicMs(), wallMs());
    const auto wanted = [&](AlarmKind kind) { return AlarmCondition{sourceOf(kind, site), kind, site, -1, 0, {}, postAlarmText(kind)}; };
    setCondition(wanted(AlarmKind::Offline), health.offline, cause);
    setCondition(wanted(AlarmKind::Stale), health.stale, cause);
    setCondition(wanted(AlarmKind::ClockSkew), found->live.skewed && !health.offline, cause);
    if (health.consoleKnown) {
        setCondition(wanted(AlarmKind::ConsoleDown), health.consoleDown, cause);
        setCondition(wanted(AlarmKind::LineStopped), health.lineStopped, cause);
    }
}

namespace {

// The post's colour and words: the first layer that fails, from the
// station's own connection down to the sensors.
void describe(PostView &view, const PostHealth &health, bool brokerConnected, bool gap, bool outOfService,
              int sensors)
{
    if (outOfService) {
        view.tone = Tone::OutOfService;
        view.stateText = QStringLiteral("выведен из работы");
        return;
    }
    if (!brokerConnected) {
        view.tone = Tone::Unknown;
        view.stateText = QStringLiteral("неизвестно"); // the banner says why
        return;
    }
    if (health.offline || health.stale) {
        view.tone = health.offline ? Tone::Offline : Tone::Stale;
        view.stateText = health.offline ? QStringLiteral("отключён") : QStringLiteral("устарел");
        return;
    }
    const bool consoleTrouble = health.consoleDown || health.lineStopped;
    view.tone = view.alarms > 0                            ? Tone::Alarm
                : consoleTrouble || view.faults > 0 || gap ? Tone::Fault
                : view.noLink > 0                          ? Tone::NoLink
                : health.hasStatus                         ? Tone::Normal
                                                           : Tone::Unknown;
    view.stateText = health.consoleDown   ? QStringLiteral("консоль не работает")
                     : health.lineStopped ? QStringLiteral("линия остановлена")
                     : health.lineUnknown ? QStringLiteral("на связи, линия: нет данных")
                     : health.hasStatus   ? QStringLiteral("на связи")
                                          : QStringLiteral("нет статуса");
    if (view.outOfService == 0)
        return;
    // Never shown as healthy while sensors are held out: what is not watched is said.
    if (view.tone == Tone::Normal)
        view.tone = Tone::OutOfService;
    view.stateText += view.outOfService == sensors ? QStringLiteral(", все датчики выведены")
                                                   : QStringLiteral(", выведено датчиков: %1").arg(view.outOfService);
}

} // namespace

void Station::Impl::refreshPost(const QString &site)
{
    const auto found = posts.find(site);
    if (found == posts.end())
        return;
    const PostHealth health = judge(found->live, monotonicMs(), wallMs());
    PostView view;
    view.site = site;
    view.blink = book.hasUnacknowledged(site);
    view.statusAgeSeconds = health.statusAgeSeconds;
    for (const SensorData &sensor : found->sensors) {
        if (book.outOfService(site, sensor.row.address)) {
            ++view.outOfService;
            continue;
        }
        view.alarms += sensor.row.loop1 == u"alarm" || sensor.row.loop2 == u"alarm";
        view.faults += !sensor.row.fault.isEmpty();
        view.noLink += sensor.row.link == u"lost";
    }
    describe(view, health, brokerConnected, gaps.hasMissing(site), book.outOfService(site, -1) != nullptr,
             int(found->sensors.size()));
    board.setPost(view);
}

void Station::Impl::refreshChanged()
{
    QSet<QString> sites = book.takeChangedSites();
    sites.unite(dirtyPosts);
    dirtyPosts.clear();
    for (const QString &site : std::as_const(sites)) {
        if (!site.isEmpty())
            refreshPost(site);
    }
}

void Station::Impl::refreshAll()
{
    book.takeChangedSites();
    dirtyPosts.clear();
    for (auto post = posts.cbegin(); post != posts.cend(); ++post)
        refreshPost(post.key());
}

void Station::Impl::updateSound()
{
    // An escalated alarm of any priority sounds as a trip does.
    annunciator.update(book.anyUnacknowledged(true) || book.anyEscalated(), book.anyUnacknowledged(false), monotonicMs());
}

void Station::Impl::announce()
{
    updateSound();
    if (std::exchange(silenceChanged, false))
        emit q.silenceChanged();
    if (std::exchange(raisedNew, false))
        emit q.newAlarm();
}

bool Station::Impl::beginWrites()
{
    writeFailed = false;
    book.clearJournalFailure();
    raisedNew = false;
    if (parts.journal.begin())
        return true;
    const QString reason = parts.journal.errorText();
    qCCritical(lcStationJournal).noquote() << "cannot write the journal:" << reason;
    emit q.journalFailed(reason);
    return false;
}

bool Station::Impl::beginDurableWrites()
{
    writeFailed = false;
    book.clearJournalFailure();
    raisedNew = false;
    if (parts.journal.beginDurable())
        return true;
    qCCritical(lcStationJournal).noquote() << "cannot write the journal:" << parts.journal.errorText();
    return false;
}

bool Station::Impl::endWrites(const char *what)
{
    storeFileMarks();
    if (!writeFailed && !book.journalFailed() && parts.journal.commit()) {
        if (std::exchange(queuedShared, false))
            emit q.actionsQueued();
        return true;
    }
    queuedShared = false;
    parts.journal.rollback();
    const QString reason = parts.journal.errorText();
    qCCritical(lcStationJournal).noquote() << "the journal did not take" << what << ":" << reason;
    emit q.journalFailed(reason);
    return false;
}

// Journaled with its uid; one the centre's stations share also waits in the
// outbox, in the same transaction, until the broker has it.
bool Station::Impl::action(ActionKind kind, const QString &target, const QString &comment, const QJsonObject &details,
                           const QString &uid)
{
    return store({{wallTime(), parts.settings.stationName, operatorName, kind, target, comment, uid}, details});
}

bool Station::Impl::store(const SharedAction &shared)
{
    const ActionKind kind = shared.row.kind;
    const QString &uid = shared.row.uid;
    bool stored = parts.journal.addAction(shared.row);
    if (stored && sharedKind(kind) && !parts.settings.centreTopic.isEmpty()) {
        stored = parts.journal.addToOutbox(uid, encodeShared(shared));
        queuedShared = true;
    }
    writeFailed = !stored || writeFailed;
    return stored;
}

// --- the centre's other stations ---

void Station::Impl::onShared(const QByteArray &payload)
{
    QString reason;
    const std::optional<SharedAction> shared = decodeShared(payload, &reason);
    if (!shared) {
        badInput(centreActionsTopic(parts.settings.centreTopic), {BadKind::BadField, reason});
        return;
    }
    if (parts.journal.hasAction(shared->row.uid))
        return; // this station's own, or one sent again
    writeFailed = !parts.journal.addAction(shared->row) || writeFailed;
    qCInfo(lcStation).noquote() << "action" << actionName(shared->row.kind) << shared->row.target << "of"
                                << printable(shared->row.operatorName) << "at" << printable(shared->row.station);
    applyShared(*shared);
}

void Station::Impl::applyShared(const SharedAction &shared)
{
    const AlarmCause cause{QStringLiteral("action ") + shared.row.uid, wallTime(), shared.row.operatorName,
                           shared.row.station, shared.row.comment};
    switch (shared.row.kind) {
    case ActionKind::Acknowledge:
        for (const QJsonValue &alarm : shared.details.value(QStringLiteral("alarms")).toArray())
            acknowledgeShared(alarm[QStringLiteral("source")].toString(), alarm[QStringLiteral("record")].toString(), cause);
        break;
    case ActionKind::Shelve: holdShared(shared, false); break;
    case ActionKind::OutOfService: holdShared(shared, true); break;
    case ActionKind::Unshelve:
    case ActionKind::ReturnToService: releaseShared(shared, cause); break;
    case ActionKind::EditCard: takeCard(shared); break;
    default: break; // journaled only
    }
}

// The other station acknowledged this occurrence: the alarm here if it is
// the same one (raised by the same record), or the one that record raises.
void Station::Impl::acknowledgeShared(const QString &source, const QString &record, const AlarmCause &cause)
{
    const AlarmRow *alarm = book.bySource(source);
    const bool sameOccurrence = alarm && (record.isEmpty() || recordOf(alarm->activation).isEmpty()
                                          || recordOf(alarm->activation) == record);
    if (alarm && sameOccurrence) {
        if (isUnacknowledged(alarm->state))
            book.acknowledge(alarm->id, cause);
        return;
    }
    if (!record.isEmpty())
        pendingAcknowledgements.append({source, record, cause, monotonicMs() + PendingAcknowledgementMs});
}

bool Station::Impl::acknowledgePending(const QString &source)
{
    const AlarmRow *alarm = book.bySource(source);
    const qint64 now = monotonicMs();
    for (qsizetype i = 0; alarm && i < pendingAcknowledgements.size(); ++i) {
        const PendingAcknowledgement &pending = pendingAcknowledgements.at(i);
        if (pending.untilMs < now) {
            pendingAcknowledgements.remove(i--);
        } else if (pending.source == source && pending.record == recordOf(alarm->activation)) {
            book.acknowledge(alarm->id, pending.cause);
            pendingAcknowledgements.remove(i);
            return true;
        }
    }
    return false;
}

void Station::Impl::holdShared(const SharedAction &shared, bool outOfService)
{
    const QJsonObject &details = shared.details;
    if (book.shelfByUid(shared.row.uid) || parts.journal.hasActionOn(releaseTarget(outOfService, shared.row.uid)))
        return; // ended already: its end came first
    ShelfRow shelf;
    shelf.source = details.value(QStringLiteral("source")).toString();
    shelf.site = details.value(QStringLiteral("site")).toString();
    shelf.address = details.value(QStringLiteral("address")).toInt(-1);
    shelf.what = details.value(QStringLiteral("what")).toString();
    shelf.shelved = shared.row.time;
    shelf.until = QDateTime::fromString(details.value(QStringLiteral("until")).toString(), Qt::ISODateWithMs);
    shelf.operatorName = shared.row.operatorName;
    shelf.station = shared.row.station;
    shelf.reason = shared.row.comment;
    shelf.uid = shared.row.uid;
    shelf.outOfService = outOfService;
    if (shelf.site.isEmpty() || (!outOfService && !shelf.until.isValid())) {
        badInput(centreActionsTopic(parts.settings.centreTopic), {BadKind::BadField, QStringLiteral("a hold without its post or time")});
        return;
    }
    if (book.shelve(shelf) && outOfService)
        showSensorsOf(shelf.site);
}

void Station::Impl::releaseShared(const SharedAction &shared, const AlarmCause &cause)
{
    const ShelfRow *shelf = book.shelfByUid(shared.row.target.section(u' ', -1));
    if (!shelf)
        return; // not here yet (its end is journaled, so it never will be) or over already
    const bool outOfService = shelf->outOfService;
    const QString site = shelf->site;
    endShelf(shelf->id, outOfService, outOfService ? shared.row.operatorName : QStringLiteral("unshelved"), cause);
    if (outOfService)
        showSensorsOf(site);
}

// --- the facade ---

Station::Station(Parts parts, QObject *parent) : QObject(parent), d_(std::make_unique<Impl>(*this, std::move(parts))) {}

Station::~Station() = default;

bool Station::open(QString *error)
{
    return d_->open(error) && d_->cards.load(error);
}

void Station::receive(const QList<mqtt::Received> &batch)
{
    Impl &d = *d_;
    d.pending.append(batch);
    if (!d.drainScheduled)
        d.drainStep();
}

// A flood (a backlog after an outage) is taken in steps, one transaction
// each, so that it never holds the window's thread long; the rest follows
// from the event loop, in order, before anything received later. A step
// takes at least MinStepMessages and all but that many of what waits, up to
// MaxStepMessages (twice what the broker client reads at a time): so the
// station keeps up with the socket and the waiting messages stay few.
void Station::Impl::drainStep()
{
    drainScheduled = false;
    const qsizetype count =
        qMin(pending.size(), qBound(MinStepMessages, pending.size() - MinStepMessages, MaxStepMessages));
    if (count == 0 || !beginWrites())
        return;
    for (qsizetype i = 0; i < count; ++i)
        take(pending.at(i));
    pending.remove(0, count);
    endWrites("a received batch");
    refreshChanged();
    announce();
    if (!pending.isEmpty()) {
        drainScheduled = true;
        QTimer::singleShot(0, &q, guarded("received backlog", [this] { drainStep(); }));
    }
}

void Station::setBrokerConnected(bool connected, const QString &reason)
{
    Impl &d = *d_;
    if (connected == d.brokerConnected
        && (connected || brokerProblemText(d.parts.settings.broker.name(), reason) == d.brokerProblem))
        return;
    const bool changed = connected != d.brokerConnected || !d.brokerLostSince.isValid();
    d.brokerConnected = connected;
    d.brokerProblem = connected ? QString() : brokerProblemText(d.parts.settings.broker.name(), reason);
    if (changed && d.beginWrites()) {
        const AlarmCondition wanted{sourceOf(AlarmKind::BrokerLost, {}), AlarmKind::BrokerLost, {}, -1, 0, {},
                             QStringLiteral("Нет связи с брокером %1").arg(d.parts.settings.broker.name())};
        d.setCondition(wanted, !connected, connected ? QStringLiteral("connected") : reason);
        d.endWrites("the broker alarm");
    }
    d.brokerLostSince = connected ? QDateTime() : (d.brokerLostSince.isValid() ? d.brokerLostSince : d.wallTime());
    if (connected) {
        // Every post gets its interval twice over to be heard again.
        const qint64 now = d.monotonicMs();
        for (PostData &post : d.posts)
            post.live.watchedSinceMs = now;
    }
    d.refreshAll();
    emit brokerChanged();
    d.raisedNew = d.raisedNew && changed;
    d.announce();
}

void Station::tick()
{
    Impl &d = *d_;
    const bool wasSilenced = d.annunciator.silenced(d.monotonicMs());
    if (d.beginWrites()) {
        for (auto post = d.posts.cbegin(); post != d.posts.cend(); ++post)
            d.judgePost(post.key(), QStringLiteral("station check"));
        d.expireShelves();
        d.escalate();
        d.endWrites("the liveness checks");
    }
    d.refreshAll();
    d.silenceChanged = d.silenceChanged || wasSilenced; // the countdown moved, or the silence ended
    d.announce();
}

bool Station::signIn(const QString &name, const QString &password, QString *error)
{
    Impl &d = *d_;
    if (!d.parts.operators.verify(name, password)) {
        qCWarning(lcStation).noquote() << "sign-in refused for" << printable(name);
        *error = QStringLiteral("Неверное имя оператора или пароль.");
        return false;
    }
    if (!d.beginDurableWrites()) {
        *error = QStringLiteral("Журнал станции не записывается: %1").arg(d.parts.journal.errorText());
        return false;
    }
    if (!d.operatorName.isEmpty() && d.operatorName != name)
        d.action(ActionKind::SignOut, QStringLiteral("operator change"), {});
    d.operatorName = name;
    d.action(ActionKind::SignIn, {}, {});
    d.endWrites("a sign-in");
    qCInfo(lcStation).noquote() << "operator" << name << "signed in";
    emit operatorChanged();
    return true;
}

void Station::signOut()
{
    Impl &d = *d_;
    if (d.operatorName.isEmpty())
        return;
    if (d.beginDurableWrites()) {
        d.action(ActionKind::SignOut, {}, {});
        d.endWrites("a sign-out");
    }
    qCInfo(lcStation).noquote() << "operator" << d.operatorName << "signed out";
    d.operatorName.clear();
    emit operatorChanged();
}

QString Station::operatorName() const
{
    return d_->operatorName;
}

namespace {

const QString nobodySignedIn = QStringLiteral("Никто не вошёл: войдите («Вход»), чтобы квитировать тревоги.");

} // namespace

bool Station::acknowledge(qint64 alarmId, const QString &comment, QString *error)
{
    Impl &d = *d_;
    if (d.operatorName.isEmpty()) {
        *error = nobodySignedIn;
        return false;
    }
    const AlarmRow *alarm = d.book.byId(alarmId);
    if (!alarm || !isUnacknowledged(alarm->state)) {
        *error = alarm ? QStringLiteral("Тревога уже квитирована.") : QStringLiteral("Тревога уже закрыта.");
        return false;
    }
    const QJsonObject details = alarmDetails({alarm});
    if (!d.beginDurableWrites()) {
        *error = QStringLiteral("Журнал станции не записывается: %1").arg(d.parts.journal.errorText());
        return false;
    }
    d.book.acknowledge(alarmId, d.operatorCause(comment));
    d.action(ActionKind::Acknowledge, QStringLiteral("alarm %1").arg(alarmId), comment, details);
    const bool stored = d.endWrites("an acknowledgement");
    d.refreshChanged();
    d.updateSound();
    if (!stored)
        *error = QStringLiteral("Квитирование не записано в журнал: %1").arg(d.parts.journal.errorText());
    return stored;
}

bool Station::acknowledgePost(const QString &site, const QString &comment, QString *error)
{
    Impl &d = *d_;
    if (d.operatorName.isEmpty()) {
        *error = nobodySignedIn;
        return false;
    }
    const QList<qint64> ids = d.book.unacknowledgedOf(site);
    if (ids.isEmpty()) {
        *error = QStringLiteral("У поста %1 нет неквитированных тревог.").arg(site);
        return false;
    }
    QList<const AlarmRow *> alarms;
    for (const qint64 id : ids)
        alarms.append(d.book.byId(id));
    const QJsonObject details = alarmDetails(alarms);
    if (!d.beginDurableWrites()) {
        *error = QStringLiteral("Журнал станции не записывается: %1").arg(d.parts.journal.errorText());
        return false;
    }
    for (const qint64 id : ids)
        d.book.acknowledge(id, d.operatorCause(comment));
    d.action(ActionKind::Acknowledge, QStringLiteral("post ") + site, comment, details);
    const bool stored = d.endWrites("an acknowledgement");
    d.refreshChanged();
    d.updateSound();
    if (!stored)
        *error = QStringLiteral("Квитирование не записано в журнал: %1").arg(d.parts.journal.errorText());
    return stored;
}

bool Station::silence(QString *error)
{
    Impl &d = *d_;
    if (d.operatorName.isEmpty()) {
        *error = QStringLiteral("Никто не вошёл: войдите («Вход»), чтобы включить тишину.");
        return false;
    }
    if (!d.beginDurableWrites()) {
        *error = QStringLiteral("Журнал станции не записывается: %1").arg(d.parts.journal.errorText());
        return false;
    }
    d.action(ActionKind::Silence, {}, QStringLiteral("%1 s").arg(d.parts.settings.silenceSeconds));
    if (!d.endWrites("a silence")) {
        *error = QStringLiteral("Тишина не записана в журнал: %1").arg(d.parts.journal.errorText());
        return false;
    }
    d.annunciator.silence(d.monotonicMs());
    qCInfo(lcStation).noquote() << "silenced for" << d.parts.settings.silenceSeconds << "s by" << d.operatorName;
    emit silenceChanged();
    return true;
}

namespace {

QString journalRefused(Journal &journal)
{
    return QStringLiteral("Журнал станции не записывается: %1").arg(journal.errorText());
}

} // namespace

bool Station::Impl::shelvingRefused(int minutes, const QString &reason, QString *error) const
{
    if (operatorName.isEmpty())
        *error = QStringLiteral("Никто не вошёл: войдите («Вход»), чтобы откладывать тревоги.");
    else if (reason.trimmed().isEmpty())
        *error = QStringLiteral("Укажите причину, по которой тревога откладывается.");
    else if (minutes < 1 || minutes > parts.settings.maxShelveMinutes)
        *error = QStringLiteral("Отложить можно на срок от 1 до %1 мин.").arg(parts.settings.maxShelveMinutes);
    else
        return false;
    return true;
}

bool Station::Impl::addShelf(ShelfRow shelf, int minutes, QString *error)
{
    shelf.shelved = wallTime();
    shelf.until = shelf.shelved.addSecs(qint64(minutes) * 60);
    const QString target = shelf.source.isEmpty() ? QStringLiteral("sensor %1 %2").arg(shelf.site).arg(shelf.address)
                                                  : QStringLiteral("alarm source ") + shelf.source;
    if (!storeShelf(shelf, target + QStringLiteral(" for %1 min").arg(minutes), error))
        return false;
    qCInfo(lcStation).noquote() << operatorName << "shelved" << target << "for" << minutes << "min:" << shelf.reason;
    return true;
}

// A shelf or an out-of-service item, with the action that makes it (their uid is the same).
bool Station::Impl::storeShelf(ShelfRow &shelf, const QString &target, QString *error)
{
    shelf.operatorName = operatorName;
    shelf.station = parts.settings.stationName;
    shelf.reason = shelf.reason.trimmed();
    shelf.uid = newUid();
    if (!beginDurableWrites()) {
        *error = journalRefused(parts.journal);
        return false;
    }
    const ActionKind kind = shelf.outOfService ? ActionKind::OutOfService : ActionKind::Shelve;
    const bool stored = book.shelve(shelf) && action(kind, target, shelf.reason, shelfDetails(shelf), shelf.uid)
                        && endWrites(shelf.outOfService ? "an out-of-service" : "a shelving");
    if (!stored) {
        parts.journal.rollback();
        book.load(parts.journal.openAlarms(), parts.journal.activeShelves(), parts.journal.lastEscalations());
        *error = (shelf.outOfService ? QStringLiteral("Вывести из работы не удалось, журнал не записывается: %1")
                                     : QStringLiteral("Отложить не удалось, журнал не записывается: %1"))
                     .arg(parts.journal.errorText());
        return false;
    }
    refreshChanged();
    updateSound();
    return true;
}

bool Station::Impl::holdRefused(const QString &what, const QString &reason, QString *error) const
{
    if (operatorName.isEmpty())
        *error = QStringLiteral("Никто не вошёл: войдите («Вход»), чтобы %1.").arg(what);
    else if (reason.trimmed().isEmpty())
        *error = QStringLiteral("Укажите причину.");
    else
        return false;
    return true;
}

void Station::Impl::endShelf(qint64 shelfId, bool outOfService, const QString &how, const AlarmCause &cause)
{
    if (book.endShelf(shelfId, outOfService, how, cause)) {
        raisedNew = true;
        silenceChanged = silenceChanged || annunciator.silenced(monotonicMs());
        annunciator.newAlarm();
    }
}

void Station::Impl::expireShelves()
{
    const QDateTime now = wallTime();
    for (const qint64 id : book.expiredShelves(now)) {
        qCInfo(lcStation).noquote() << "shelf" << id << "ended: its time is up";
        endShelf(id, false, QStringLiteral("expired"), {QStringLiteral("shelving expired"), now, {}, {}, {}});
    }
}

// Each escalation ends a silence and brings the window into sight, as a new alarm does.
void Station::Impl::escalate()
{
    const QDateTime now = wallTime();
    for (const AlarmRow &alarm : book.escalate(now, parts.settings.escalation)) {
        const qint64 minutes = alarm.unacknowledgedSince.secsTo(now) / 60;
        qCWarning(lcStation).noquote() << "alarm" << alarm.id << alarm.source << "escalated: unacknowledged for"
                                       << minutes << "min";
        // Not an operator's doing: the row names nobody.
        writeFailed = !parts.journal.addAction({now, parts.settings.stationName, {}, ActionKind::Escalate,
                                                QStringLiteral("alarm %1").arg(alarm.id),
                                                QStringLiteral("unacknowledged for %1 min").arg(minutes), {}})
                      || writeFailed;
        escalationCommand.run(alarm.id, escalationJson(alarm, parts.settings.stationName, now));
        raisedNew = true;
        silenceChanged = silenceChanged || annunciator.silenced(monotonicMs());
        annunciator.newAlarm();
    }
}

QString Station::Impl::sensorOf(const QString &site, int address) const
{
    const auto post = posts.find(site);
    if (post == posts.end() || !post->sensors.contains(address))
        return {};
    return sensorName(post->sensors.value(address).row.model, address);
}

bool Station::shelve(qint64 alarmId, int minutes, const QString &reason, QString *error)
{
    Impl &d = *d_;
    if (d.shelvingRefused(minutes, reason, error))
        return false;
    const AlarmRow *alarm = d.book.byId(alarmId);
    if (!alarm || d.book.shelfOf(*alarm)) {
        *error = alarm ? QStringLiteral("Тревога уже отложена.") : QStringLiteral("Тревога уже закрыта.");
        return false;
    }
    const QString what = alarm->sensor.isEmpty() ? alarm->text : alarm->sensor + QStringLiteral(": ") + alarm->text;
    return d.addShelf({0, alarm->source, alarm->site, alarm->address, what, {}, {}, {}, {}, reason, {}, false}, minutes, error);
}

bool Station::shelveSensor(const QString &site, int address, int minutes, const QString &reason, QString *error)
{
    Impl &d = *d_;
    if (d.shelvingRefused(minutes, reason, error))
        return false;
    const QString sensor = d.sensorOf(site, address);
    if (sensor.isEmpty()) {
        *error = QStringLiteral("У поста %1 нет датчика № %2.").arg(site).arg(address);
        return false;
    }
    return d.addShelf({0, {}, site, address, QStringLiteral("все тревоги датчика ") + sensor, {}, {}, {}, {}, reason, {}, false},
                      minutes, error);
}

bool Station::unshelve(qint64 shelfId, QString *error)
{
    Impl &d = *d_;
    if (d.operatorName.isEmpty()) {
        *error = QStringLiteral("Никто не вошёл: войдите («Вход»), чтобы вернуть отложенное.");
        return false;
    }
    const ShelfRow *shelf = d.book.shelf(shelfId);
    if (!shelf) {
        *error = QStringLiteral("Уже не отложено: срок вышел или вернул другой оператор.");
        return false;
    }
    const QString what = shelf->what;
    const QString uid = shelf->uid;
    if (!d.beginDurableWrites()) {
        *error = journalRefused(d.parts.journal);
        return false;
    }
    AlarmCause cause = d.operatorCause({});
    cause.cause = QStringLiteral("unshelved");
    d.endShelf(shelfId, false, QStringLiteral("unshelved"), cause);
    d.action(ActionKind::Unshelve, releaseTarget(false, uid), what);
    const bool stored = d.endWrites("an unshelving");
    qCInfo(lcStation).noquote() << d.operatorName << "unshelved" << what;
    d.refreshChanged();
    d.announce();
    if (!stored)
        *error = QStringLiteral("Возврат не записан в журнал: %1").arg(d.parts.journal.errorText());
    return stored;
}

bool Station::takeOutOfService(const QString &site, int address, const QString &reason, QString *error)
{
    Impl &d = *d_;
    if (d.holdRefused(QStringLiteral("выводить из работы"), reason, error))
        return false;
    const QString sensor = address < 0 ? QString() : d.sensorOf(site, address);
    if (!d.posts.contains(site) || (address >= 0 && sensor.isEmpty())) {
        *error = address < 0 ? QStringLiteral("Поста %1 нет.").arg(site)
                             : QStringLiteral("У поста %1 нет датчика № %2.").arg(site).arg(address);
        return false;
    }
    if (const ShelfRow *held = d.book.outOfService(site, address)) {
        *error = QStringLiteral("Уже выведено из работы: %1 (%2).").arg(held->what, held->operatorName);
        return false;
    }
    ShelfRow item;
    item.site = site;
    item.address = address;
    item.what = address < 0 ? QStringLiteral("пост ") + site : QStringLiteral("датчик ") + sensor;
    item.shelved = d.wallTime();
    item.reason = reason;
    item.outOfService = true;
    const QString target = address < 0 ? QStringLiteral("post ") + site : QStringLiteral("sensor %1 %2").arg(site).arg(address);
    if (!d.storeShelf(item, target, error))
        return false;
    qCInfo(lcStation).noquote() << d.operatorName << "took" << target << "out of service:" << item.reason;
    d.showSensorsOf(site);
    d.refreshChanged();
    return true;
}

bool Station::returnToService(qint64 itemId, QString *error)
{
    Impl &d = *d_;
    if (d.operatorName.isEmpty()) {
        *error = QStringLiteral("Никто не вошёл: войдите («Вход»), чтобы вернуть в работу.");
        return false;
    }
    const ShelfRow *item = d.book.shelf(itemId, true);
    if (!item) {
        *error = QStringLiteral("Уже в работе: вернул другой оператор.");
        return false;
    }
    const ShelfRow held = *item;
    if (!d.beginDurableWrites()) {
        *error = journalRefused(d.parts.journal);
        return false;
    }
    AlarmCause cause = d.operatorCause({});
    cause.cause = QStringLiteral("returned to service");
    d.endShelf(itemId, true, d.operatorName, cause);
    d.action(ActionKind::ReturnToService, releaseTarget(true, held.uid), held.what);
    const bool stored = d.endWrites("a return to service");
    qCInfo(lcStation).noquote() << d.operatorName << "returned" << held.what << "to service";
    d.showSensorsOf(held.site);
    d.refreshChanged();
    d.announce();
    if (!stored)
        *error = QStringLiteral("Возврат в работу не записан в журнал: %1").arg(d.parts.journal.errorText());
    return stored;
}

bool Station::record(ActionRow action, QString *error)
{
    Impl &d = *d_;
    if (!d.beginDurableWrites()) {
        *error = journalRefused(d.parts.journal);
        return false;
    }
    action.time = action.time.isValid() ? action.time : d.wallTime();
    action.station = d.parts.settings.stationName;
    action.operatorName = action.operatorName.isEmpty() ? d.operatorName : action.operatorName;
    action.uid = action.uid.isEmpty() ? newUid() : action.uid;
    d.store({action, {}});
    if (d.endWrites("an action"))
        return true;
    *error = journalRefused(d.parts.journal);
    return false;
}

// --- the posts' cards ---

const PostCard *Station::card(const QString &site) const
{
    return d_->cards.card(site);
}

bool Station::mayEditCards() const
{
    return !d_->operatorName.isEmpty() && d_->parts.operators.mayEditCards(d_->operatorName);
}

namespace {

constexpr qsizetype MaxCardField = 4000;

// Why the operator may not save the card; empty: he may.
QString cardRefusal(const QString &operatorName, const Operators &operators, const PostCard &card)
{
    if (operatorName.isEmpty())
        return QStringLiteral("Никто не вошёл: войдите («Вход»), чтобы изменить карточку поста.");
    if (!operators.mayEditCards(operatorName))
        return QStringLiteral("Оператору %1 не дано права изменять карточки постов.").arg(operatorName);
    if (card.site.isEmpty())
        return QStringLiteral("Не указан пост карточки.");
    if (qMax(card.address.size(), qMax(card.instructions.size(), card.contacts.size())) > MaxCardField)
        return QStringLiteral("Поле карточки длиннее %1 знаков.").arg(MaxCardField);
    return {};
}

} // namespace

bool Station::editCard(const PostCard &edited, QString *error)
{
    Impl &d = *d_;
    *error = cardRefusal(d.operatorName, d.parts.operators, edited);
    if (!error->isEmpty()) {
        qCWarning(lcStation).noquote() << "card of" << printable(edited.site) << "not edited:" << *error;
        return false;
    }
    PostCard card = edited;
    card.changed = d.wallTime();
    card.operatorName = d.operatorName;
    card.station = d.parts.settings.stationName;
    const QString changes = cardChanges(d.cards.card(card.site), card);
    if (!d.beginDurableWrites()) {
        *error = journalRefused(d.parts.journal);
        return false;
    }
    const bool saved = d.cards.save(card);
    d.writeFailed = !saved;
    d.action(ActionKind::EditCard, QStringLiteral("card ") + card.site, changes, cardDetails(card));
    if (!d.endWrites("a card's edit")) {
        QString ignored;
        d.cards.load(&ignored);
        *error = QStringLiteral("Карточка поста не сохранена, журнал не записывается: %1")
                     .arg(saved ? d.parts.journal.errorText() : d.cards.errorText());
        return false;
    }
    qCInfo(lcStation).noquote() << d.operatorName << "edited the card of" << card.site << ":" << changes;
    emit cardChanged(card.site);
    return true;
}

// Another station's edit, stamped with its operator, station and time; an
// older one than the card held (come late or reordered) is journaled only.
void Station::Impl::takeCard(const SharedAction &shared)
{
    PostCard card = cardFrom(shared.details);
    card.changed = shared.row.time;
    card.operatorName = shared.row.operatorName;
    card.station = shared.row.station;
    if (card.site.isEmpty()) {
        badInput(centreActionsTopic(parts.settings.centreTopic), {BadKind::BadField, QStringLiteral("a card without its post")});
        return;
    }
    if (!cards.supersedes(card)) {
        qCInfo(lcStation).noquote() << "the card of" << printable(card.site) << "from" << printable(card.station)
                                    << "is older than the one held: not taken";
        return;
    }
    writeFailed = !cards.save(card) || writeFailed;
    emit q.cardChanged(card.site);
}

QList<OutboxEntry> Station::outbox()
{
    return d_->parts.journal.outbox();
}

void Station::sent(const QString &uid)
{
    if (!d_->parts.journal.removeFromOutbox(uid))
        qCWarning(lcStationJournal).noquote() << "the sent action" << uid << "stays in the outbox:" << d_->parts.journal.errorText();
}

int Station::silenceLeftSeconds() const
{
    return d_->annunciator.silenceLeftSeconds(d_->monotonicMs());
}

qsizetype Station::backlog() const
{
    return d_->pending.size();
}

QString Station::brokerProblem() const
{
    return d_->brokerProblem;
}

QDateTime Station::brokerLostSince() const
{
    return d_->brokerLostSince;
}

const StationSettings &Station::settings() const
{
    return d_->parts.settings;
}

qint64 Station::badInputCount() const
{
    return d_->badInputs;
}

BoardModel &Station::board()
{
    return d_->board;
}

AlarmListModel &Station::alarmList()
{
    return d_->alarmList;
}

AlarmGroupModel &Station::alarmGroups()
{
    return d_->alarmGroups;
}

ShelvedListModel &Station::shelved()
{
    return d_->shelvedList;
}

ShelvedListModel &Station::outOfService()
{
    return d_->outOfServiceList;
}

SensorListModel &Station::sensors()
{
    return d_->sensorList;
}

} // namespace dorvan::station
