// The port, the transmitter, the polling cycle and the link statistics.

#include "test_link_rig.h"

#include <QSignalSpy>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

const QString noLink = QStringLiteral("Нет связи");
const QString alarmOn = QStringLiteral("Тревога");

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    // ---- port ----

    void openBuildsTheWindowsNameAndShowsTheSpeed_data()
    {
        QTest::addColumn<int>("portIndex");
        QTest::addColumn<int>("speedIndex");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("speedText");
        QTest::newRow("COM1") << 0 << 0 << "COM1" << 19200 << "Скорость: 19200 Бит/сек";
        QTest::newRow("index 8") << 8 << 0 << "COM9" << 19200 << "Скорость: 19200 Бит/сек";
        QTest::newRow("index 9") << 9 << 1 << "//./COM10" << 9600 << "Скорость: 9600 Бит/сек";
        QTest::newRow("COM70") << 69 << 1 << "//./COM70" << 9600 << "Скорость: 9600 Бит/сек";
    }
    void openBuildsTheWindowsNameAndShowsTheSpeed()
    {
        QFETCH(int, portIndex);
        QFETCH(int, speedIndex);
        LinkRig rig;
        rig.port.portIndex = portIndex;
        rig.port.speedIndex = speedIndex;
        rig.captions.set(Captions::panel(4), QStringLiteral("old"));
        QSignalSpy timers(&rig.link, &Link::timersChanged);

        QVERIFY(rig.open());
        QTEST(rig.line.openedName, "name");
        QTEST(rig.line.openedBaud, "baud");
        QTEST(rig.captions.text(Captions::panel(3)), "speedText");
        QCOMPARE(rig.captions.text(Captions::panel(4)), QString());
        QVERIFY(rig.link.timer1Enabled() && rig.link.timerRvEnabled());
        QVERIFY(timers.count() >= 1);
    }

    void failedOpenStopsBothTimersSilently()
    {
        LinkRig rig;
        QVERIFY(rig.open());
        rig.line.failOpen = true;
        QSignalSpy timers(&rig.link, &Link::timersChanged);
        QCOMPARE(rig.link.Open_port(1), 0);
        QVERIFY(!rig.link.timer1Enabled() && !rig.link.timerRvEnabled());
        QCOMPARE(timers.count(), 1);
        QVERIFY(rig.reported().isEmpty());
    }

    void openForgetsTheRequestInFlight()
    {
        LinkRig rig;
        rig.connect(0, 1, 0);
        QVERIFY(rig.open());
        rig.tick();
        QVERIFY(rig.link.poller().replyPending());
        rig.link.Reopen_port();
        QVERIFY(!rig.link.poller().replyPending());
        // So the reopen costs no time-out.
        rig.tick();
        QCOMPARE(rig.link.statistics().slotStats(0).timeouts, 0);
    }

    void comboBoxReopensAndShowsTheOutcome()
    {
        LinkRig rig;
        rig.port.portIndex = 2;
        QVERIFY(rig.open());
        rig.link.ComboBox1Click();
        QCOMPARE(rig.line.openCount, 2);
        QCOMPARE(rig.captions.text(Captions::panel(2)), QStringLiteral("COM3 включён"));
        rig.line.failOpen = true;
        rig.link.ComboBox1Click();
        QCOMPARE(rig.captions.text(Captions::panel(2)), QStringLiteral("COM3 выключен"));
        QVERIFY(!rig.link.timer1Enabled());
    }

    void timer2ShowsTheClockAndReopensEveryFourthTick()
    {
        LinkRig rig;
        QVERIFY(rig.open());
        QList<int> opensAfterTick;
        for (int i = 0; i < 8; ++i) {
            rig.link.Timer2Timer();
            opensAfterTick.append(rig.line.openCount);
        }
        QCOMPARE(opensAfterTick, (QList<int>{1, 1, 1, 2, 2, 2, 2, 3}));
        QCOMPARE(rig.captions.text(QStringLiteral("Label6")), QStringLiteral(" 06.12.2026 14:03:27"));
        QCOMPARE(rig.captions.text(QStringLiteral("Label5")), QStringLiteral("   Воскресенье"));
        // A failed port is retried by the same path and polling resumes; the
        // status bar follows.
        rig.line.failOpen = true;
        for (int i = 0; i < 4; ++i)
            rig.link.Timer2Timer();
        QVERIFY(!rig.link.timer1Enabled());
        QCOMPARE(rig.captions.text(Captions::panel(2)), QStringLiteral("COM1 выключен"));
        rig.line.failOpen = false;
        for (int i = 0; i < 4; ++i)
            rig.link.Timer2Timer();
        QVERIFY(rig.link.timer1Enabled() && rig.link.timerRvEnabled());
        QCOMPARE(rig.captions.text(Captions::panel(2)), QStringLiteral("COM1 включён"));
    }

    // ---- transmitter ----

    void sendCmd1GuardsItsBuffer()
    {
        LinkRig rig;
        QVERIFY(rig.open());
        QCOMPARE(rig.captions.text(QStringLiteral("N_tr_byte")), QStringLiteral("----"));
        QByteArray data(1025, '\x5A');
        const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());

        QCOMPARE(rig.link.Send_Cmd1(bytes, 1025), -2);
        QCOMPARE(rig.reported(), QStringList{"Send_Cmd1: usDataLen>SIZE_TR_BUF!"});
        QCOMPARE(rig.prompter.shown[0].caption, QStringLiteral("Внимание"));
        QVERIFY(rig.line.written.isEmpty());

        QCOMPARE(rig.link.Send_Cmd1(bytes, 1024), 0);
        QCOMPARE(rig.line.written.size(), 1024);
        QCOMPARE(rig.captions.text(QStringLiteral("N_tr_byte")), QStringLiteral("1024"));
        QCOMPARE(rig.captions.text(QStringLiteral("N_tr_frame")), QStringLiteral("1"));
    }

    void failedWriteIsNotCountedAsAFrame()
    {
        LinkRig rig;
        QVERIFY(rig.open());
        rig.line.failWrite = true;
        const quint8 bytes[3] = {1, 2, 3};
        QCOMPARE(rig.link.Send_Cmd1(bytes, 3), -2);
        QCOMPARE(rig.link.statistics().totals().N_tr_frame, 0);
        QCOMPARE(rig.captions.text(QStringLiteral("N_tr_frame")), QStringLiteral("----"));
    }

    // ---- polling cycle ----

    void requestFollowsThePendingRequest_data()
    {
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("pending");
        QTest::addColumn<float>("dc1");
        QTest::addColumn<float>("dc2");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("poll") << 1u << 0 << 0.f << 0.f
                              << QByteArray::fromHex("B649160100028200 2EE6");
        QTest::newRow("poll 182 stuffed") << 182u << 130 << 0.f << 0.f
                                          << QByteArray::fromHex("B64916B600000282007688");
        QTest::newRow("set dc model 0") << 1u << 194 << 100.f << 100.f
                                        << QByteArray::fromHex("B64916010003C2640062D0");
        QTest::newRow("set dc model 1") << 1u << 193 << 1.5f << 2.5f << QByteArray();
    }
    void requestFollowsThePendingRequest()
    {
        QFETCH(quint32, address);
        QFETCH(int, pending);
        QFETCH(QByteArray, expected);
        LinkRig rig;
        SensorRecord &r = rig.connect(3, address, pending == 193 ? 1 : 0);
        r.pendingRequest = qint16(pending);
        QFETCH(float, dc1);
        QFETCH(float, dc2);
        r.thresholdDc1 = dc1;
        r.thresholdDc2 = dc2;
        QVERIFY(rig.open());

        const QByteArray sent = rig.tick();
        if (expected.isEmpty())
            expected = stuffRequest(unstuffedRequest(r));
        QCOMPARE(sent.toHex(), expected.toHex());
        if (pending == 193)
            QCOMPARE(sent.size(), 17);
        QCOMPARE(rig.comCell(DiagnosticsColumn::TxBytes, 3), QString::number(sent.size()));
        QCOMPARE(rig.comCell(DiagnosticsColumn::TxFrames, 3), QStringLiteral("1"));
        QCOMPARE(rig.captions.text(QStringLiteral("N_tr_byte")), QString::number(sent.size()));
        QCOMPARE(rig.link.poller().requestBuffer().expectedAddress, quint16(address));
        QVERIFY(rig.link.poller().replyPending());
    }

    void passCadence_data()
    {
        QTest::addColumn<QList<int>>("occupied");
        QTest::addColumn<QList<int>>("polled"); // per tick: the slot polled, -1 idle
        QTest::newRow("one sensor: idle tick at the wrap") << QList<int>{0}
                                                           << QList<int>{0, -1, 0, -1, 0};
        QTest::newRow("two sensors") << QList<int>{4, 9} << QList<int>{4, 9, -1, 4, 9, -1};
        QTest::newRow("slot 31 wraps on the send") << QList<int>{0, 31}
                                                   << QList<int>{0, 31, 0, 31, 0};
        QTest::newRow("no sensor") << QList<int>{} << QList<int>{-1, -1, -1};
    }
    void passCadence()
    {
        QFETCH(QList<int>, occupied);
        QFETCH(QList<int>, polled);
        LinkRig rig;
        for (int slot : occupied)
            rig.connect(slot, quint32(100 + slot), 0);
        QVERIFY(rig.open());
        QList<int> seen;
        for (int i = 0; i < polled.size(); ++i) {
            const QByteArray sent = rig.tick();
            if (sent.isEmpty()) {
                QVERIFY(!rig.link.poller().replyPending());
                seen.append(-1);
            } else {
                seen.append(quint8(sent[3]) - 100);
            }
        }
        QCOMPARE(seen, polled);
    }

    void setRequestRepeatsUntilAcknowledged()
    {
        LinkRig rig;
        SensorRecord &r = rig.linked(0, 7, 1);
        r.pendingRequest = Request::SetDcModel1;
        QVERIFY(rig.open());
        // A status reply does not end it.
        rig.pollAndAnswer(statusM1(7, 0));
        rig.tick();
        QCOMPARE(quint8(rig.tick()[6]), Frame::CMD_SET_DC_M1);
        rig.receive(ack(7));
        QCOMPARE(r.pendingRequest, Request::Poll);
        rig.tick();
        QCOMPARE(quint8(rig.tick()[6]), Frame::CMD_POLL);
    }

    // ---- link loss ----

    void silentSensorIsLostAtTheNinthMiss_data()
    {
        QTest::addColumn<bool>("announced");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("alarms");
        QTest::newRow("never announced") << false << true << QString() << 0;
        QTest::newRow("announced, disarmed")
            << true << false << "Нет связи с датчиком <Дорван-302ДК> № 5" << 0;
        QTest::newRow("announced, armed")
            << true << true << "Нет связи с датчиком <Дорван-302ДК> № 5" << 1;
    }
    void silentSensorIsLostAtTheNinthMiss()
    {
        QFETCH(bool, announced);
        QFETCH(bool, armed);
        QFETCH(QString, event);
        LinkRig rig;
        SensorRecord &r = rig.connect(0, 5, 1);
        r.armed2 = armed ? 1 : 0;
        QVERIFY(rig.open());
        if (announced) {
            rig.pollAndAnswer(statusM1(5, 0));
            QCOMPARE(rig.link.statistics().linkShown(0), qint16(1));
            rig.tick(); // the idle tick at the wrap
        }
        const int eventsBefore = rig.eventCount();

        // Requests 1..8 are sent and judged as plain misses.
        for (int pass = 0; pass < 8; ++pass) {
            rig.tick();
            rig.tick();
        }
        QCOMPARE(rig.table.missedReplies[0], qint16(8));
        QCOMPARE(rig.line.openCount, 1);
        QCOMPARE(rig.comCell(DiagnosticsColumn::Timeouts, 0), QStringLiteral("8"));
        QCOMPARE(r.linkUp, qint16(announced ? 1 : 0));

        rig.tick(); // the 9th request
        rig.tick(); // judged: the link is lost
        QCOMPARE(rig.line.openCount, 2);
        QCOMPARE(rig.table.missedReplies[0], qint16(1));
        QCOMPARE(rig.comCell(DiagnosticsColumn::Timeouts, 0), QStringLiteral("9"));
        QCOMPARE(r.linkUp, qint16(0));
        QCOMPARE(rig.rowColour(0), Colour::DarkRed);
        QCOMPARE(r.alarm1, quint8(1));
        QCOMPARE(r.alarm2, quint8(1));
        if (announced) {
            QCOMPARE(rig.sensorCell(SensorColumn::Loop1, 0), alarmOn);
            QCOMPARE(rig.sensorCell(SensorColumn::Loop2, 0), alarmOn);
        }
        QCOMPARE(rig.link.statistics().linkShown(0), qint16(0));
        QCOMPARE(rig.comCell(DiagnosticsColumn::Link, 0), noLink);
        QCOMPARE(rig.eventCount() - eventsBefore, event.isEmpty() ? 0 : 1);
        if (!event.isEmpty()) {
            QCOMPARE(rig.lastEvent(), event);
            QCOMPARE(r.state, SensorState::NoLink);
            QCOMPARE(rig.sensorCell(SensorColumn::State, 0), noLink);
        }
        QTEST(rig.alarms.alarmCount(), "alarms");

        // Still silent: the loss repeats at every 9th request, without a new event.
        const int eventsAfterLoss = rig.eventCount();
        for (int i = 0; i < 18; ++i)
            rig.tick();
        QCOMPARE(rig.line.openCount, 3);
        QCOMPARE(rig.eventCount(), eventsAfterLoss);
    }

    // A port that cannot be reopened stops polling, so no sensor would reach
    // its ninth miss: every sensor with a link loses it at once instead of
    // showing the last state it reported for as long as the port is gone.
    void portThatCannotBeReopenedLosesEveryLink()
    {
        LinkRig rig;
        SensorRecord &armed = rig.connect(0, 5, 1);
        armed.armed1 = 1;
        rig.connect(1, 6, 0);
        rig.connect(2, 7, 0); // never answered: nothing to lose
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM1(5, 0));
        rig.pollAndAnswer(statusM0(6, 0));
        const int eventsBefore = rig.eventCount();

        rig.line.failOpen = true;
        for (int second = 0; second < 4; ++second)
            rig.link.Timer2Timer();
        QVERIFY(!rig.link.timer1Enabled() && !rig.link.timerRvEnabled());
        QCOMPARE(rig.eventTexts().mid(eventsBefore),
                 QStringList({QStringLiteral("Нет связи с датчиком <Дорван-302ДК> № 5"),
                              QStringLiteral("Нет связи с датчиком <Дорван-301ДК> № 6")}));
        QCOMPARE(rig.alarms.alarmCount(), 1); // only the armed one
        for (int slot : {0, 1}) {
            QCOMPARE(rig.table[slot].linkUp, qint16(0));
            QCOMPARE(rig.rowColour(slot), Colour::DarkRed);
            QCOMPARE(rig.sensorCell(SensorColumn::State, slot), noLink);
            QCOMPARE(rig.comCell(DiagnosticsColumn::Link, slot), noLink);
        }

        // Further failed retries say nothing new; the port's return brings the links back.
        for (int second = 0; second < 4; ++second)
            rig.link.Timer2Timer();
        QCOMPARE(rig.eventCount(), eventsBefore + 2);
        rig.line.failOpen = false;
        for (int second = 0; second < 4; ++second)
            rig.link.Timer2Timer();
        QVERIFY(rig.link.timer1Enabled());
        rig.tick(); // slot 2
        rig.tick(); // the idle tick at the wrap
        rig.pollAndAnswer(statusM1(5, 0));
        QVERIFY(rig.eventTexts().contains(QStringLiteral("Восстановлена связь с датчиком <Дорван-302ДК> № 5")));
        QCOMPARE(rig.table[0].linkUp, qint16(1));
    }

    void badChecksumIsNeitherAnswerNorMiss()
    {
        LinkRig rig;
        rig.linked(0, 5, 1);
        rig.table.missedReplies[0] = 3;
        QVERIFY(rig.open());
        QByteArray broken = statusM1(5, 0);
        broken[broken.size() - 1] = char(broken[broken.size() - 1] ^ 0x01);
        rig.pollAndAnswer(broken);
        rig.tick();
        QCOMPARE(rig.table.missedReplies[0], qint16(3));
        QCOMPARE(rig.link.statistics().slotStats(0).timeouts, 0);
    }

    void emptiedSlotIsNotJudged()
    {
        LinkRig rig;
        rig.connect(0, 5, 0);
        QVERIFY(rig.open());
        rig.tick();
        rig.table.Free_slot_empty(0);
        rig.tick();
        QCOMPARE(rig.table.missedReplies[0], qint16(0));
        QCOMPARE(rig.link.statistics().slotStats(0).timeouts, 0);
    }

    // ---- statistics ----

    void resetButtonZeroesTheSlotCounters()
    {
        LinkRig rig;
        rig.connect(0, 182, 0);
        QVERIFY(rig.open());
        rig.comGrid.setCell(1, 5, QStringLiteral("left alone"));
        for (int i = 0; i < 4; ++i)
            rig.tick();
        QCOMPARE(rig.comCell(DiagnosticsColumn::TxFrames, 0), QStringLiteral("2"));
        const QString totalBefore = rig.captions.text(QStringLiteral("N_tr_byte"));

        rig.link.statistics().Button2Click();
        for (int column = 1; column <= 6; ++column)
            QCOMPARE(rig.comCell(DiagnosticsColumn(column), 0), QStringLiteral("0"));
        QCOMPARE(rig.comCell(DiagnosticsColumn::Link, 0), noLink);
        QCOMPARE(rig.comGrid.cell(1, 5), QStringLiteral("left alone"));
        QCOMPARE(rig.captions.text(QStringLiteral("N_tr_byte")), totalBefore);

        rig.tick();
        QCOMPARE(rig.comCell(DiagnosticsColumn::TxFrames, 0), QStringLiteral("1"));
        QCOMPARE(rig.comCell(DiagnosticsColumn::TxBytes, 0), QStringLiteral("11"));
        QCOMPARE(rig.captions.text(QStringLiteral("N_tr_byte")), QStringLiteral("33"));
    }

    void slotStatsHelpers()
    {
        LinkRig rig;
        rig.connect(2, 9, 0);
        rig.link.statistics().showStoredSlotStats(2);
        QCOMPARE(rig.comCell(DiagnosticsColumn::Link, 2), noLink);
        QCOMPARE(rig.comCell(DiagnosticsColumn::TxBytes, 2), QStringLiteral("0"));
        rig.connect(3, 10, 0).state = 0;
        rig.comGrid.setCell(7, 4, QString());
        rig.link.statistics().showStoredSlotStats(3);
        QCOMPARE(rig.comCell(DiagnosticsColumn::Link, 3), QString());

        QVERIFY(rig.open());
        rig.link.restartPolling();
        for (int i = 0; i < 3; ++i)
            rig.tick();
        rig.link.statistics().clearSlotStats(2);
        rig.link.statistics().clearSlotStatsRow(2);
        QCOMPARE(rig.link.statistics().slotStats(2).txFrames, 0);
        for (int column = 1; column <= 9; ++column)
            QCOMPARE(rig.comCell(DiagnosticsColumn(column), 2), QString());
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
