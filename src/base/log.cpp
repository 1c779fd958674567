#include "base/log.h"

namespace dorvan {

namespace {

Q_LOGGING_CATEGORY(lineLog, "dorvan.line")
Q_LOGGING_CATEGORY(filesLog, "dorvan.files")
Q_LOGGING_CATEGORY(eventsLog, "dorvan.events")
Q_LOGGING_CATEGORY(consoleLog, "dorvan.console")

} // namespace

const QLoggingCategory &logCategory(LogArea area)
{
    switch (area) {
    case LogArea::Line: return lineLog();
    case LogArea::Files: return filesLog();
    case LogArea::Events: return eventsLog();
    case LogArea::Console: break;
    }
    return consoleLog();
}

void logBox(LogArea area, BoxIcon icon, const QString &caption, const QString &text)
{
    const QLoggingCategory &category = logCategory(area);
    if (icon == BoxIcon::Error || icon == BoxIcon::Warning)
        qCWarning(category).noquote() << caption + QStringLiteral(": ") + text;
    else
        qCInfo(category).noquote() << caption + QStringLiteral(": ") + text;
}

void installLogFormat()
{
    qSetMessagePattern(QStringLiteral(
        "%{time yyyy-MM-dd HH:mm:ss.zzz} %{category} %{if-warning}warning %{endif}"
        "%{if-critical}critical %{endif}%{if-fatal}fatal %{endif}%{message}"));
}

} // namespace dorvan
