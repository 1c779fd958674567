// Faults never make the line wait for the operator: the fault boxes' own
// bounds, and the whole console on a simulated line while every box it shows
// stays open for seconds.

#include "base/faultboxes.h"
#include "base/russian.h"
#include "console/loggedprompter.h"
#include "consolerig.h"
#include "fakeloop.h"
#include "logcapture.h"
#include "testfiles.h"

#include "demofiles.h"
#include "simprotocol.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <utility>

using namespace dorvan;
using namespace dorvan::test;

namespace {

// A display whose boxes stay on screen until the test closes them.
class OpenBoxes : public FakePrompter
{
public:
    void notify(const QString &text, const QString &caption, Icon icon,
                const std::function<void()> &closed) override
    {
        shown.append({text, caption, icon});
        closers.append(closed);
    }
    QList<std::function<void()>> closers;
};

struct SimPeer
{
    sim::SensorLine sensors;
    sim::RequestParser parser;
    qsizetype seen = 0;
    QList<QPair<qint64, quint16>> requests; // time, address

    void serve(FakeSerialLine &line, qint64 now)
    {
        const QByteArray fresh = line.written.mid(seen);
        seen = line.written.size();
        for (const sim::Request &request : parser.feed(fresh)) {
            requests.append({now, request.address});
            line.feed(sensors.answer(request).wire);
        }
    }
    qint64 longestSilenceTowards(quint16 address, qint64 from, qint64 to) const
    {
        qint64 last = from;
        qint64 longest = 0;
        for (const auto &[time, to_] : requests) {
            if (to_ != address || time < from || time > to)
                continue;
            longest = qMax(longest, time - last);
            last = time;
        }
        return qMax(longest, to - last);
    }
};

int countCode(const QList<EventRecord> &events, int code)
{
    return int(std::count_if(events.cbegin(), events.cend(),
                             [code](const EventRecord &e) { return e.code == code; }));
}

} // namespace

class TestFaultBoxes : public QObject
{
    Q_OBJECT

private slots:
    // A fault is logged under its area with the caption its box is shown
    // with; the box's icon follows the severity.
    void eachSeverityHasItsBox_data()
    {
        QTest::addColumn<int>("severity");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("caption");
        QTest::newRow("error") << int(Severity::Error) << int(Prompter::Icon::Error) << "Ошибка";
        QTest::newRow("warning") << int(Severity::Warning) << int(Prompter::Icon::Warning) << "Внимание";
        QTest::newRow("plain") << int(Severity::Plain) << int(Prompter::Icon::None) << Prompter::applicationTitle();
    }

    void eachSeverityHasItsBox()
    {
        QFETCH(int, severity);
        QFETCH(int, icon);
        QFETCH(QString, caption);
        FakePrompter display;
        FaultBoxes faults(display);
        LogCapture log;
        faults.report(LogArea::Files, Severity(severity), QStringLiteral("x"));
        faults.flush();
        QCOMPARE(log.lines, QStringList(QStringLiteral("dorvan.files ") + caption + QStringLiteral(": x")));
        QCOMPARE(display.shown.size(), 1);
        QCOMPARE(display.shown[0].caption, caption);
        QCOMPARE(int(display.shown[0].icon), icon);
    }

    // The operator's own boxes are logged on their way to the screen; his
    // questions and their answers are not.
    void theOperatorsBoxesAreLoggedNotHisQuestions()
    {
        FakePrompter display;
        display.answers.push_back(true);
        LoggedPrompter prompter(display);
        LogCapture log;
        prompter.error(QStringLiteral("refused"));
        QVERIFY(prompter.askYesNo(QStringLiteral("sure?"), QStringLiteral("q")));
        QCOMPARE(log.lines, QStringList(QStringLiteral("dorvan.console Ошибка: refused")));
        QCOMPARE(display.texts(), QStringList({QStringLiteral("refused"), QStringLiteral("sure?")}));
    }

    // A disk that fails every event: every report is logged, none waits,
    // the screen and the queue stay bounded, and the order is kept.
    void repeatedFaultsAreBoundedAndLogged()
    {
        OpenBoxes display;
        FaultBoxes faults(display);
        QStringList logLines;
        {
            LogCapture log;
            for (int round = 0; round < 3; ++round) {
                for (int sensor = 0; sensor < 40; ++sensor)
                    faults.error(LogArea::Events, QStringLiteral("Put_msg: не открылся файл /x/%1").arg(sensor));
                faults.warning(LogArea::Line, QStringLiteral("Send_Cmd1: usDataLen>SIZE_TR_BUF!"));
            }
            logLines = log.lines;
        }

        QCOMPARE(logLines.size(), 123);
        QVERIFY(logLines.first().startsWith(QStringLiteral("dorvan.events Ошибка: Put_msg")));
        QVERIFY(logLines.last().startsWith(QStringLiteral("dorvan.line Внимание: Send_Cmd1")));
        QVERIFY(display.shown.isEmpty()); // nothing before the event loop runs

        faults.flush();
        QCOMPARE(faults.onScreen(), FaultBoxes::MaxShown);
        QCOMPARE(faults.waiting(), 0);
        QCOMPARE(faults.heldBack(), 123 - FaultBoxes::MaxWaiting);
        QCOMPARE(display.shown.first().text, QStringLiteral("Put_msg: не открылся файл /x/0"));
        QCOMPARE(display.shown.first().caption, QStringLiteral("Ошибка"));

        // Further reports wait for a place; the operator's OK makes room.
        faults.error(LogArea::Files, QStringLiteral("Save_Hw: не открылся файл hw.dat"));
        faults.flush();
        QCOMPARE(faults.waiting(), 1);
        display.closers.first()();
        faults.flush();
        QCOMPARE(display.shown.last().text, QStringLiteral("Save_Hw: не открылся файл hw.dat"));
        QCOMPARE(faults.onScreen(), FaultBoxes::MaxShown);
    }

