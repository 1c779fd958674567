// The reply receiver: framing, stuffing, header and checksum checks, the
// receive counters, the link-restored step and the timing figures.

#include "test_link_rig.h"

#include <QRandomGenerator>
#include <QTest>

Q_DECLARE_METATYPE(dorvan::Receiver::State)

using namespace dorvan;
using namespace dorvan::test;

namespace {

// A port whose every read takes a millisecond of the fake clock.
class SlowLine : public FakeSerialLine
{
public:
    explicit SlowLine(FakeClock &clock) : clock_(clock) {}
    bool readByte(quint8 &byte) override
    {
        clock_.advanceMs(1);
        return FakeSerialLine::readByte(byte);
    }

private:
    FakeClock &clock_;
};

// What the receiver made of a run of bytes: "ok <line bytes>" or
// "bad <line bytes>" per complete frame, "header" per rejected header.
QStringList receiveAll(Receiver &receiver, const QByteArray &bytes, ExpectedReply expected)
{
    QStringList outcomes;
    for (char c : bytes) {
        const ReceivedByte got = receiver.take(quint8(c), expected);
        if (got.outcome == ReceivedByte::Outcome::HeaderRejected)
            outcomes << QStringLiteral("header");
        else if (got.outcome == ReceivedByte::Outcome::FrameComplete)
            outcomes << (got.checksumOk ? QStringLiteral("ok %1") : QStringLiteral("bad %1"))
                            .arg(got.lineBytes);
    }
    return outcomes;
}

} // namespace

