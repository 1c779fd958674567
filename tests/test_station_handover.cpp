// The shift's handover: its report read back from a journal the station
// wrote, the refusals of handing over and accepting, and both as actions.

#include "station/handover.h"

#include "stationrig.h"

#include <QSqlQuery>

using namespace dorvan;
using namespace dorvan::station;

namespace {

const QString outgoing = QStringLiteral("Иванов");
const QString incoming = QStringLiteral("Петров");
constexpr qint64 Minute = 60 * 1000;

QString alarmsOf(const QList<ShiftAlarm> &alarms, bool atEnd = false)
{
    QStringList rows;
    for (const ShiftAlarm &alarm : alarms)
        rows << alarm.site + u' ' + kindName(alarm.kind) + u' ' + stateName(atEnd ? alarm.stateAtEnd : alarm.state);
    return rows.join(QStringLiteral(", "));
}

// The facts a report states, each as one line to compare.
QHash<QString, QString> factsOf(const ShiftReport &report)
{
    QStringList operators, acknowledged, dead, shelves, outOfService, gaps, comments;
    for (const ShiftOperator &person : report.operators)
        operators << person.name;
    for (const ShiftAcknowledgement &ack : report.acknowledged)
        acknowledged << ack.alarm.site + u' ' + ack.operatorName + u' ' + ack.comment + u' '
                            + QString::number(ack.alarm.raised.secsTo(ack.time));
    for (const DeadPost &post : report.deadPosts)
        dead << post.site + u' ' + kindName(post.kind) + u' ' + QString::number(post.seconds)
                    + (post.alive.isValid() ? QString() : QStringLiteral(" still"));
    for (const ShiftShelf &shelf : report.shelves)
        shelves << shelf.operatorName + u' ' + shelf.reason + (shelf.ended.isValid() ? u' ' + shelf.how : QString());
    for (const ShiftOutOfService &item : report.outOfService)
        outOfService << item.site + u' ' + QString::number(item.address) + u' ' + item.reason;
    for (const GapRow &gap : report.gaps)
        gaps << QStringLiteral("%1 %2-%3").arg(gap.site).arg(gap.first).arg(gap.last);
    for (const ShiftComment &comment : report.comments)
        comments << actionName(comment.kind) + u' ' + comment.comment;
    const Handover &h = report.handover;
    return {{"operators", operators.join(", ")}, {"raised", alarmsOf(report.raised)},
            {"acknowledged", acknowledged.join(", ")}, {"open at end", alarmsOf(report.openAtEnd, true)},
            {"dead posts", dead.join(", ")}, {"shelves", shelves.join(", ")}, {"out of service", outOfService.join(", ")},
            {"gaps", gaps.join(", ")}, {"comments", comments.join(", ")},
            {"handover", QStringList{h.outgoing, h.outgoingRemarks, h.incoming, h.incomingRemarks}.join(u'|')},
            {"error", report.error}};
}

} // namespace

class TestStationHandover : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::StationRig> rig;
    std::unique_ptr<ShiftHandover> shifts;
    QList<ActionRow> recorded;
    int record = 0;
    bool worked = false; // the two shifts, worked once for every row that reads them
    QTemporaryDir operatorsDir; // both operators, hashed once

    void makeShifts()
    {
        shifts = std::make_unique<ShiftHandover>(ShiftHandover::Parts{
            rig->journal, rig->operators, rig->clock, rig->settings.stationName, [this](const ActionRow &action) {
                recorded.append(action);
                return rig->journal.addAction(action);
            }});
    }
    void trip(const QString &site)
    {
        const QString id = QStringLiteral("06.12.2026#%1").arg(++record);
        rig->feed({rig->event(site, id, "alarm"), rig->state(site, id, "alarm")});
    }
    qint64 alarmOf(const QString &site) const
    {
        for (int row = 0; row < rig->station->alarmList().rowCount(); ++row) {
            if (rig->station->alarmList().at(row).site == site)
                return rig->station->alarmList().at(row).id;
        }
        return 0;
    }
    void verifyDone(bool done, const QString &error) { QVERIFY2(done, qPrintable(error)); }

    // Иванов's shift: post1 trips. Петров's: post1's alarm acknowledged,
    // post3 silent for 20 minutes, post2 trips and is shelved, a gap found,
    // post4 out of service; handed over by Петров, not yet accepted.
    void workTwoShifts()
    {
        QString error;
        trip(QStringLiteral("post1"));
        rig->advance(Minute);
        verifyDone(shifts->handOver(outgoing, QStringLiteral("всё спокойно"), &error), error);
        rig->advance(Minute);
        verifyDone(shifts->accept(incoming, QStringLiteral("pass2"), QStringLiteral("принял"), &error), error);
        verifyDone(rig->station->signIn(incoming, QStringLiteral("pass2"), &error), error);
        rig->advance(Minute);
        verifyDone(rig->station->acknowledge(alarmOf("post1"), QStringLiteral("проверено"), &error), error);
        rig->feed({rig->status("post3", 0, 3600), test::StationRig::message("post3", "status", "offline", true)});
        rig->advance(20 * Minute);
        rig->feed(rig->status("post3", 0, 3600));
        trip(QStringLiteral("post2"));
        verifyDone(rig->station->shelve(alarmOf("post2"), 60, QStringLiteral("ремонт шлейфа"), &error), error);
        QVERIFY(rig->journal.replaceGaps("post2", QDate(2026, 12, 6), {{"post2", QDate(2026, 12, 6), 4, 9, rig->clock.now()}},
                                         rig->clock.now()));
        QSqlQuery query(rig->journal.database());
        QVERIFY(query.exec(QStringLiteral("INSERT INTO out_of_service (site, what, since, operator, station, reason)"
                                          " VALUES ('post4', 'пост post4', '%1', 'Петров', 'duty-room', 'ремонт линии')")
                               .arg(rig->clock.now().toString(Qt::ISODateWithMs))));
        rig->advance(5 * Minute);
        verifyDone(shifts->handOver(incoming, QStringLiteral("замечаний нет"), &error), error);
    }

