// The soak run's expected-event model: if it is wrong, a long run reports
// missing or invented events that the console never owed, or misses real ones.

#include "soakmodel.h"

#include <QTest>

using namespace dorvan::soak;

namespace {

// Log lines as dorvan-sim writes them, for sensor 1001 (model 0).
QString answered(const char *status, const char *faults = "")
{
    return QStringLiteral("1 req addr=1001 poll bytes=10 -> status 0x%1%2")
        .arg(QLatin1String(status), QLatin1String(faults));
}
QString silentLine()
{
    return QStringLiteral("1 req addr=1001 poll bytes=10 -> silent");
}

const QString restored = QStringLiteral("32 Восстановлена связь с датчиком <Дорван-301ДК> № 1001");
const QString standby = QStringLiteral("0 Возврат в дежурное состояние датчика <Дорван-301ДК> № 1001");
const QString normal1 = QStringLiteral("0 Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № 1001");
const QString normal2 = QStringLiteral("0 Возврат в норму 2 шлейфа датчика <Дорван-301ДК> № 1001");
const QString trip1 = QStringLiteral("33 Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 1001");
const QString lost = QStringLiteral("15 Нет связи с датчиком <Дорван-301ДК> № 1001");
const QString eeprom = QStringLiteral("9 Ошибка ППЗУ датчика <Дорван-301ДК> № 1001");
const QString broken1 = QStringLiteral("4 Обрыв чувствительного элемента первого фланга датчика <Дорван-302ДК> № 1001");
const QStringList startUp{restored, standby, normal1, normal2};

// "32 Восстановлена связь ..." as an event of sensor 1001.
QList<Event> eventsOf(const QStringList &texts)
{
    QList<Event> events;
    for (const QString &text : texts) {
        const qsizetype space = text.indexOf(u' ');
        events.append({1001, text.left(space).toInt(), text.mid(space + 1)});
    }
    return events;
}

} // namespace

class TestSoakModel : public QObject
{
    Q_OBJECT

private slots:
    void expectsTheConsolesEvents_data()
    {
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("uncertain");

        QTest::newRow("start-up of a stored sensor") << QStringList{answered("00"), answered("00")} << startUp << 0;
        QTest::newRow("trip and restore")
            << QStringList{answered("00"), answered("80"), answered("80"), answered("00")}
            << startUp + QStringList{trip1, normal1} << 0;
        QTest::newRow("fault and clear, repeated reply once")
            << QStringList{answered("00"), answered("04"), answered("04"), answered("00")}
            << startUp + QStringList{broken1, standby} << 0;
        QTest::newRow("spoilt replies change nothing")
            << QStringList{answered("00"), answered("80", " +badcrc"), answered("80", " +drop 2"),
                           answered("00", " +noise 40 +foreign")}
            << startUp << 0;
        QStringList longSilence{answered("00")};
        for (int i = 0; i < 14; ++i)
            longSilence << silentLine();
        QTest::newRow("long silence") << longSilence + QStringList{answered("00")}
                                      << startUp + QStringList{lost, restored, standby, normal1, normal2} << 0;
        QStringList shortSilence{answered("00")};
        for (int i = 0; i < 8; ++i)
            shortSilence << silentLine();
        QTest::newRow("eight misses are no loss") << shortSilence + QStringList{answered("00")} << startUp << 0;
        QTest::newRow("ten misses are uncertain")
            << shortSilence + QStringList{silentLine(), silentLine(), answered("00")} << startUp << 1;
        QTest::newRow("silent at the end") << longSilence << startUp + QStringList{lost} << 0;
        QTest::newRow("fault held over a loss is logged again")
            << QStringList{answered("09")} + longSilence.mid(1) + QStringList{answered("09")}
            << QStringList{restored, eeprom, normal1, normal2, lost, restored, eeprom, normal1, normal2} << 0;
        // A trip while a fault is shown: the trip is logged; clearing the
        // fault with the loop still tripped leaves the state, so standby
        // comes only when the loop is back.
        QTest::newRow("trip during a fault")
            << QStringList{answered("00"), answered("04"), answered("84"), answered("80"), answered("00")}
            << startUp + QStringList{broken1, trip1, standby, normal1} << 0;
        QTest::newRow("other sensors and commands are ignored")
            << QStringList{QStringLiteral("5 cmd trip 1001 1"), QStringLiteral("6 req addr=7 poll bytes=10 -> status 0x80"),
                           answered("00")}
            << startUp << 0;
    }
    void expectsTheConsolesEvents()
    {
        QFETCH(QStringList, log);
        ExpectedEvents expected;
        expected.addSensor(1001, 0);
        for (const QString &line : log)
            expected.takeLogLine(line);
        expected.finish();
        QStringList events;
        for (const Event &e : expected.events()) {
            QCOMPARE(e.address, 1001);
            events.append(QStringLiteral("%1 %2").arg(e.code).arg(e.text));
        }
        QTEST(events, "events");
        QTEST(int(expected.uncertain().size()), "uncertain");
    }

    // A silence of 9 requests (cut there by the run's end, or still running
    // when the log ends) is a loss unless a port reopen left one of them
    // unjudged: either course is the console's right, and its events must
    // then be all there; only what neither course explains is reported.
    void judgesAnUncertainSpellByTheCourseTaken_data()
    {
        QTest::addColumn<bool>("answeredAfter");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<int>("missing");
        QTest::addColumn<int>("invented");
        QTest::addColumn<QString>("course");
        const QStringList afterLoss{lost, restored, standby, normal1, normal2};
        QTest::newRow("answered again, loss declared") << true << startUp + afterLoss << 0 << 0 << "link lost";
        QTest::newRow("answered again, no loss") << true << startUp << 0 << 0 << "link kept";
        QTest::newRow("answered again, loss but no restore")
            << true << startUp + QStringList{lost} << 0 << 1 << "link kept";
        QTest::newRow("silent at the end, loss declared") << false << startUp + QStringList{lost} << 0 << 0 << "link lost";
        QTest::newRow("silent at the end, no loss") << false << startUp << 0 << 0 << "link kept";
        QTest::newRow("a start-up event missing") << true << startUp.mid(1) + afterLoss << 1 << 0 << "link lost";
    }

    void judgesAnUncertainSpellByTheCourseTaken()
    {
        QFETCH(bool, answeredAfter);
        QFETCH(QStringList, logged);
        ExpectedEvents expected;
        expected.addSensor(1001, 0);
        QStringList log{answered("00")};
        for (int i = 0; i < 9; ++i)
            log << silentLine();
        if (answeredAfter)
            log << answered("00");
        for (const QString &line : log)
            expected.takeLogLine(line);
        expected.finish();
        const Verdict verdict = judge(expected.events(), expected.uncertain(), eventsOf(logged));
        QTEST(int(verdict.missing.size()), "missing");
        QTEST(int(verdict.invented.size()), "invented");
        QFETCH(QString, course);
        QCOMPARE(verdict.courses, QStringList(QStringLiteral("sensor 1001: 9 requests unanswered in a row: ") + course));
    }
};

QTEST_APPLESS_MAIN(TestSoakModel)
#include "test_soakmodel.moc"
