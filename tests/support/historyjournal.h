#pragma once

// A journal of many events for the history's tests: two posts taking turns,
// 300 records a post a day from 08.12.2026, the kinds and sensors in turn.
#include "station/journal.h"

#include <QDateTime>
#include <QString>

namespace dorvan::test {

struct HistoryEventPlan
{
    const char *kind;
    const char *text; // %1: the sensor's address
};

inline constexpr HistoryEventPlan historyEventPlans[] = {
    {"alarm", "Срабатывание 1 шлейфа датчика <Дорван-301ДК> № %1"},
    {"normal", "Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № %1"},
    {"fault", "Ошибка ППЗУ датчика <Дорван-301ДК> № %1"},
    {"link_lost", "Нет связи с датчиком <Дорван-301ДК> № %1"},
    {"link_restored", "Восстановлена связь с датчиком <Дорван-301ДК> № %1"},
};
inline constexpr int HistoryRecordsPerDay = 300;
inline constexpr int HistorySensors = 8; // addresses 1001..1008

// Event i: post1 or post2 by its parity, its kind and sensor in turn.
inline station::EventRow historyEvent(int i)
{
    const HistoryEventPlan &plan = historyEventPlans[i % std::size(historyEventPlans)];
    const QDate day = QDate(2026, 12, 8).addDays(i / (2 * HistoryRecordsPerDay));
    const int number = (i / 2) % HistoryRecordsPerDay;
    const int address = 1001 + i % HistorySensors;
    const QString time = day.toString(Qt::ISODate) + QTime(0, 0).addSecs(number * 240).toString(u"'T'HH:mm:ss.zzz")
                         + QStringLiteral("+03:00");
    return {QStringLiteral("post%1").arg(i % 2 + 1), {day, number}, time, 20, QString::fromLatin1(plan.kind), address, 1,
            QString::fromUtf8(plan.text).arg(address), QByteArray("{}")};
}

// The first `events` of them, in one transaction.
inline bool prepareHistoryJournal(const QString &path, int events)
{
    station::Journal journal(path);
    QString error;
    if (!journal.open(&error) || !journal.begin())
        return false;
    const QDateTime received(QDate(2026, 12, 9), QTime(6, 0), Qt::UTC);
    for (int i = 0; i < events; ++i) {
        if (journal.addEvent(historyEvent(i), received) != station::Journal::Insert::Added)
            return false;
    }
    return journal.commit();
}

} // namespace dorvan::test
