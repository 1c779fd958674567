#include "station/payloads.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>

namespace dorvan::station {

namespace {

constexpr int MaxSiteLength = 64;

// Reads the fields of one JSON object; the first wrong one is remembered
// and every later read gives a default.
class Fields
{
public:
    explicit Fields(const QJsonObject &object) : object_(object) {}

    QString text(const char *name, bool nullable = false)
    {
        const QJsonValue value = object_.value(QLatin1StringView(name));
        if (value.isString())
            return value.toString();
        if (!(nullable && value.isNull()))
            wrong(name, "a string");
        return {};
    }
    std::optional<qint64> integer(const char *name, qint64 low, qint64 high, bool nullable = false)
    {
        const QJsonValue value = object_.value(QLatin1StringView(name));
        if (nullable && value.isNull())
            return std::nullopt;
        const double number = value.toDouble(-1e300);
        // The range first: a double beyond qint64 must never be converted.
        if (!value.isDouble() || !(number >= double(low) && number <= double(high)) || number != double(qint64(number))) {
            wrong(name, "a whole number in range");
            return std::nullopt;
        }
        return qint64(number);
    }
    bool flag(const char *name)
    {
        const QJsonValue value = object_.value(QLatin1StringView(name));
        if (!value.isBool())
            wrong(name, "true or false");
        return value.toBool();
    }
    QString word(const char *name, std::initializer_list<const char *> allowed)
    {
        const QString value = text(name);
        for (const char *one : allowed) {
            if (value == QLatin1StringView(one))
                return value;
        }
        wrong(name, "one of the documented words");
        return {};
    }
    QDateTime time(const char *name, bool nullable = false)
    {
        const QString value = text(name, nullable);
        if (value.isEmpty())
            return {};
        QDateTime parsed = QDateTime::fromString(value, Qt::ISODateWithMs);
        if (!parsed.isValid())
            wrong(name, "an ISO 8601 time");
        return parsed;
    }
    std::optional<double> figure(const char *object, const char *name)
    {
        const QJsonValue outer = object_.value(QLatin1StringView(object));
        if (outer.isNull() || outer.isUndefined())
            return std::nullopt;
        const QJsonValue value = outer.toObject().value(QLatin1StringView(name));
        if (!outer.isObject() || !(value.isDouble() || value.isNull())) {
            wrong(object, "an object of numbers");
            return std::nullopt;
        }
        return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
    }
    void wrong(const char *name, const char *expected)
    {
        if (problem_.isEmpty())
            problem_ = QStringLiteral("\"%1\" is not %2").arg(QLatin1StringView(name), QLatin1StringView(expected));
    }
    bool ok() const { return problem_.isEmpty(); }
    QString problem() const { return problem_; }

private:
    QJsonObject object_;
    QString problem_;
};

bool validSite(const QString &site)
{
    if (site.isEmpty() || site.size() > MaxSiteLength)
        return false;
    for (const QChar c : site) {
        if (!c.isPrint() || c == u'+' || c == u'#' || c == u'/' || c.isSpace())
            return false;
    }
    return true;
}

std::optional<Channel> channelOf(const QStringList &levels, int *address)
{
    if (levels.size() == 1) {
        if (levels[0] == u"status")
            return Channel::Status;
        if (levels[0] == u"console")
            return Channel::Console;
        if (levels[0] == u"event")
            return Channel::Event;
        return std::nullopt;
    }
    if (levels.size() != 3 || levels[0] != u"sensor")
        return std::nullopt;
    const QString &number = levels[1];
    const bool digits = !number.isEmpty() && number.size() <= 5 && number[0] != u'0'
                        && std::all_of(number.begin(), number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digits || number.toInt() > 65535)
        return std::nullopt;
    *address = levels[1].toInt();
    if (levels[2] == u"state")
        return Channel::SensorState;
    if (levels[2] == u"signal")
        return Channel::SensorSignal;
    return std::nullopt;
}

ParseResult bad(BadKind kind, const QString &reason)
{
    return {std::nullopt, {kind, reason}};
}

ParseResult good(const TopicParts &topic, MessageBody body)
{
    return {ParsedMessage{topic, std::move(body)}, {}};
}

ParseResult fieldsResult(const TopicParts &topic, const Fields &fields, MessageBody body)
{
    if (!fields.ok())
        return bad(BadKind::BadField, fields.problem());
    return good(topic, std::move(body));
}

ParseResult status(const TopicParts &topic, const QByteArray &payload, const QJsonObject &object)
{
    Q_UNUSED(payload);
    Fields fields(object);
    StatusMessage message;
    message.online = fields.word("state", {"online", "offline"}) == u"online";
    message.time = fields.time("time");
    message.intervalSeconds = int(fields.integer("interval", 1, 86400).value_or(0));
    return fieldsResult(topic, fields, message);
}

ParseResult console(const TopicParts &topic, const QJsonObject &object)
{
    Fields fields(object);
    ConsoleMessage message;
    message.running = fields.flag("running");
    message.line = fields.word("line", {"running", "stopped", "unknown"});
    message.lastPoll = fields.time("last_poll", true);
    message.time = fields.time("time");
    return fieldsResult(topic, fields, message);
}

bool siteMatches(Fields &fields, const TopicParts &topic, QString *reason)
{
    const QString site = fields.text("site");
    if (fields.ok() && site != topic.site) {
        *reason = QStringLiteral("\"site\" %1 is not the topic's").arg(site.left(MaxSiteLength));
        return false;
    }
    return true;
}

ParseResult event(const TopicParts &topic, const QByteArray &payload, const QJsonObject &object)
{
    Fields fields(object);
    QString reason;
    if (!siteMatches(fields, topic, &reason))
        return bad(BadKind::SiteMismatch, reason);
    EventMessage message;
    EventRow &row = message.row;
    row.site = topic.site;
    row.id = parseRecordId(fields.text("id"));
    if (fields.ok() && !row.id.isValid())
        fields.wrong("id", "dd.mm.yyyy#N");
    row.time = fields.text("time"); // kept as the post sent it
    row.code = int(fields.integer("code", 0, 255).value_or(-1));
    row.kind = fields.text("kind");
    message.model = fields.text("model", true);
    row.address = int(fields.integer("address", 1, 65535, true).value_or(-1));
    row.loop = int(fields.integer("loop", 1, 2, true).value_or(0));
    row.text = fields.text("text");
    row.payload = payload;
    return fieldsResult(topic, fields, message);
}

ParseResult state(const TopicParts &topic, const QJsonObject &object)
{
    Fields fields(object);
    QString reason;
    if (!siteMatches(fields, topic, &reason))
        return bad(BadKind::SiteMismatch, reason);
    StateMessage message;
    SensorRow &row = message.row;
    row.site = topic.site;
    row.address = int(fields.integer("address", 1, 65535).value_or(0));
    if (fields.ok() && row.address != topic.address)
        return bad(BadKind::SiteMismatch, QStringLiteral("\"address\" %1 is not the topic's").arg(row.address));
    row.model = fields.text("model", true);
    row.link = fields.word("link", {"up", "lost", "unknown"});
    row.loop1 = fields.word("loop1", {"disarmed", "normal", "alarm", "unknown"});
    row.loop2 = fields.word("loop2", {"disarmed", "normal", "alarm", "unknown"});
    row.fault = fields.text("fault", true);
    row.faultCode = int(fields.integer("fault_code", 0, 255, true).value_or(-1));
    row.changed = fields.text("changed", true);
    row.event = parseRecordId(fields.text("event"));
    if (fields.ok() && !row.event.isValid())
        fields.wrong("event", "dd.mm.yyyy#N");
    return fieldsResult(topic, fields, message);
}

ParseResult signal(const TopicParts &topic, const QJsonObject &object)
{
    Fields fields(object);
    SignalMessage message;
    message.address = int(fields.integer("address", 1, 65535).value_or(0));
    if (fields.ok() && message.address != topic.address)
        return bad(BadKind::SiteMismatch, QStringLiteral("\"address\" %1 is not the topic's").arg(message.address));
    message.utcMs = fields.integer("utcMs", 0, qint64(1) << 50).value_or(0);
    message.loop1 = {fields.figure("signal1", "max"), fields.figure("threshold1", "min")};
    message.loop2 = {fields.figure("signal2", "max"), fields.figure("threshold2", "min")};
    return fieldsResult(topic, fields, message);
}

} // namespace

QString badKindName(BadKind kind)
{
    switch (kind) {
    case BadKind::Topic: return QStringLiteral("topic");
    case BadKind::Oversized: return QStringLiteral("oversized");
    case BadKind::NotJson: return QStringLiteral("not JSON");
    case BadKind::BadField: return QStringLiteral("bad field");
    case BadKind::SiteMismatch: return QStringLiteral("site mismatch");
    case BadKind::UnknownSite: return QStringLiteral("unknown site");
    }
    return {};
}

RecordId parseRecordId(const QString &text)
{
    // dd.mm.yyyy#N, read by hand: this runs for every event and state.
    constexpr qsizetype NumberAt = 11, MaxDigits = 9;
    if (text.size() <= NumberAt || text.size() > NumberAt + MaxDigits || text[2] != u'.' || text[5] != u'.'
        || text[10] != u'#')
        return {};
    const auto digits = [&](qsizetype from, qsizetype count) {
        int value = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    const int day = digits(0, 2), month = digits(3, 2), year = digits(6, 4);
    const int number = digits(NumberAt, text.size() - NumberAt);
    const QDate date(year, month, day);
    if (day < 0 || month < 0 || year < 0 || number < 0 || !date.isValid())
        return {};
    return {date, number};
}

std::optional<TopicParts> parseTopic(const QString &topic, const QStringList &prefixes, QString *reason)
{
    for (const QString &prefix : prefixes) {
        if (!topic.startsWith(prefix + u'/'))
            continue;
        QStringList levels = topic.mid(prefix.size() + 1).split(u'/');
        TopicParts parts;
        parts.site = levels.takeFirst();
        if (!validSite(parts.site)) {
            *reason = QStringLiteral("the site level is empty, too long or has odd characters");
            return std::nullopt;
        }
        const std::optional<Channel> channel = channelOf(levels, &parts.address);
        if (!channel) {
            *reason = QStringLiteral("not a topic a post publishes");
            return std::nullopt;
        }
        parts.channel = *channel;
        return parts;
    }
    *reason = QStringLiteral("under none of the prefixes");
    return std::nullopt;
}

ParseResult parseMessage(const QString &topic, const QByteArray &payload, const QStringList &prefixes)
{
    QString reason;
    const std::optional<TopicParts> parts = parseTopic(topic, prefixes, &reason);
    if (!parts)
        return bad(BadKind::Topic, reason);
    if (payload.size() > MaxPayloadBytes)
        return bad(BadKind::Oversized, QStringLiteral("%1 bytes").arg(payload.size()));
    if (parts->channel == Channel::Status && payload.trimmed() == "offline")
        return good(*parts, StatusMessage{});
    if (parts->channel == Channel::SensorState && payload.isEmpty())
        return good(*parts, StateMessage{true, SensorRow{parts->site, parts->address, {}, {}, {}, {}, {}, -1, {}, {}}});

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return bad(BadKind::NotJson, error.error != QJsonParseError::NoError ? error.errorString()
                                                                              : QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();
    switch (parts->channel) {
    case Channel::Status: return status(*parts, payload, object);
    case Channel::Console: return console(*parts, object);
    case Channel::Event: return event(*parts, payload, object);
    case Channel::SensorState: return state(*parts, object);
    case Channel::SensorSignal: return signal(*parts, object);
    }
    return bad(BadKind::Topic, QStringLiteral("not a topic a post publishes"));
}

} // namespace dorvan::station
