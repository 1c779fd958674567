// The alarm list with floods folded: the cost of one change of the list
// (an alarm raised, acknowledged, returned) with the group model rebuilding
// behind it, at 1000 open alarms of 200 posts, five of them flooding, and
// with the persistent indexes a view keeps (a chosen row, open groups).

#include "base/clock.h"
#include "station/alarmgroups.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPersistentModelIndex>

#include <cstdio>

using namespace dorvan;
using namespace dorvan::station;

namespace {

constexpr int Posts = 200;
constexpr int Alarms = 1000;
constexpr int FloodingPosts = 5;

AlarmView alarmOf(int number, const QDateTime &time)
{
    AlarmView alarm;
    alarm.id = number + 1;
    // The first posts raise most: a flood each; the rest a few alarms.
    const int post = number < FloodingPosts * 100 ? number % FloodingPosts : FloodingPosts + number % (Posts - FloodingPosts);
    alarm.site = QStringLiteral("post%1").arg(post + 1);
    alarm.address = 1001 + number;
    alarm.sensor = QStringLiteral("Дорван-301ДК № %1").arg(alarm.address);
    alarm.text = QStringLiteral("Срабатывание 1 шлейфа");
    alarm.time = time.addMSecs(number);
    return alarm;
}

void report(const char *what, qint64 ns, int changes)
{
    std::printf("%-44s %8.1f us a change (%d changes)\n", what, double(ns) / 1000.0 / changes, changes);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SystemClock clock;
    AlarmListModel list;
    AlarmGroupModel groups(list, clock, {10, 60});
    const QDateTime start = QDateTime::currentDateTimeUtc();
    QList<AlarmView> alarms;
    QElapsedTimer timer;

    timer.start();
    for (int number = 0; number < Alarms; ++number) {
        alarms.append(alarmOf(number, start));
        list.setAlarm(alarms.last());
    }
    report("raised, one by one up to 1000", timer.nsecsElapsed(), Alarms);
    std::printf("top-level rows: %d (of %d alarms)\n", groups.rowCount(), list.rowCount());

    // What a view holds: the chosen row's cells and the open groups.
    QList<QPersistentModelIndex> held;
    for (int row = 0; row < groups.rowCount(); ++row) {
        if (groups.isGroup(groups.index(row, 0)))
            held.append(groups.index(row, 0));
    }
    for (int column = 0; column < groups.columnCount(); ++column)
        held.append(groups.index(groups.rowCount() - 1, column));

    timer.restart();
    for (AlarmView &alarm : alarms) {
        alarm.state = AlarmState::Acknowledged;
        alarm.acknowledgedBy = QStringLiteral("Иванов");
        list.setAlarm(alarm);
    }
    report("acknowledged, one by one", timer.nsecsElapsed(), Alarms);

    timer.restart();
    for (AlarmView &alarm : alarms) {
        alarm.state = AlarmState::Normal;
        list.setAlarm(alarm);
    }
    report("returned and closed, one by one", timer.nsecsElapsed(), Alarms);
    return 0;
}
