#include "base/log.h"

namespace dorvan {

Q_LOGGING_CATEGORY(lcLine, "dorvan.line")
Q_LOGGING_CATEGORY(lcFiles, "dorvan.files")
Q_LOGGING_CATEGORY(lcEvents, "dorvan.events")
Q_LOGGING_CATEGORY(lcConsole, "dorvan.console")
Q_LOGGING_CATEGORY(lcStart, "dorvan.start")
Q_LOGGING_CATEGORY(lcSetup, "dorvan.setup")
Q_LOGGING_CATEGORY(lcConfig, "dorvan.config")
Q_LOGGING_CATEGORY(lcHeartbeat, "dorvan.heartbeat")
Q_LOGGING_CATEGORY(lcExport, "dorvan.export")
Q_LOGGING_CATEGORY(lcReport, "dorvan.report")
Q_LOGGING_CATEGORY(lcTrends, "dorvan.trends")

const QLoggingCategory &logCategory(LogArea area)
{
    switch (area) {
    case LogArea::Line: return lcLine();
    case LogArea::Files: return lcFiles();
    case LogArea::Events: return lcEvents();
    case LogArea::Start: return lcStart();
    case LogArea::Console: break;
    }
    return lcConsole();
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
