#include "station/alarmbook.h"

namespace dorvan::station {

AlarmView viewOf(const AlarmRow &alarm)
{
    AlarmView view;
    view.id = alarm.id;
    view.kind = alarm.kind;
    view.state = alarm.state;
    view.time = alarm.lastActivation.isValid() ? alarm.lastActivation : alarm.raised;
    view.site = alarm.site;
    view.sensor = alarm.sensor;
    view.address = alarm.address;
    view.text = alarm.text;
    view.repeats = alarm.repeats;
    view.acknowledgedBy = alarm.acknowledgedBy;
    view.escalated = alarm.escalated;
    return view;
}

AlarmBook::AlarmBook(Journal &journal, AlarmListModel &list, ShelvedListModel &shelvedList,
                     ShelvedListModel &outOfServiceList)
    : journal_(journal), list_(list), shelvedList_(shelvedList), outOfServiceList_(outOfServiceList)
{
}

void AlarmBook::load(const QList<AlarmRow> &open, const QList<ShelfRow> &shelves,
                     const QHash<qint64, QDateTime> &escalations)
{
    open_.clear();
    sourceOf_.clear();
    shelves_ = shelves;
    QList<AlarmView> views;
    for (AlarmRow alarm : open) {
        if (isUnacknowledged(alarm.state)) {
            alarm.unacknowledgedSince = alarm.lastActivation.isValid() ? alarm.lastActivation : alarm.raised;
            const QDateTime escalated = escalations.value(alarm.id);
            alarm.escalated = escalated.isValid() && escalated >= alarm.unacknowledgedSince;
        }
        open_.insert(alarm.source, alarm);
        sourceOf_.insert(alarm.id, alarm.source);
        if (!shelfOf(alarm))
            views.append(viewOf(alarm));
        changedSites_.insert(alarm.site);
    }
    list_.setAll(views);
    recount();
    showShelves();
}

bool AlarmBook::shelve(ShelfRow shelf)
{
    if (!journal_.addShelf(shelf)) {
        journalFailed_ = true;
        return false;
    }
    shelves_.append(shelf);
    for (const AlarmRow &alarm : std::as_const(open_)) {
        if (shelf.covers(alarm)) {
            list_.removeAlarm(alarm.id);
            changedSites_.insert(alarm.site);
        }
    }
    recount();
    showShelves();
    return true;
}

bool AlarmBook::endShelf(qint64 shelfId, bool outOfService, const QString &how, const AlarmCause &cause)
{
    const auto ending = std::find_if(shelves_.cbegin(), shelves_.cend(), [&](const ShelfRow &s) {
        return s.id == shelfId && s.outOfService == outOfService;
    });
    if (ending == shelves_.cend())
        return false;
    const ShelfRow shelf = *ending;
    shelves_.erase(ending);
    journalFailed_ = !journal_.endShelf(shelf, cause.time, how) || journalFailed_;
    QStringList back;
    for (const AlarmRow &alarm : std::as_const(open_)) {
        if (shelf.covers(alarm) && !shelfOf(alarm))
            back.append(alarm.source);
    }
    bool unacknowledgedAgain = false;
    for (const QString &source : std::as_const(back)) {
        AlarmRow &alarm = open_[source];
        alarm.unacknowledgedSince = cause.time; // unseen while shelved: counted from now
        if (!apply(alarm, AlarmInput::ShelfEnds, cause))
            show(alarm);
        unacknowledgedAgain = isUnacknowledged(alarm.state) || unacknowledgedAgain;
    }
    recount();
    showShelves();
    return unacknowledgedAgain;
}

QList<qint64> AlarmBook::expiredShelves(const QDateTime &now) const
{
    QList<qint64> ids;
    for (const ShelfRow &shelf : shelves_) {
        if (!shelf.outOfService && shelf.until <= now)
            ids.append(shelf.id);
    }
    return ids;
}

const ShelfRow *AlarmBook::shelf(qint64 shelfId, bool outOfService) const
{
    for (const ShelfRow &shelf : shelves_) {
        if (shelf.id == shelfId && shelf.outOfService == outOfService)
            return &shelf;
    }
    return nullptr;
}

const ShelfRow *AlarmBook::shelfByUid(const QString &uid) const
{
    for (const ShelfRow &shelf : shelves_) {
        if (!uid.isEmpty() && shelf.uid == uid)
            return &shelf;
    }
    return nullptr;
}

const ShelfRow *AlarmBook::outOfService(const QString &site, int address) const
{
    for (const ShelfRow &shelf : shelves_) {
        if (shelf.outOfService && shelf.site == site && (shelf.address == address || shelf.wholePost()))
            return &shelf;
    }
    return nullptr;
}

const ShelfRow *AlarmBook::shelfOf(const AlarmRow &alarm) const
{
    for (const ShelfRow &shelf : shelves_) {
        if (shelf.covers(alarm))
            return &shelf;
    }
    return nullptr;
}

bool AlarmBook::isShelved(const QString &source) const
{
    const AlarmRow *alarm = bySource(source);
    return alarm && shelfOf(*alarm);
}

bool AlarmBook::heardUnacknowledged(const AlarmRow &alarm) const
{
    return isUnacknowledged(alarm.state) && !shelfOf(alarm);
}

void AlarmBook::recount()
{
    for (auto count = unacknowledged_.begin(); count != unacknowledged_.end(); ++count) {
        if (count.value() != 0)
            changedSites_.insert(count.key());
    }
    unacknowledged_.clear();
    for (const AlarmRow &alarm : std::as_const(open_))
        unacknowledged_[alarm.site] += heardUnacknowledged(alarm);
}

void AlarmBook::showShelves()
{
    QList<ShelfView> views, outOfService;
    for (const ShelfRow &shelf : std::as_const(shelves_)) {
        QStringList states;
        for (const AlarmRow &alarm : std::as_const(open_)) {
            if (shelf.covers(alarm))
                states.append(stateText(alarm.state));
        }
        states.removeDuplicates();
        (shelf.outOfService ? outOfService : views)
            .append({shelf.id, shelf.site, shelf.what, states.join(QStringLiteral("; ")),
                     shelf.outOfService ? shelf.shelved : shelf.until, shelf.operatorName, shelf.reason});
    }
    shelvedList_.setAll(views);
    outOfServiceList_.setAll(outOfService);
}

bool AlarmBook::activate(const AlarmCondition &wanted, bool repeat, const AlarmCause &cause)
{
    auto found = open_.find(wanted.source);
    if (found == open_.end()) {
        AlarmRow alarm;
        alarm.source = wanted.source;
        alarm.kind = wanted.kind;
        alarm.site = wanted.site;
        alarm.address = wanted.address;
        alarm.loop = wanted.loop;
        alarm.sensor = wanted.sensor;
        alarm.text = wanted.text;
        alarm.state = AlarmState::Normal;
        alarm.raised = cause.time;
        found = open_.insert(wanted.source, alarm);
    } else if (isActive(found->state) && !repeat) {
        return false;
    }
    if (!wanted.text.isEmpty())
        found->text = wanted.text;
    if (!wanted.sensor.isEmpty())
        found->sensor = wanted.sensor;
    return apply(*found, AlarmInput::Activate, cause);
}

void AlarmBook::settle(const QString &source, const AlarmCause &cause)
{
    const auto found = open_.find(source);
    if (found != open_.end() && isActive(found->state))
        apply(*found, AlarmInput::Return, cause);
}

void AlarmBook::retext(const QString &source, const QString &text)
{
    const auto found = open_.find(source);
    if (found == open_.end() || found->text == text)
        return;
    found->text = text;
    journalFailed_ = !journal_.saveAlarm(*found) || journalFailed_;
    show(*found);
}

bool AlarmBook::acknowledge(qint64 id, const AlarmCause &cause)
{
    const auto source = sourceOf_.find(id);
    if (source == sourceOf_.end())
        return false;
    const auto found = open_.find(*source);
    return found != open_.end() && isUnacknowledged(found->state) && apply(*found, AlarmInput::Acknowledge, cause);
}

bool AlarmBook::apply(AlarmRow &alarm, AlarmInput input, const AlarmCause &cause)
{
    const std::optional<AlarmTransition> transition = transitionFor(alarm.state, input);
    if (!transition)
        return false;
    const AlarmState from = alarm.state;
    alarm.state = transition->to;
    if (transition->repeats)
        ++alarm.repeats;
    if (input == AlarmInput::Activate) {
        alarm.lastActivation = cause.time;
        alarm.activation = cause.cause;
        alarm.acknowledgedBy.clear();
        alarm.acknowledgedAt = {};
    }
    if (input == AlarmInput::Acknowledge) {
        alarm.acknowledgedBy = cause.operatorName;
        alarm.acknowledgedAt = cause.time;
    }
    if (isUnacknowledged(alarm.state) && !isUnacknowledged(from))
        alarm.unacknowledgedSince = cause.time;
    if (!isUnacknowledged(alarm.state))
        alarm.escalated = false;
    if (alarm.state == AlarmState::Normal)
        alarm.cleared = cause.time;
    const bool shelved = shelfOf(alarm) != nullptr;
    unacknowledged_[alarm.site] += int(isUnacknowledged(alarm.state) && !shelved) - int(isUnacknowledged(from) && !shelved);
    const bool stored = journal_.saveAlarm(alarm)
                        && journal_.addAlarmChange({alarm.id, cause.time, from, alarm.state, cause.cause,
                                                    cause.operatorName, cause.station, cause.comment});
    journalFailed_ = journalFailed_ || !stored;
    show(alarm);
    return input != AlarmInput::Activate || from != AlarmState::Unacknowledged || transition->repeats;
}

void AlarmBook::show(const AlarmRow &alarm)
{
    changedSites_.insert(alarm.site);
    const bool shelved = shelfOf(alarm) != nullptr;
    if (shelved)
        list_.removeAlarm(alarm.id);
    else
        list_.setAlarm(viewOf(alarm));
    if (alarm.id != 0)
        sourceOf_.insert(alarm.id, alarm.source);
    const bool closed = !isOpen(alarm.state);
    if (closed) {
        sourceOf_.remove(alarm.id);
        open_.remove(alarm.source); // alarm refers into open_: nothing after this
    }
    if (shelved)
        showShelves();
}

QList<AlarmRow> AlarmBook::escalate(const QDateTime &now, const EscalationLimits &limits)
{
    QList<AlarmRow> escalated;
    for (AlarmRow &alarm : open_) {
        const int minutes = limits.minutesFor(priorityOf(alarm.kind));
        if (alarm.escalated || minutes <= 0 || !heardUnacknowledged(alarm)
            || alarm.unacknowledgedSince.addSecs(qint64(minutes) * 60) > now)
            continue;
        alarm.escalated = true;
        escalated.append(alarm);
    }
    for (const AlarmRow &alarm : std::as_const(escalated))
        show(alarm);
    return escalated;
}

bool AlarmBook::anyEscalated() const
{
    for (const AlarmRow &alarm : open_) {
        if (alarm.escalated && heardUnacknowledged(alarm))
            return true;
    }
    return false;
}

const AlarmRow *AlarmBook::bySource(const QString &source) const
{
    const auto found = open_.find(source);
    return found == open_.end() ? nullptr : &*found;
}

const AlarmRow *AlarmBook::byId(qint64 id) const
{
    const auto source = sourceOf_.find(id);
    return source == sourceOf_.end() ? nullptr : bySource(*source);
}

QList<qint64> AlarmBook::unacknowledgedOf(const QString &site) const
{
    QList<qint64> ids;
    for (const AlarmRow &alarm : open_) {
        if (alarm.site == site && heardUnacknowledged(alarm))
            ids.append(alarm.id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool AlarmBook::hasUnacknowledged(const QString &site) const
{
    return unacknowledged_.value(site) > 0;
}

bool AlarmBook::anyUnacknowledged(bool trips) const
{
    for (const AlarmRow &alarm : open_) {
        if (heardUnacknowledged(alarm) && (alarm.kind == AlarmKind::Trip) == trips)
            return true;
    }
    return false;
}

QSet<QString> AlarmBook::takeChangedSites()
{
    QSet<QString> sites;
    sites.swap(changedSites_);
    return sites;
}

} // namespace dorvan::station
