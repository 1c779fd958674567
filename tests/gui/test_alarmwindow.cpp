#include "events/alarmlist.h"
#include "events/widgets/alarmwindow.h"
#include "grid/widgets/gridview.h"
#include "sound/qtalarmsound.h"

#include "contextrig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

struct Fixture : AlarmRig
{
    Fixture() { alarms.FormCreate(); }

    QList<QPair<QString, int>> disarms;
    TFormAlarmWindow window{alarms, [this](const QString &text, int loop) {
                                disarms.append({text, loop});
                            }};

    void raise() { alarms.Add_alarm(EventRecord::make(5, 46362.5, 33, QStringLiteral("тревога"))); }
};

} // namespace

class TestAlarmWindow : public QObject
{
    Q_OBJECT

private slots:
    void hiddenUntilTheFirstAlarmAndHiddenByTheAllClear()
    {
        Fixture f;
        QVERIFY(!f.window.isVisible());
        QCOMPARE(f.window.LabelNumAlarm->text(), QStringLiteral("0"));
        f.raise();
        QVERIFY(f.window.isVisible());
        f.raise();
        QCOMPARE(f.window.LabelNumAlarm->text(), QStringLiteral("2"));
        QCOMPARE(f.sound.starts, 1);

        QTest::mouseClick(f.window.BitBtnAllOtboy, Qt::LeftButton);
        QVERIFY(!f.window.isVisible());
        QCOMPARE(f.window.LabelNumAlarm->text(), QStringLiteral("0"));
        QVERIFY(!f.sound.playing);
        f.raise();
        QVERIFY(f.window.isVisible());
    }

    // The list follows the newest alarm, unless the operator has scrolled
    // up to read older ones.
    void newestAlarmStaysInSight()
    {
        Fixture f;
        StringGridView *list = f.window.StringGrid1;
        const auto inSight = [list](int alarm) {
            const QRect row = list->visualRect(list->model()->index(alarm - 1, 0));
            return row.top() >= 0 && row.bottom() < list->viewport()->height();
        };
        for (int i = 0; i < 22; ++i)
            f.raise();
        QVERIFY(inSight(22));

        list->setFocus();
        QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
        f.raise();
        QVERIFY(inSight(1));
        QVERIFY(!inSight(23));

        QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
        f.raise();
        QVERIFY(inSight(24));
    }

    // Only the all-clear takes the window out of sight: a close from the
    // window manager is refused and a minimize undone while alarms wait.
    void staysInSightUntilTheAllClear()
    {
        Fixture f;
        const Qt::WindowFlags flags = f.window.windowFlags();
        QVERIFY(flags & Qt::WindowStaysOnTopHint);
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinimizeButtonHint)));
        QCOMPARE(f.window.size(), QSize(890, 423));

        f.raise();
        QVERIFY(!f.window.close());
        QVERIFY(f.window.isVisible());
        f.window.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.isMinimized(), 1000);
        QVERIFY(f.window.isVisible());

        f.window.BitBtnAllOtboyClick();
        QVERIFY(!f.window.isVisible());
        f.raise();
        f.window.BitBtnAllOtboyClick();
        f.window.show();
        QVERIFY(f.window.close());
    }

    void disarmButtonsPassTheTypedAddress()
    {
        Fixture f;
        f.window.LabeledEdit1->clear();
        QTest::keyClicks(f.window.LabeledEdit1, QStringLiteral("1234567"));
        QTest::mouseClick(f.window.BitBtn1, Qt::LeftButton);
        QTest::mouseClick(f.window.BitBtn2, Qt::LeftButton);
        const QList<QPair<QString, int>> expected = {{QStringLiteral("123456"), 1},
                                                     {QStringLiteral("123456"), 2}};
        QCOMPARE(f.disarms, expected);
    }

    // The real sound, wired to its watch: a wave file that cannot be played
    // is beeped over within a stall time, and the all-clear ends the beep.
    void unplayableSoundFallsBackToTheBeep_data()
    {
        QTest::addColumn<QString>("wave");
        QTest::newRow("no wave file") << QStringLiteral("/nonexistent/Error.wav");
        QTest::newRow("a directory") << QStringLiteral("/");
    }
    void unplayableSoundFallsBackToTheBeep()
    {
        QFETCH(QString, wave);
        QtAlarmSound sound([] { QApplication::beep(); });
        sound.startLoop(wave);
        QVERIFY(!sound.beeping()); // decided on the event loop, never in the caller's call
        QTRY_VERIFY_WITH_TIMEOUT(sound.beeping(), AlarmSoundWatch::StallMs);
        QVERIFY(!sound.heard());
        sound.stop();
        QVERIFY(!sound.beeping());
    }
};

QTEST_MAIN(TestAlarmWindow)
#include "test_alarmwindow.moc"
