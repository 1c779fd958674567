// The real console on the simulated line while the signals move: what the
// simulator reported comes back from the trend store through dorvan-report.

#include "consolerun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace dorvan;
using namespace dorvan::e2e;

namespace {

// Every row dorvan-report --trends gives for the sensor, as JSON objects.
QList<QJsonObject> exportedRows(const ConsoleRun &run, const QString &sensor)
{
    QProcess report;
    report.start(binDir() + QStringLiteral("/dorvan-report"),
                 {QStringLiteral("--workdir"), run.path(), QStringLiteral("--trends"), sensor,
                  QStringLiteral("--format"), QStringLiteral("jsonl")});
    QList<QJsonObject> rows;
    if (!report.waitForFinished(10000) || report.exitCode() != 0) {
        qWarning("dorvan-report --trends: %s", report.readAllStandardError().constData());
        return rows;
    }
    for (const QByteArray &line : report.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            rows.append(QJsonDocument::fromJson(line).object());
    }
    return rows;
}

bool hasRow(const QList<QJsonObject> &rows, double signal1, double threshold1)
{
    return std::any_of(rows.cbegin(), rows.cend(), [&](const QJsonObject &row) {
        return qAbs(row.value(QStringLiteral("signal1")).toDouble() - signal1) < 1e-6
               && qAbs(row.value(QStringLiteral("threshold1")).toDouble() - threshold1) < 1e-6
               && row.value(QStringLiteral("replyMs")).toInt(-1) >= 0;
    });
}

} // namespace

class TestSignalTrends : public QObject
{
    Q_OBJECT

private slots:
    void signalsComeBackFromTheStore()
    {
        ConsoleRun run;
        // The console sends DC 1.25 for flank 1 when the link comes up; the
        // sensor then reports it as its threshold.
        run.storeSensors({{2001, 1, true, false, 1.25f, 0}});
        QVERIFY(run.startSimulator({QStringLiteral("2001:1")}));
        QVERIFY(run.startConsole());
        run.simCommand(QStringLiteral("signal 2001 1 0.5"));
        QVERIFY(waitUntil([&] { return hasRow(exportedRows(run, QStringLiteral("302:2001")), 0.5, 1.25); },
                          20000));
        run.simCommand(QStringLiteral("signal 2001 1 1.75"));
        QVERIFY(waitUntil([&] { return hasRow(exportedRows(run, QStringLiteral("302:2001")), 1.75, 1.25); },
                          20000));
        // The sensor of the other model is never confused with it.
        QVERIFY(exportedRows(run, QStringLiteral("301:2001")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSignalTrends)
#include "test_signaltrends.moc"
