// The alarm window on a real X display with a window manager: while alarms
// wait for the all-clear it stays mapped and wholly on screen whatever
// another X client does to it.

#include "xdisplay.h"

using namespace dorvan;
using namespace dorvan::e2e;

class TestAlarmSight : public QObject
{
    Q_OBJECT

private slots:
    void comesBackWhateverAnotherClientDoes_data()
    {
        QTest::addColumn<QStringList>("action");
        QTest::newRow("unmapped") << QStringList{QStringLiteral("windowunmap")};
        QTest::newRow("moved off the screen")
            << QStringList{QStringLiteral("windowmove"), QStringLiteral("900"), QStringLiteral("700")};
        QTest::newRow("minimized") << QStringList{QStringLiteral("windowminimize")};
    }
    void comesBackWhateverAnotherClientDoes()
    {
        QFETCH(QStringList, action);
        const QSize screen(1024, 768);
        XDisplay display;
        if (const QString missing = display.start(screen); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        ConsoleRun run;
        run.storeSensors({{1001, 0, true, false, 100, 0}});
        QVERIFY(run.startSimulator({QStringLiteral("1001:0")}));
        QVERIFY(run.startConsole(QProcess::ForwardedChannels, display.environment()));
        run.simCommand(QStringLiteral("trip 1001 1"));
        qulonglong alarm = 0;
        QVERIFY(waitUntil([&] { return (alarm = display.findWindow(QStringLiteral("Окно тревожных сообщений"))) != 0
                                       && display.state(alarm).viewable; },
                          20000));

        display.xdotool(QStringList{action[0], QString::number(alarm)} + action.mid(1));
        const QRect area(QPoint(0, 0), screen);
        QVERIFY2(waitUntil([&] {
                     const XDisplay::WindowState state = display.state(alarm);
                     return state.viewable && area.contains(state.frame);
                 }, 3000),
                 qPrintable(QStringLiteral("viewable %1, at %2,%3")
                                .arg(display.state(alarm).viewable)
                                .arg(display.state(alarm).frame.x())
                                .arg(display.state(alarm).frame.y())));
        QCOMPARE(run.endByTerm(), QString());
    }
};

QTEST_GUILESS_MAIN(TestAlarmSight)
#include "test_alarmsight.moc"
