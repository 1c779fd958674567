#include "events/eventcatalog.h"

#include "sensors/sensortable.h"

#include <QRegularExpression>

#include <array>

namespace dorvan {

namespace {

constexpr std::size_t RowCount = std::size(eventCatalog);

QString patternOf(const EventEntry &entry)
{
    return QString::fromUtf16(entry.pattern.data(), qsizetype(entry.pattern.size()));
}

int loopNumber(TextLoop loop)
{
    return loop == TextLoop::First ? 1 : loop == TextLoop::Second ? 2 : 0;
}

int modelOf(const EventEntry &entry, int ownModel)
{
    switch (entry.model) {
    case TextModel::Fixed301: return 0;
    case TextModel::Fixed302: return 1;
    case TextModel::Own: return ownModel;
    case TextModel::None: break;
    }
    return -1;
}

QString placeholderValue(QStringView name, const EventEntry &entry, const EventArgs &args)
{
    if (name == u"loop")
        return QString::number(args.loop);
    if (name == u"model")
        return modelName(modelOf(entry, args.model));
    if (name == u"address")
        return QString::number(args.address);
    if (name == u"operator")
        return args.operatorName;
    return {};
}

// The pattern as an anchored expression with one named group per placeholder.
QRegularExpression expressionOf(const EventEntry &entry)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{(loop|model|address|operator)\\}"));
    const QString models = QRegularExpression::escape(modelName(0)) + u'|' + QRegularExpression::escape(modelName(1));
    const QString pattern = patternOf(entry);
    QString expression;
    qsizetype at = 0;
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(pattern)) {
        expression += QRegularExpression::escape(pattern.mid(at, match.capturedStart() - at));
        const QString name = match.captured(1);
        if (name == u"loop")
            expression += QStringLiteral("(?<loop>[12])");
        else if (name == u"model")
            expression += QStringLiteral("(?<model>") + models + u')';
        else if (name == u"address")
            expression += QStringLiteral("(?<address>-?[0-9]{1,18})");
        else
            expression += QStringLiteral("(?<operator>.*)");
        at = match.capturedEnd();
    }
    expression += QRegularExpression::escape(pattern.mid(at));
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::DotMatchesEverythingOption);
}

const QRegularExpression &expressionOfRow(std::size_t row)
{
    static const std::array<QRegularExpression, RowCount> expressions = [] {
        std::array<QRegularExpression, RowCount> built;
        for (std::size_t i = 0; i < RowCount; ++i)
            built[i] = expressionOf(eventCatalog[i]);
        return built;
    }();
    return expressions[row];
}

std::optional<ParsedEvent> parseWithRow(std::size_t row, const QString &text)
{
    const EventEntry &entry = eventCatalog[row];
    const QRegularExpressionMatch match = expressionOfRow(row).match(text);
    if (!match.hasMatch())
        return std::nullopt;
    ParsedEvent parsed{entry.text};
    parsed.loop = entry.loop == TextLoop::Named ? match.captured(u"loop").toInt() : loopNumber(entry.loop);
    if (entry.model != TextModel::None) {
        parsed.model = match.captured(u"model") == modelName(0) ? 0 : 1;
        // A fixed model names one model whatever the sensor is: a text naming
        // another is not this row's.
        const int fixed = modelOf(entry, parsed.model);
        if (fixed != parsed.model)
            return std::nullopt;
        parsed.namesOwnModel = entry.model == TextModel::Own;
    }
    parsed.address = match.captured(u"address").toLongLong();
    parsed.operatorName = match.captured(u"operator");
    return parsed;
}

bool loopFits(TextLoop loop, int wanted)
{
    switch (loop) {
    case TextLoop::None: return wanted == 0;
    case TextLoop::Named: return wanted == 1 || wanted == 2;
    case TextLoop::First: case TextLoop::Second: break;
    }
    return true;
}

} // namespace

const char *eventKindName(EventKind kind)
{
    switch (kind) {
    case EventKind::Normal: return "normal";
    case EventKind::Fault: return "fault";
    case EventKind::LinkLost: return "link_lost";
    case EventKind::Armed: return "armed";
    case EventKind::Disarmed: return "disarmed";
    case EventKind::System: return "system";
    case EventKind::Connected: return "connected";
    case EventKind::Disconnected: return "disconnected";
    case EventKind::LinkRestored: return "link_restored";
    case EventKind::Alarm: return "alarm";
    case EventKind::Threshold: return "threshold";
    case EventKind::Unknown: break;
    }
    return "unknown";
}

// One pass over the pattern: what the arguments hold is never read as a
// placeholder.
QString eventText(EventText text, const EventArgs &args)
{
    const EventEntry &entry = eventEntry(text);
    const QString pattern = patternOf(entry);
    QString filled;
    qsizetype at = 0;
    while (at < pattern.size()) {
        const qsizetype open = pattern.indexOf(u'{', at);
        const qsizetype close = open < 0 ? -1 : pattern.indexOf(u'}', open);
        if (close < 0) {
            filled += QStringView(pattern).mid(at);
            break;
        }
        filled += QStringView(pattern).mid(at, open - at);
        filled += placeholderValue(QStringView(pattern).mid(open + 1, close - open - 1), entry, args);
        at = close + 1;
    }
    return filled;
}

QString eventText(quint8 code, const EventArgs &args)
{
    for (const EventEntry &entry : eventCatalog) {
        if (entry.code == code && !entry.pattern.empty() && loopFits(entry.loop, args.loop))
            return eventText(entry.text, args);
    }
    return {};
}

std::optional<ParsedEvent> parseEventText(int code, const QString &text)
{
    // Another console's trip code comes with the text of a trip.
    const int textCode = code == EventCode::OtherTrip ? EventCode::Tripped : code;
    for (std::size_t row = 0; row < RowCount; ++row) {
        if (eventCatalog[row].code != textCode || eventCatalog[row].pattern.empty())
            continue;
        if (std::optional<ParsedEvent> parsed = parseWithRow(row, text))
            return parsed;
    }
    return std::nullopt;
}

int fixedLoopOf(int code)
{
    int loop = -1;
    for (const EventEntry &entry : eventCatalog) {
        if (entry.code != code)
            continue;
        const int own = entry.loop == TextLoop::Named ? 0 : loopNumber(entry.loop);
        if (loop >= 0 && own != loop)
            return 0;
        loop = own;
    }
    return qMax(loop, 0);
}

} // namespace dorvan