private slots:
    void initTestCase()
    {
        Operators operators(operatorsDir.filePath(QStringLiteral("operators")));
        QString error;
        QVERIFY(operators.add(outgoing, QStringLiteral("pass1"), &error));
        QVERIFY(operators.add(incoming, QStringLiteral("pass2"), &error));
    }

    void init()
    {
        if (worked && qstrcmp(QTest::currentTestFunction(), "reportOfAShift") == 0)
            return;
        worked = false;
        rig = std::make_unique<test::StationRig>();
        recorded.clear();
        record = 0;
        QString error;
        QVERIFY(QFile::copy(operatorsDir.filePath(QStringLiteral("operators")), rig->operators.path()));
        QVERIFY(rig->start());
        QVERIFY(rig->station->signIn(outgoing, QStringLiteral("pass1"), &error));
        makeShifts();
    }

    void reportOfAShift_data()
    {
        QTest::addColumn<int>("shift"); // 0: Иванов's, 1: Петров's
        QTest::addColumn<QString>("fact");
        QTest::addColumn<QString>("expected");

        QTest::newRow("first: its operator") << 0 << "operators" << outgoing;
        QTest::newRow("first: raised") << 0 << "raised" << "post1 trip acknowledged";
        QTest::newRow("first: open at its end as it was then") << 0 << "open at end" << "post1 trip unacknowledged";
        QTest::newRow("first: handed over and accepted")
            << 0 << "handover" << "Иванов|всё спокойно|Петров|принял";
        QTest::newRow("first: nothing acknowledged") << 0 << "acknowledged" << "";
        QTest::newRow("second: the one who took it, not the one who left")
            << 1 << "operators" << incoming;
        QTest::newRow("second: raised in it") << 1 << "raised" << "post3 offline returned, post2 trip unacknowledged";
        QTest::newRow("second: acknowledged, raised the shift before")
            << 1 << "acknowledged" << "post1 Петров проверено 180";
        QTest::newRow("second: still open at its end")
            << 1 << "open at end" << "post1 trip acknowledged, post3 offline returned, post2 trip unacknowledged";
        QTest::newRow("second: a dead post for its time") << 1 << "dead posts" << "post3 offline 1200";
        QTest::newRow("second: shelved") << 1 << "shelves" << "Петров ремонт шлейфа";
        QTest::newRow("second: out of service") << 1 << "out of service" << "post4 -1 ремонт линии";
        QTest::newRow("second: a gap found") << 1 << "gaps" << "post2 4-9";
        QTest::newRow("second: the operator's words")
            << 1 << "comments" << "acknowledge проверено, shelve ремонт шлейфа";
        QTest::newRow("second: handed over, waiting") << 1 << "handover" << "Петров|замечаний нет||";
        QTest::newRow("second: read whole") << 1 << "error" << "";
    }

    void reportOfAShift()
    {
        QFETCH(int, shift);
        QFETCH(QString, fact);
        QFETCH(QString, expected);
        if (!worked)
            workTwoShifts();
        worked = true;
        const QList<Handover> past = shifts->handovers();
        QCOMPARE(past.size(), 2);
        const std::optional<ShiftReport> report = shifts->reportOf(past.at(1 - shift).seq);
        QVERIFY(report);
        QCOMPARE(factsOf(*report).value(fact), expected);
        QCOMPARE(shifts->reportOf(past.at(1 - shift).uid)->to, report->to);
    }

    void shiftsFollowEachOther()
    {
        workTwoShifts();
        const QList<Handover> past = shifts->handovers();
        QCOMPARE(past.at(0).from, past.at(1).to);
        QCOMPARE(past.at(0).to, rig->clock.now());
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("refused"); // the step refused, empty: none
        QTest::addColumn<QString>("actions"); // hand_over and take_over rows

        QTest::newRow("handed over and accepted") << QStringList{"hand over", "accept"} << "" << "hand_over take_over";
        QTest::newRow("wrong password") << QStringList{"hand over", "accept wrong"} << "accept wrong" << "hand_over";
        QTest::newRow("nothing pending") << QStringList{"accept"} << "accept" << "";
        QTest::newRow("accepted twice") << QStringList{"hand over", "accept", "accept"} << "accept" << "hand_over take_over";
        QTest::newRow("handed over twice") << QStringList{"hand over", "hand over"} << "hand over" << "hand_over";
        QTest::newRow("taken by the one who left") << QStringList{"hand over", "accept own"} << "accept own" << "hand_over";
        QTest::newRow("by nobody") << QStringList{"hand over nobody"} << "hand over nobody" << "";
        QTest::newRow("pending through a restart")
            << QStringList{"hand over", "restart", "accept"} << "" << "hand_over take_over";
    }

    void refusals()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, refused);
        QFETCH(QString, actions);
        QString refusedStep;
        for (const QString &step : steps) {
            QString error;
            bool done = true;
            if (step == u"restart") {
                rig->restart();
                makeShifts();
            } else if (step.startsWith(u"hand over"))
                done = shifts->handOver(step.endsWith(u"nobody") ? QString() : outgoing, QStringLiteral("замечания"), &error);
            else if (step == u"accept own")
                done = shifts->accept(outgoing, QStringLiteral("pass1"), QStringLiteral("принял"), &error);
            else if (step.startsWith(u"accept"))
                done = shifts->accept(incoming, step.endsWith(u"wrong") ? QStringLiteral("wrong") : QStringLiteral("pass2"),
                                      QStringLiteral("принял"), &error);
            QCOMPARE(error.isEmpty(), done);
            if (!done)
                refusedStep = step;
            rig->advance(Minute);
        }
        QCOMPARE(refusedStep, refused);
        QCOMPARE(rig->query("SELECT group_concat(kind, ' ') FROM actions WHERE kind IN ('hand_over', 'take_over')")
                     .toString(),
                 actions);
        QCOMPARE(shifts->pending().has_value(), actions == u"hand_over");
    }

    // Both are actions naming the same span, signed by their operators, each
    // with its own id, passed to the integrator's record.
    void bothAreActionsNamingTheSpan()
    {
        QString error;
        const QDateTime start = rig->clock.now();
        rig->advance(10 * Minute);
        QVERIFY2(shifts->handOver(outgoing, QStringLiteral("сдал"), &error), qPrintable(error));
        const QDateTime end = rig->clock.now();
        rig->advance(Minute);
        QVERIFY2(shifts->accept(incoming, QStringLiteral("pass2"), QStringLiteral("принял"), &error), qPrintable(error));
        QCOMPARE(recorded.size(), 2);
        QCOMPARE(recorded.at(0).kind, ActionKind::HandOver);
        QCOMPARE(recorded.at(1).kind, ActionKind::TakeOver);
        QCOMPARE(recorded.at(0).target, shiftTarget(start, end));
        QCOMPARE(recorded.at(1).target, recorded.at(0).target);
        QVERIFY(!recorded.at(0).uid.isEmpty() && recorded.at(0).uid != recorded.at(1).uid);
        QCOMPARE(rig->query("SELECT group_concat(operator || ':' || comment || ':' || station, ' ') FROM actions"
                            " WHERE kind IN ('hand_over', 'take_over')")
                     .toString(),
                 QStringLiteral("Иванов:сдал:duty-room Петров:принял:duty-room"));
    }
};

QTEST_GUILESS_MAIN(TestStationHandover)
#include "test_station_handover.moc"