    // The daily file cannot be written and every box the console shows stays
    // open for five seconds, as a box does when the operator is away. Qt never
    // fires a timer again while its own handler runs: had a report been shown
    // from inside Timer1Timer, no request would go out for those seconds.
    void theLineGoesOnWhileABoxIsOpen()
    {
        ConsoleRig rig;
        QString error;
        QVERIFY2(sim::makeWorkDir(rig.dir.path(), {{1001, 0, true, false, 0, 0}, {2001, 1, true, false, 0, 0}},
                                  rig.clock.now(), &error),
                 qPrintable(error));
        QVERIFY(QDir(rig.dir.path()).rename(QStringLiteral("QReport"), QStringLiteral("QReport.gone")));
        SimPeer peer;
        peer.sensors.add(sim::SimSensor::make(1001, 0));
        peer.sensors.add(sim::SimSensor::make(2001, 1));

        Console &console = rig.console;
        const ConsoleParts &parts = rig.parts;
        FakeEventLoop loop(rig.clock);
        loop.addTimer(1, [] { return true; }, [&] { peer.serve(rig.line, loop.now()); });
        loop.addTimer(100, [&] { return parts.link.timer1Enabled(); }, [&] { parts.link.Timer1Timer(); });
        loop.addTimer(5, [&] { return parts.link.timerRvEnabled(); }, [&] { parts.link.TimerRvTimer(); });
        loop.addTimer(1000, [] { return true; }, [&] { parts.link.Timer2Timer(); });
        loop.addPosted([&] { return parts.faults.waiting() > 0; }, [&] { parts.faults.flush(); });
        // A box raised while another waits does not wait itself (nesting
        // modal loops would deepen the stack with every event).
        int boxesOpened = 0;
        bool boxOpen = false;
        rig.prompter.whileOpen = [&] {
            ++boxesOpened;
            if (std::exchange(boxOpen, true))
                return;
            loop.run(5000);
            boxOpen = false;
        };

        console.FormCreate(rig.dir.path());
        loop.run(2000);
        peer.sensors.setSilent(*peer.sensors.find(2001), true);
        loop.run(3500);
        const qint64 tripAt = loop.now();
        peer.sensors.setLoop(*peer.sensors.find(1001), 1, true);
        loop.run(2000);

        QVERIFY(boxesOpened >= 2);
        // One pass over two sensors takes 300 ms; a reopen of the port every
        // fourth second may cost one more tick.
        QVERIFY(peer.longestSilenceTowards(1001, 500, loop.now()) <= 400);
        const QList<EventRecord> events1001 =
            readEvents(rig.dir.file(QStringLiteral("Dorvan301DK_mess/1001")));
        QCOMPARE(countCode(events1001, EventCode::Tripped), 1);
        QCOMPARE(countCode(events1001, EventCode::NoLink), 0);
        QCOMPARE(countCode(readEvents(rig.dir.file(QStringLiteral("Dorvan302DK_mess/2001"))),
                           EventCode::NoLink), 1);
        QCOMPARE(parts.alarms.alarmCount(), 2); // 2001 lost, 1001 tripped
        QVERIFY(rig.sound.playing);
        QVERIFY(loop.now() - tripAt >= 2000);
        // Each sensor's values in its own row.
        QCOMPARE(rig.sensorCell(SensorColumn::Threshold1, 0), QStringLiteral("120"));
        QCOMPARE(rig.sensorCell(SensorColumn::Loop1, 0), QStringLiteral("Тревога"));
        QCOMPARE(rig.sensorCell(SensorColumn::Threshold1, 1), QStringLiteral("1,500"));
        QCOMPARE(rig.sensorCell(SensorColumn::State, 1), QStringLiteral("Нет связи"));
        QVERIFY(rig.prompter.texts().contains(
            QStringLiteral("Put_msg: не открылся файл QReport\\") + ru::shortDate(rig.clock.now().date())));
    }
};

QTEST_GUILESS_MAIN(TestFaultBoxes)
#include "test_faultboxes.moc"
