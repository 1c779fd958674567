#include "events/alarmlist.h"

#include "contextrig.h"

#include <QSignalSpy>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

struct Fixture : AlarmRig
{
    Fixture() { alarms.FormCreate(); }
    void raise(const QString &text)
    {
        // 6 December 2026, 14:03:27
        alarms.Add_alarm(EventRecord::make(77, 46362.0 + (14 * 3600 + 3 * 60 + 27) / 86400.0, 33, text));
    }
};

} // namespace

class TestAlarmList : public QObject
{
    Q_OBJECT

private slots:
    void createdWithHeadersAndSoundPath()
    {
        Fixture f;
        QCOMPARE(f.alarms.list().rowTexts(0),
                 QStringList({QStringLiteral("  Дата и время"), QStringLiteral("  Событие")}));
        QCOMPARE(f.alarms.soundPath(), f.dir.path() + "/Error.wav");
        QCOMPARE(f.alarms.list().gridRowCount(), 2);
        QVERIFY(!f.alarms.soundOn());
    }

    void firstAlarmListsCountsAndSoundsOnce()
    {
        Fixture f;
        QSignalSpy shown(&f.alarms, &AlarmList::alarmAdded);
        QSignalSpy counted(&f.alarms, &AlarmList::countChanged);
        f.raise(QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 77"));
        QCOMPARE(f.alarms.list().gridRowCount(), 3);
        QCOMPARE(f.alarms.list().cell(0, 1), QStringLiteral("06.12.2026 14:03:27"));
        QCOMPARE(f.alarms.list().cell(1, 1),
                 QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 77"));
        QCOMPARE(f.alarms.alarmCount(), 1);
        QCOMPARE(f.sound.starts, 1);
        QCOMPARE(f.sound.path, f.dir.path() + "/Error.wav");
        QVERIFY(f.alarms.soundOn());

        f.raise(QStringLiteral("второе"));
        QCOMPARE(f.sound.starts, 1); // a playing sound is not restarted
        QCOMPARE(shown.count(), 2);
        QCOMPARE(counted.last().at(0).toInt(), 2);
    }

    void listKeepsTheLast500WhileTheCounterGoesOn()
    {
        Fixture f;
        for (int i = 1; i <= 500; ++i)
            f.raise(QString::number(i));
        QCOMPARE(f.alarms.list().gridRowCount(), 501);
        QCOMPARE(f.alarms.list().cell(1, 500), QStringLiteral("500"));
        f.raise(QStringLiteral("501"));
        QCOMPARE(f.alarms.list().gridRowCount(), 501);
        QCOMPARE(f.alarms.alarmRows(), 500);
        QCOMPARE(f.alarms.alarmCount(), 501);
        QCOMPARE(f.alarms.list().cell(1, 1), QStringLiteral("2"));
        QCOMPARE(f.alarms.list().cell(1, 500), QStringLiteral("501"));
    }

    void allClearEmptiesSilencesAndHides_data()
    {
        QTest::addColumn<int>("alarms");
        QTest::newRow("empty list") << 0;
        QTest::newRow("three alarms") << 3;
        QTest::newRow("full list") << 501;
    }

    void allClearEmptiesSilencesAndHides()
    {
        QFETCH(int, alarms);
        Fixture f;
        for (int i = 0; i < alarms; ++i)
            f.raise(QStringLiteral("тревога"));
        QSignalSpy hidden(&f.alarms, &AlarmList::hideRequested);
        QSignalSpy counted(&f.alarms, &AlarmList::countChanged);
        f.alarms.BitBtnAllOtboyClick();
        QCOMPARE(hidden.count(), 1);
        QCOMPARE(counted.last().at(0).toInt(), 0);
        QCOMPARE(f.alarms.alarmCount(), 0);
        QCOMPARE(f.alarms.alarmRows(), 0);
        QCOMPARE(f.alarms.list().gridRowCount(), 2);
        QCOMPARE(f.alarms.list().rowTexts(1), QStringList({QString(), QString()}));
        QCOMPARE(f.sound.stops, 1);
        QVERIFY(!f.sound.playing);
        QVERIFY(!f.alarms.soundOn());

        // The next alarm after the all-clear sounds again from an empty list.
        f.raise(QStringLiteral("снова"));
        QCOMPARE(f.sound.starts, alarms > 0 ? 2 : 1);
        QCOMPARE(f.alarms.list().cell(1, 1), QStringLiteral("снова"));
        QCOMPARE(f.alarms.list().gridRowCount(), 3);
    }
};

QTEST_GUILESS_MAIN(TestAlarmList)
#include "test_alarmlist.moc"