class TestReceiver : public QObject
{
    Q_OBJECT

private slots:
    void framesFromBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<Receiver::State>("state");
        const QByteArray m0 = statusM0(7, 0x80, 3, 4);
        QByteArray corrupt = m0;
        corrupt[8] = char(corrupt[8] ^ 0x10);
        const QByteArray stuffed = stuffReply(buildFrame(Frame::RPL_SYNC, Frame::RPL_MARK, Frame::NET_CODE, 7,
                                                         Frame::RPL_STATUS_M0, QByteArray::fromHex("00B9000500")),
                                              0xB9);
        using S = Receiver::State;
        QTest::newRow("one frame") << m0 << QStringList{"ok 14"} << S::Hunt;
        QTest::newRow("two frames back to back") << m0 + statusM1(7, 0) << QStringList{"ok 14", "ok 26"} << S::Hunt;
        QTest::newRow("noise before the frame") << QByteArray::fromHex("001146B6") + m0 << QStringList{"ok 14"} << S::Hunt;
        QTest::newRow("stuffing byte of any value dropped") << stuffed << QStringList{"ok 15"} << S::Hunt;
        QTest::newRow("a doubled sync loses the frame") << QByteArray(1, char(0xB9)) + m0 + m0
                                                        << QStringList{"ok 14"} << S::Hunt;
        QTest::newRow("bad checksum") << corrupt << QStringList{"bad 14"} << S::Hunt;
        QTest::newRow("another address") << statusM0(8, 0) + m0 << QStringList{"header", "ok 14"} << S::Hunt;
        QTest::newRow("another net code") << QByteArray::fromHex("B946170700") << QStringList{"header"} << S::Hunt;
        QTest::newRow("cut in the data") << m0.left(9) << QStringList{} << S::Data;
        QTest::newRow("cut in the checksum") << m0.left(13) << QStringList{} << S::Crc;
    }
    void framesFromBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, outcomes);
        QFETCH(Receiver::State, state);
        Receiver receiver;
        QCOMPARE(receiveAll(receiver, bytes, ExpectedReply{Frame::NET_CODE, 7}), outcomes);
        QCOMPARE(receiver.state(), state);
        // The last good frame is handed out unstuffed, its checksum verifiable.
        if (!outcomes.isEmpty() && outcomes.last().startsWith(u"ok")) {
            const ReplyFrame frame = receiver.frame();
            QCOMPARE(Calc_crc(frame.bytes.data(), qint16(frame.length + 6)),
                     quint16(frame.bytes[size_t(frame.length + 6)] | frame.bytes[size_t(frame.length + 7)] << 8));
        }
    }

    void replySplitOverTicksIsAssembled_data()
    {
        QTest::addColumn<QList<int>>("cuts");
        QTest::newRow("whole") << QList<int>{};
        QTest::newRow("in the header") << QList<int>{1, 3};
        QTest::newRow("at the length byte") << QList<int>{5, 6};
        QTest::newRow("in the data and the checksum") << QList<int>{9, 20, 25};
        QTest::newRow("byte by byte") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                                    14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
    }
    void replySplitOverTicksIsAssembled()
    {
        QFETCH(QList<int>, cuts);
        LinkRig rig;
        SensorRecord &r = rig.linked(0, 7, 1);
        QVERIFY(rig.open());
        rig.tick();
        const QByteArray frame = statusM1(7, 0x00, 1.5f, 2.5f, 3.25f, 4.f);
        QCOMPARE(frame.size(), 26);
        int from = 0;
        for (int cut : cuts) {
            rig.receive(frame.mid(from, cut - from));
            QCOMPARE(rig.link.statistics().slotStats(0).rxFrames, 0);
            from = cut;
        }
        rig.receive(frame.mid(from));
        QCOMPARE(rig.link.statistics().slotStats(0).rxFrames, 1);
        QCOMPARE(r.signal1, 3.25f);
        QVERIFY(!rig.link.poller().replyPending());
        QCOMPARE(rig.link.receiver().state(), Receiver::State::Hunt);
        QCOMPARE(rig.comCell(DiagnosticsColumn::RxBytes, 0), QStringLiteral("26"));
        QCOMPARE(rig.captions.text(QStringLiteral("N_rv_byte")), QStringLiteral("26"));
        QCOMPARE(rig.captions.text(QStringLiteral("N_rv_frame")), QStringLiteral("1"));
    }

    void stuffedByteIsKeptAndItsFollowerDropped()
    {
        LinkRig rig;
        SensorRecord &r = rig.linked(0, 7, 0);
        QVERIFY(rig.open());
        rig.tick();
        // Threshold 0x00B9: one stuffing byte, whose value must not matter.
        const QByteArray unstuffed = buildFrame(Frame::RPL_SYNC, Frame::RPL_MARK, Frame::NET_CODE,
                                                7, Frame::RPL_STATUS_M0,
                                                QByteArray::fromHex("00B9000500"));
        rig.receive(stuffReply(unstuffed, 0xB9));
        QCOMPARE(rig.link.statistics().slotStats(0).crcErrors, 0);
        QCOMPARE(r.threshold1, 185.f);
        QCOMPARE(r.signalM0a, 5.f);
        // N + 9 bytes: the stuffing byte counts.
        QCOMPARE(rig.comCell(DiagnosticsColumn::RxBytes, 0), QString::number(6 + 9));
    }

    void leadingSyncPairIsDiscarded()
    {
        LinkRig rig;
        rig.linked(0, 7, 0);
        QVERIFY(rig.open());
        rig.tick();
        rig.receive(QByteArray(1, char(0xB9)) + statusM0(7, 0));
        QCOMPARE(rig.link.statistics().slotStats(0).rxFrames, 0);
        QCOMPARE(rig.link.receiver().state(), Receiver::State::Hunt);
        // Hunting goes on: the next reply is taken.
        rig.receive(statusM0(7, 0));
        QCOMPARE(rig.link.statistics().slotStats(0).rxFrames, 1);
    }

    void headerMismatchDropsTheFrameEarly_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("another slot's address") << QByteArray::fromHex("B946160800");
        QTest::newRow("another net code") << QByteArray::fromHex("B946170700");
    }
    void headerMismatchDropsTheFrameEarly()
    {
        QFETCH(QByteArray, header);
        LinkRig rig;
        rig.linked(0, 7, 0);
        rig.linked(1, 8, 0);
        rig.table.missedReplies[0] = 4;
        QVERIFY(rig.open());
        rig.tick();
        rig.receive(header.left(4));
        QVERIFY(rig.link.poller().replyPending());
        rig.receive(header.mid(4));
        QVERIFY(!rig.link.poller().replyPending());
        QCOMPARE(rig.link.receiver().state(), Receiver::State::Hunt);
        QCOMPARE(rig.link.receiver().position(), 0);
        rig.receive(QByteArray::fromHex("0207000000000000"));
        for (int slot : {0, 1}) {
            QCOMPARE(rig.link.statistics().slotStats(slot).rxBytes, 0);
            QCOMPARE(rig.link.statistics().slotStats(slot).rxFrames, 0);
        }
        QCOMPARE(rig.table.missedReplies[0], qint16(4));
        QCOMPARE(rig.link.statistics().totals().N_rv_byte, 13);
    }

    void badChecksumCountsAsAnError()
    {
        LinkRig rig;
        rig.linked(0, 7, 0);
        QVERIFY(rig.open());
        rig.tick();
        QByteArray frame = statusM0(7, 0x80);
        frame[8] = char(frame[8] ^ 0x10);
        rig.receive(frame);
        QCOMPARE(rig.comCell(DiagnosticsColumn::CrcErrors, 0), QStringLiteral("1"));
        QCOMPARE(rig.captions.text(QStringLiteral("KS_ERR")), QStringLiteral("1"));
        QCOMPARE(rig.comCell(DiagnosticsColumn::RxBytes, 0), QString::number(frame.size()));
        QCOMPARE(rig.comCell(DiagnosticsColumn::RxFrames, 0), QStringLiteral("0"));
        QCOMPARE(rig.captions.text(QStringLiteral("N_rv_frame")), QStringLiteral("----"));
        QVERIFY(!rig.link.poller().replyPending());
        // Nothing of the frame reached the sensor's state.
        QCOMPARE(rig.table[0].alarm1, quint8(0));
    }

    void firstValidReplyRestoresTheLink_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("setCode");
        QTest::newRow("model 0") << 0 << "Восстановлена связь с датчиком <Дорван-301ДК> № 4711"
                                 << int(Frame::CMD_SET_DC_M0);
        QTest::newRow("model 1") << 1 << "Восстановлена связь с датчиком <Дорван-302ДК> № 4711"
                                 << int(Frame::CMD_SET_DC_M1);
    }
    void firstValidReplyRestoresTheLink()
    {
        QFETCH(int, model);
        QFETCH(QString, event);
        LinkRig rig;
        SensorRecord &r = rig.connect(0, 4711, qint16(model));
        rig.table.missedReplies[0] = 5;
        QVERIFY(rig.open());
        rig.tick();
        rig.receive(reply(4711, Frame::RPL_ACK + 1, QByteArray())); // any code restores the link
        QCOMPARE(r.linkUp, qint16(1));
        QCOMPARE(rig.link.statistics().linkShown(0), qint16(1));
        QCOMPARE(rig.comCell(DiagnosticsColumn::Link, 0), QStringLiteral("Есть связь"));
        QCOMPARE(rig.table.missedReplies[0], qint16(0));
        QCOMPARE(rig.eventTexts(), QStringList{event});
        QFile daily(rig.dir.file(EventLog::dailyEventFile(rig.clock.now().date())));
        QVERIFY(daily.exists());
        rig.tick(); // the idle tick
        QTEST(int(quint8(rig.tick()[6])), "setCode");
        // A second good reply is no new restoration.
        rig.receive(reply(4711, 0x55, QByteArray()));
        QCOMPARE(rig.eventCount(), 1);
    }

    void restartPollingResetsTheReceiver()
    {
        LinkRig rig;
        rig.linked(0, 7, 0);
        rig.linked(5, 8, 0);
        QVERIFY(rig.open());
        rig.tick();
        rig.tick();
        QCOMPARE(rig.link.poller().pollIndex(), 6);
        rig.receive(QByteArray::fromHex("B946160800"));
        QCOMPARE(rig.link.receiver().state(), Receiver::State::Length);
        rig.link.restartPolling();
        QCOMPARE(rig.link.receiver().state(), Receiver::State::Hunt);
        QCOMPARE(rig.link.receiver().position(), 0);
        QVERIFY(!rig.link.receiver().syncSeen());
        QCOMPARE(rig.link.poller().pollIndex(), 0);
    }

    void timingFigures()
    {
        LinkRig rig;
        SlowLine line(rig.clock);
        const std::unique_ptr<Link> owned = rig.linkOn(line);
        Link &link = *owned;
        QVERIFY(link.Open_port(1) == 1);
        line.feed(QByteArray(7, '\x11'));
        for (int i = 0; i < 4; ++i)
            link.TimerRvTimer();
        QCOMPARE(rig.captions.text(QStringLiteral("Label35")), QString());
        link.TimerRvTimer();
        // 8 reads of 1 ms in the first tick (the last finds nothing), 1 ms in the others.
        QCOMPARE(rig.captions.text(QStringLiteral("Label35")), QStringLiteral("8000"));
        QCOMPARE(rig.captions.text(QStringLiteral("Label37")), QStringLiteral("8"));
        for (int i = 0; i < 5; ++i)
            link.TimerRvTimer();
        QCOMPARE(rig.captions.text(QStringLiteral("Label35")), QStringLiteral("1000"));

        // Without a high-resolution counter: said once, never divided by.
        rig.clock.frequency = 0;
        for (int i = 0; i < 5; ++i)
            link.TimerRvTimer();
        QCOMPARE(rig.captions.text(QStringLiteral("Label35")),
                 QStringLiteral("Измерение невозможно"));
        rig.captions.set(QStringLiteral("Label35"), QStringLiteral("x"));
        for (int i = 0; i < 5; ++i)
            link.TimerRvTimer();
        QCOMPARE(rig.captions.text(QStringLiteral("Label35")), QStringLiteral("x"));
        QCOMPARE(rig.captions.text(QStringLiteral("Label37")), QStringLiteral("1"));
    }

    void randomBytesNeverBreakTheReceiver()
    {
        LinkRig rig;
        for (int slot = 0; slot < SlotCount; ++slot)
            rig.connect(slot, quint32(slot + 1), qint16(slot % 2));
        QVERIFY(rig.open());
        QRandomGenerator random(20261206);
        // Bytes biased towards the ones that drive the machine deeper.
        const quint8 favourites[] = {0xB9, 0x46, 0x16, 0xB6, 0x01, 0x00, 0xFF, 0x02, 0x07, 0x41};
        QByteArray chunk;
        for (int round = 0; round < 4000; ++round) {
            chunk.clear();
            const int length = int(random.bounded(1, 300));
            for (int i = 0; i < length; ++i) {
                const quint32 pick = random.bounded(4u);
                chunk.append(char(pick == 0 ? quint8(random.bounded(256u))
                                            : favourites[random.bounded(quint32(sizeof favourites))]));
            }
            // Now and then a well-formed reply of the polled sensor, stuffed.
            if (round % 7 == 0) {
                const int slot = rig.link.poller().lastPolled();
                QByteArray data(int(random.bounded(0, 255)), '\0');
                for (char &c : data)
                    c = char(random.bounded(256u));
                chunk += reply(quint16(slot + 1), quint8(random.bounded(256u)), data);
            }
            if (round % 3 == 0)
                rig.tick();
            rig.receive(chunk);
            QVERIFY(rig.link.receiver().position() >= 0 && rig.link.receiver().position() < Frame::SIZE_RV_BUF);
        }
        qint64 frames = 0;
        for (int slot = 0; slot < SlotCount; ++slot)
            frames += rig.link.statistics().slotStats(slot).rxFrames;
        QVERIFY(frames > 0);
        QCOMPARE(qint64(rig.link.statistics().totals().N_rv_frame), frames);
    }
};

QTEST_GUILESS_MAIN(TestReceiver)
#include "test_receiver.moc"
