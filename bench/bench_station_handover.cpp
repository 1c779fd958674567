// A shift's report from a journal on disk: SHIFTS shifts of twelve hours
// (default 10), each of 10,000 events from 200 posts, one in ten a trip,
// nearly all acknowledged with a comment and cleared five minutes on; 20 posts
// offline for a while, 50 shelvings, 10 items out of service, 30 gaps, the
// operators' sign-ins and a handover at each shift's end. Written through
// Journal (its schema, indexes and statements) in a temporary directory.
// Then the last shift is gathered, made HTML and written as a PDF (A4), each
// the median of five runs, on the thread a window would use.
//
// bench_station_handover [SHIFTS [PDF]]   (PDF: where to keep the last shift's report to look at)

#include "station/handover.h"
#include "station/journal.h"
#include "station/widgets/shiftreport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <functional>

using namespace dorvan;
using namespace dorvan::station;

namespace {

constexpr int EventsPerShift = 10000;
constexpr int Posts = 200;
constexpr int Runs = 5;
constexpr qint64 ShiftMs = 12LL * 3600 * 1000;
const QString Station = QStringLiteral("duty-room");

QTextStream out(stdout);

struct Writer
{
    Journal &journal;
    int record = 0;

    void event(const QString &site, const QDateTime &at, bool trip)
    {
        EventRow row;
        row.site = site;
        row.id = {at.date(), record++};
        row.time = at.toString(Qt::ISODateWithMs);
        row.code = trip ? 33 : 35;
        row.kind = trip ? QStringLiteral("alarm") : QStringLiteral("threshold");
        row.address = 1001 + record % 32;
        row.loop = trip ? 1 : 0;
        row.text = QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № %1").arg(row.address);
        row.payload = R"({"id":"x"})";
        journal.addEvent(row, at);
    }

    AlarmRow raise(const QString &site, AlarmKind kind, const QDateTime &at, const QString &text)
    {
        AlarmRow alarm;
        alarm.source = QStringLiteral("%1/%2/%3").arg(site).arg(record).arg(kindName(kind));
        alarm.kind = kind;
        alarm.site = site;
        alarm.address = kind == AlarmKind::Trip ? 1001 + record % 32 : -1;
        alarm.sensor = kind == AlarmKind::Trip ? QStringLiteral("Дорван-301ДК № %1").arg(alarm.address) : QString();
        alarm.text = text;
        alarm.raised = at;
        alarm.lastActivation = at;
        journal.saveAlarm(alarm);
        journal.addAlarmChange({alarm.id, at, AlarmState::Normal, AlarmState::Unacknowledged, QStringLiteral("event"), {}, {}, {}});
        return alarm;
    }

    void change(AlarmRow &alarm, AlarmState to, const QDateTime &at, const QString &who = {}, const QString &comment = {})
    {
        const AlarmState from = alarm.state;
        alarm.state = to;
        if (!who.isEmpty()) {
            alarm.acknowledgedBy = who;
            alarm.acknowledgedAt = at;
        }
        if (to == AlarmState::Normal)
            alarm.cleared = at;
        journal.saveAlarm(alarm);
        journal.addAlarmChange({alarm.id, at, from, to, who.isEmpty() ? QStringLiteral("event") : QStringLiteral("operator"),
                                who, who.isEmpty() ? QString() : Station, comment});
        if (!who.isEmpty())
            journal.addAction({at, Station, who, ActionKind::Acknowledge, QStringLiteral("alarm %1").arg(alarm.id), comment, {}});
    }

    void trips(const QDateTime &start, const QString &who)
    {
        for (int i = 0; i < EventsPerShift; ++i) {
            const QDateTime at = start.addMSecs(ShiftMs * i / EventsPerShift);
            const QString site = QStringLiteral("post%1").arg(i % Posts, 3, 10, QLatin1Char('0'));
            const bool trip = i % 10 == 3;
            event(site, at, trip);
            if (!trip)
                continue;
            AlarmRow alarm = raise(site, AlarmKind::Trip, at, QStringLiteral("Срабатывание 1 шлейфа"));
            if (i % 2000 == 3)
                continue;
            change(alarm, AlarmState::Acknowledged, at.addSecs(45), who, QStringLiteral("проверено, ложное"));
            if (i % 4000 != 13)
                change(alarm, AlarmState::Normal, at.addSecs(300));
        }
    }

