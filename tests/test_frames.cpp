#include "link/frames.h"

#include "framevectors.h"

#include <QTest>

using namespace dorvan;

namespace {

SensorRecord sensor(quint32 address, qint16 pending = 0, float dc1 = 0, float dc2 = 0)
{
    SensorRecord r;
    r.address = address;
    r.pendingRequest = pending;
    r.thresholdDc1 = dc1;
    r.thresholdDc2 = dc2;
    return r;
}

QByteArray built(const SensorRecord &r, RequestBuffer *out = nullptr)
{
    RequestBuffer buffer;
    const int length = Build_request(r, buffer);
    if (out)
        *out = buffer;
    return QByteArray(reinterpret_cast<const char *>(buffer.bytes.data()), length);
}

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue()
    {
        QCOMPARE(Calc_crc(QByteArrayView(test::crcCheckText)), test::crcCheckValue);
        QCOMPARE(Calc_crc(nullptr, 0), quint16(0));
    }

    // The table the simulator's own framing is checked against too.
    void buildsAndStuffsTheSharedVectors_data() { test::addFrameVectorRows(); }
    void buildsAndStuffsTheSharedVectors()
    {
        QFETCH(bool, reply);
        QFETCH(int, sync);
        QFETCH(int, mark);
        QFETCH(int, address);
        QFETCH(int, code);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, stuffed);
        const QByteArray built = buildFrame(quint8(sync), quint8(mark), Frame::NET_CODE, quint16(address),
                                            quint8(code), data);
        QCOMPARE(built.toHex(' '), frame.toHex(' '));
        QCOMPARE((reply ? stuffReply(frame) : stuffRequest(frame)).toHex(' '), stuffed.toHex(' '));
    }

    void requestsMatchTheProtocolExamples_data()
    {
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("pending");
        QTest::addColumn<float>("dc1");
        QTest::addColumn<float>("dc2");
        QTest::addColumn<QByteArray>("vector");
        QTest::newRow("poll 1") << 1u << 0 << 0.f << 0.f << QByteArray("poll 1");
        QTest::newRow("poll 182 stuffed") << 182u << 130 << 0.f << 0.f
                                          << QByteArray("poll 182, address low byte 0xB6");
        QTest::newRow("set dc m0 100") << 1u << 194 << 100.f << 100.f << QByteArray("set dc m0 100");
        QTest::newRow("set dc m0 12.9 goes as 12") << 1u << 194 << 12.9f << 0.f << QByteArray("set dc m0 12");
        QTest::newRow("set dc m1") << 2001u << 193 << 1.25f << 2.5f << QByteArray("set dc m1 1.25 2.5");
        QTest::newRow("address above 16 bits") << 65537u << 0 << 0.f << 0.f << QByteArray("poll 1");
    }
    void requestsMatchTheProtocolExamples()
    {
        QFETCH(quint32, address);
        QFETCH(int, pending);
        QFETCH(float, dc1);
        QFETCH(float, dc2);
        QFETCH(QByteArray, vector);
        const QByteArray frame = built(sensor(address, qint16(pending), dc1, dc2));
        QCOMPARE(frame.toHex(' '), test::frameVector(vector).wireBytes().toHex(' '));
    }

    void setDcModel1CarriesTwoSingles()
    {
        RequestBuffer buffer;
        const QByteArray frame = built(sensor(2, 193, 1.5f, -2.25f), &buffer);
        QByteArray unstuffed = unstuffedRequest(sensor(2, 193, 1.5f, -2.25f));
        QCOMPARE(unstuffed.size(), 17);
        QCOMPARE(unstuffed.mid(5, 2), QByteArray::fromHex("09C1"));
        QCOMPARE(unstuffed.mid(7, 8), QByteArray::fromHex("0000C03F000010C0"));
        QCOMPARE(Calc_crc(QByteArrayView(unstuffed).first(15)),
                 quint16(quint8(unstuffed[15]) | quint8(unstuffed[16]) << 8));
        QCOMPARE(frame, stuffRequest(unstuffed));
        QCOMPARE(buffer.expectedAddress, quint16(2));
        QCOMPARE(buffer.expectedNetCode, quint8(0x16));
    }

    void stuffingRules()
    {
        // A request stuffs only 0xB6, from offset 2 on; 0xB9 passes.
        QCOMPARE(stuffRequest(QByteArray::fromHex("B649B6B9")).toHex(),
                 QByteArray("b649b600b9"));
        // A reply stuffs both sync bytes from offset 2 on.
        QCOMPARE(stuffReply(QByteArray::fromHex("B946B9B601")).toHex(),
                 QByteArray("b946b900b60001"));
        // A DC value whose integer part needs more than 16 bits goes as its low 16 bits.
        QCOMPARE(unstuffedRequest(sensor(1, 194, 65536.f + 7.f)).mid(7, 2),
                 QByteArray::fromHex("0700"));
        QCOMPARE(unstuffedRequest(sensor(1, 194, 65535.f)).mid(7, 2), QByteArray::fromHex("FFFF"));
    }

    void replyFrameLayout()
    {
        const QByteArray reply =
            buildFrame(Frame::RPL_SYNC, Frame::RPL_MARK, Frame::NET_CODE, 0x1234, Frame::RPL_ACK, {});
        QCOMPARE(reply.left(7).toHex(), QByteArray("b946163412" "0141"));
        QCOMPARE(reply.size(), 9);
    }
};

QTEST_APPLESS_MAIN(TestFrames)
#include "test_frames.moc"
