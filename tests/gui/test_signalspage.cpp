// The page "Сигналы" and the threshold dialog's chart on a store filled
// beforehand: what each range draws, and the page's export.

#include "consolerig.h"

#include "console/widgets/thresholddialog.h"
#include "trends/trendrecorder.h"
#include "trends/trendstore.h"
#include "trends/widgets/recentsignalchart.h"
#include "trends/widgets/signalspage.h"
#include "trends/widgets/trendchart.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

constexpr qint64 MinuteMs = 60 * 1000;

struct Rig : ConsoleRig
{
    Rig()
    {
        console.FormCreate(dir.path());
        parts.table.Occupy_slot(0, 1001, 0, 0, 1.0);
        parts.table.Occupy_slot(1, 2001, 1, 0, 1.0);
        parts.selection.select(2);
        // Two hours of 2001 every 3.3 s, loop 1 at 0.3 but for one reply
        // 90 minutes ago at 1.9.
        const qint64 now = clock.nowUtcMs();
        std::vector<TrendSample> samples;
        for (qint64 t = now - 120 * MinuteMs; t < now; t += 3300) {
            TrendSample s;
            s.utcMs = t;
            s.address = 2001;
            s.model = 1;
            s.threshold1 = s.threshold2 = 1.5f;
            s.signal1 = samples.size() == 545 ? 1.9f : 0.3f;
            s.signal2 = 0.2f;
            s.replyMs = 4;
            samples.push_back(s);
        }
        TrendStore store(TrendRecorder::storePath(dir.path()));
        if (!store.open() || !store.write(samples, now))
            qFatal("cannot fill the store: %s", qPrintable(store.errorText()));
    }

    SignalsPage::Parts pageParts() { return {parts.table, parts.selection, parts.ctx, prompter}; }
};

// What was asked last is drawn (the reader works in its own thread).
bool drawn(TrendReader &reader)
{
    return QTest::qWaitFor([&] { return !reader.waiting(); }, 10000);
}

double highest(const std::vector<QPointF> &points)
{
    double high = -1;
    for (const QPointF &p : points)
        high = std::max(high, p.y());
    return high;
}

} // namespace

class TestSignalsPage : public QObject
{
    Q_OBJECT

private slots:
    void rangesDrawTheSelectedSensor_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<double>("expected");
        QTest::newRow("10 minutes") << 0 << 0.3;
        QTest::newRow("1 hour") << 1 << 0.3;
        QTest::newRow("24 hours: the spike") << 2 << 1.9;
        QTest::newRow("7 days, from minutes: the spike") << 3 << 1.9;
    }
    void rangesDrawTheSelectedSensor()
    {
        QFETCH(int, range);
        Rig rig;
        SignalsPage page(rig.pageParts());
        page.resize(1000, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.sensorChoice->count(), 2);
        QCOMPARE(page.sensorChoice->currentIndex(), 1); // the grid's selected row
        page.rangeChoice->setCurrentIndex(range);
        page.refresh();
        QVERIFY(drawn(page.reader()));
        const TrendView &view = page.chart->shownView();
        QVERIFY(!view.series[TrendView::Signal1].empty());
        QFETCH(double, expected);
        QCOMPARE(float(highest(view.series[TrendView::Signal1])), float(expected));
        QCOMPARE(highest(view.series[TrendView::Threshold2]), 1.5);
    }

    // The main window makes the page before start-up tells the console its
    // working directory: the store is looked for where it is by then.
    void pageMadeBeforeStartUpReadsTheStore()
    {
        Rig rig;
        const QString workDir = std::exchange(rig.parts.ctx.workDir, QString());
        SignalsPage page(rig.pageParts());
        rig.parts.ctx.workDir = workDir;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(drawn(page.reader()));
        QVERIFY(!page.chart->shownView().series[TrendView::Signal1].empty());
    }

    void dialogShowsTheLastTenMinutes()
    {
        Rig rig;
        TFDirect_component_porog dialog({rig.prompter, rig.clock, rig.parts.table, rig.parts.events, rig.parts.selection},
                                        rig.parts.ctx);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(drawn(dialog.recentSignals->reader()));
        const TrendView &view = dialog.recentSignals->chart->shownView();
        QCOMPARE(view.toMs - view.fromMs, RecentSignalChart::SpanMs);
        QVERIFY(view.series[TrendView::Signal1].size() > 100);
        QVERIFY(dialog.EditDirect_component_porog1->isEnabled());
    }

    void pageExportsWhatItShows()
    {
        Rig rig;
        SignalsPage page(rig.pageParts());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const QString path = rig.dir.file(QStringLiteral("shown.csv"));
        rig.prompter.saves.push_back(Prompter::SavedFile{path, 0});
        QTest::mouseClick(page.exportButton, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return page.exportButton->isEnabled(); }, 10000));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        // Ten minutes every 3.3 s, a header and the empty end.
        QVERIFY2(lines.size() >= 180 && lines.size() <= 185, QByteArray::number(lines.size()).constData());
        QVERIFY(lines[1].endsWith(";4\r"));
    }

    void pageFollowsTheGridWhenShown()
    {
        Rig rig;
        SignalsPage page(rig.pageParts());
        rig.parts.selection.select(1);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.sensorChoice->currentData().toLongLong(), trendSensorKey(0, 1001));
        page.hide();
        rig.parts.selection.select(2);
        page.show();
        QCOMPARE(page.sensorChoice->currentData().toLongLong(), trendSensorKey(1, 2001));
    }

    void zoomedMarginSaysWhen()
    {
        Rig rig;
        SignalsPage page(rig.pageParts());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(drawn(page.reader()));
        QVERIFY(page.summary->text().contains(QStringLiteral("сейчас")));
        const qint64 now = rig.clock.nowUtcMs();
        emit page.chart->rangeChosen(now - 100 * MinuteMs, now - 80 * MinuteMs);
        QVERIFY(drawn(page.reader()));
        const QString when = QDateTime::fromMSecsSinceEpoch(page.chart->shownView().latest.utcMs)
                                 .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        QVERIFY2(!page.summary->text().contains(QStringLiteral("сейчас")) && page.summary->text().contains(when),
                 qPrintable(page.summary->text()));
        // Off the recorded two hours the cursor says so.
        QVERIFY(page.chart->describeAt(now - 150 * MinuteMs).contains(QStringLiteral("нет данных")));
    }
};

QTEST_MAIN(TestSignalsPage)
#include "test_signalspage.moc"