    void theRest(const QDateTime &start, const QString &who)
    {
        for (int i = 0; i < 20; ++i) {
            AlarmRow alarm = raise(QStringLiteral("post%1").arg(i * 7, 3, 10, QLatin1Char('0')), AlarmKind::Offline,
                                   start.addSecs(i * 1800), QStringLiteral("Пост не на связи"));
            change(alarm, AlarmState::ReturnedUnacknowledged, start.addSecs(i * 1800 + 900));
            if (i % 5 != 0)
                change(alarm, AlarmState::Normal, start.addSecs(i * 1800 + 1000), who, QStringLiteral("пост на связи"));
        }
        for (int i = 0; i < 50; ++i) {
            ShelfRow shelf{0, {}, QStringLiteral("post%1").arg(i, 3, 10, QLatin1Char('0')), 1001, QStringLiteral("все тревоги датчика"),
                           start.addSecs(i * 600), start.addSecs(i * 600 + 3600), who, Station, QStringLiteral("ремонт шлейфа"), {}, false};
            journal.addShelf(shelf);
            journal.addAction({shelf.shelved, Station, who, ActionKind::Shelve, QStringLiteral("shelf"), shelf.reason, {}});
            journal.endShelf(shelf, shelf.until, QStringLiteral("expired"));
        }
        for (int i = 0; i < 30; ++i) {
            const QString site = QStringLiteral("post%1").arg(i * 3, 3, 10, QLatin1Char('0'));
            journal.replaceGaps(site, start.date(), {{site, start.date(), i, i + 5, start.addSecs(i * 1000)}}, start.addSecs(i * 1000));
        }
    }

    void shift(const QDateTime &start, const QString &who, const QString &next)
    {
        journal.addAction({start, Station, who, ActionKind::SignIn, {}, {}, {}});
        trips(start, who);
        theRest(start, who);
        const QDateTime end = start.addMSecs(ShiftMs);
        const QString target = shiftTarget(start, end);
        journal.addAction({end, Station, who, ActionKind::HandOver, target, QStringLiteral("замечаний нет"), {}});
        journal.addAction({end.addSecs(60), Station, next, ActionKind::TakeOver, target, QStringLiteral("принял"), {}});
    }
};

double processorMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

// The median of the runs as time passed; the processor's, beside it, is what a busy machine does not inflate.
struct Figure
{
    double wallMs = 0;
    double processorMs = 0;
};

QTextStream &operator<<(QTextStream &stream, const Figure &figure)
{
    return stream << qRound(figure.wallMs) << " ms (processor " << qRound(figure.processorMs) << " ms)";
}

Figure median(const std::function<void()> &run)
{
    QList<double> walls, processors;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer timer;
        const double processorStart = processorMs();
        timer.start();
        run();
        walls.append(double(timer.nsecsElapsed()) / 1e6);
        processors.append(processorMs() - processorStart);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(processors.begin(), processors.end());
    return {walls.at(Runs / 2), processors.at(Runs / 2)};
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int shifts = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTemporaryDir dir;
    Journal journal(dir.filePath(QStringLiteral("journal.sqlite")));
    QString error;
    if (!journal.open(&error)) {
        out << error << Qt::endl;
        return 1;
    }
    QElapsedTimer filling;
    filling.start();
    Writer writer{journal};
    const QDateTime first(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
    journal.begin();
    for (int i = 0; i < shifts; ++i)
        writer.shift(first.addMSecs(i * (ShiftMs + 60000)), i % 2 ? QStringLiteral("Петров") : QStringLiteral("Иванов"),
                     i % 2 ? QStringLiteral("Иванов") : QStringLiteral("Петров"));
    journal.commit();
    out << "journal: " << shifts << " shifts of " << EventsPerShift << " events, written in " << filling.elapsed()
        << " ms, " << QFileInfo(journal.path()).size() / (1024 * 1024) << " MB" << Qt::endl;

    const QDateTime from = first.addMSecs((shifts - 1) * (ShiftMs + 60000));
    const QDateTime to = from.addMSecs(ShiftMs);
    ShiftReport report;
    const Figure gather =
        median([&] { report = gatherShift(journal.database(), from, to, Station, to); });
    QString html;
    const Figure toHtml = median([&] { html = shiftReportHtml(report); });
    QTextBrowser browser;
    browser.resize(1000, 700);
    const Figure shown = median([&] {
        browser.setHtml(html);
        browser.document()->documentLayout()->documentSize();
    });
    const QString pdf = dir.filePath(QStringLiteral("shift.pdf"));
    const Figure toPdf = median([&] { writeShiftPdf(report, pdf, &error); });
    out << "the last shift: " << report.raised.size() << " alarms raised, " << report.acknowledged.size()
        << " acknowledged, " << report.openAtEnd.size() << " open at its end, " << report.deadPosts.size()
        << " dead posts, " << report.shelves.size() << " shelvings, " << report.comments.size() << " comments"
        << (report.error.isEmpty() ? QString() : QStringLiteral(", error: ") + report.error) << Qt::endl;
    out << "gathered: " << gather << Qt::endl;
    out << "as HTML (" << html.size() / 1024 << " KiB): " << toHtml << Qt::endl;
    out << "shown in the dialog (laid out): " << shown << Qt::endl;
    out << "written as a PDF (" << QFileInfo(pdf).size() / 1024 << " KiB): " << toPdf << Qt::endl;
    out << "gathered and written: "
        << Figure{gather.wallMs + toPdf.wallMs, gather.processorMs + toPdf.processorMs} << Qt::endl;
    if (argc > 2)
        QFile::copy(pdf, QString::fromLocal8Bit(argv[2]));
    return 0;
}
