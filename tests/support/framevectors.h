#pragma once

// The line's frames byte for byte. The console's framing and the simulator's
// are written apart and each is checked against this one table, so a fault in
// either end cannot hide behind the same fault in the other. The checksums
// (CRC-16/KERMIT) were worked out from the CRC's definition, not by either
// encoder. The rows put 0xB6 and 0xB9 in the address, the values and the
// checksum, where each side must or must not stuff them.

#include <QByteArray>
#include <QByteArrayView>
#include <QTest>

namespace dorvan::test {

inline constexpr char crcCheckText[] = "123456789";
inline constexpr quint16 crcCheckValue = 0x2189;

inline QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

struct FrameVector
{
    const char *name;
    bool reply;        // sensor to console: B9 46, and 0xB9 stuffed as well as 0xB6
    quint16 address;
    quint8 code;
    const char *data;  // the bytes after the code
    const char *frame; // unstuffed, checksum included
    const char *wire;  // as on the line; nullptr when nothing is stuffed

    quint8 sync() const { return reply ? 0xB9 : 0xB6; }
    quint8 mark() const { return reply ? 0x46 : 0x49; }
    QByteArray dataBytes() const { return hexBytes(data); }
    QByteArray frameBytes() const { return hexBytes(frame); }
    QByteArray wireBytes() const { return hexBytes(wire ? wire : frame); }
};

inline constexpr FrameVector frameVectors[] = {
    {"poll 1", false, 1, 0x82, "00", "B6 49 16 01 00 02 82 00 2E E6", nullptr},
    {"poll 182, address low byte 0xB6", false, 182, 0x82, "00", "B6 49 16 B6 00 02 82 00 76 88",
     "B6 49 16 B6 00 00 02 82 00 76 88"},
    {"poll 46592, address high byte 0xB6", false, 46592, 0x82, "00", "B6 49 16 00 B6 02 82 00 6C C7",
     "B6 49 16 00 B6 00 02 82 00 6C C7"},
    {"poll 47545, a request leaves 0xB9", false, 47545, 0x82, "00", "B6 49 16 B9 B9 02 82 00 75 7A", nullptr},
    {"poll 38, checksum ends in 0xB6", false, 38, 0x82, "00", "B6 49 16 26 00 02 82 00 63 B6",
     "B6 49 16 26 00 02 82 00 63 B6 00"},
    {"set dc m0 100", false, 1, 0xC2, "64 00", "B6 49 16 01 00 03 C2 64 00 62 D0", nullptr},
    {"set dc m0 12", false, 1, 0xC2, "0C 00", "B6 49 16 01 00 03 C2 0C 00 F7 7B", nullptr},
    {"set dc m1 1.25 2.5", false, 2001, 0xC1, "00 00 A0 3F 00 00 20 40",
     "B6 49 16 D1 07 09 C1 00 00 A0 3F 00 00 20 40 29 41", nullptr},
    {"status m0 1001, loop 1 tripped", true, 1001, 0x07, "80 78 00 23 00",
     "B9 46 16 E9 03 06 07 80 78 00 23 00 06 08", nullptr},
    {"status m0 32, 0xB6 and 0xB9 in values and checksum", true, 32, 0x07, "00 B6 00 B9 00",
     "B9 46 16 20 00 06 07 00 B6 00 B9 00 B6 69", "B9 46 16 20 00 06 07 00 B6 00 00 B9 00 00 B6 00 69"},
    {"status m1 2001, 0xB9 in a value", true, 2001, 0x02, "00 0000C03F 0000C03F 0000B93F 9A99993E",
     "B9 46 16 D1 07 12 02 00 0000C03F 0000C03F 0000B93F 9A99993E 99 AB",
     "B9 46 16 D1 07 12 02 00 0000C03F 0000C03F 0000B9 00 3F 9A99993E 99 AB"},
    {"ack 1001", true, 1001, 0x41, "", "B9 46 16 E9 03 01 41 45 6C", nullptr},
    {"ack 2001", true, 2001, 0x41, "", "B9 46 16 D1 07 01 41 0E A6", nullptr},
    {"ack 47542, both address bytes stuffed", true, 47542, 0x41, "", "B9 46 16 B6 B9 01 41 92 F2",
     "B9 46 16 B6 00 B9 00 01 41 92 F2"},
    {"ack 240, checksum ends in 0xB9", true, 240, 0x41, "", "B9 46 16 F0 00 01 41 E3 B9",
     "B9 46 16 F0 00 01 41 E3 B9 00"},
};

inline const FrameVector &frameVector(QByteArrayView name)
{
    for (const FrameVector &vector : frameVectors) {
        if (name == QByteArrayView(vector.name))
            return vector;
    }
    qFatal("no frame vector named %s", name.data());
}

// One row per vector for a test's _data function.
inline void addFrameVectorRows()
{
    QTest::addColumn<bool>("reply");
    QTest::addColumn<int>("sync");
    QTest::addColumn<int>("mark");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("stuffed");
    for (const FrameVector &v : frameVectors)
        QTest::newRow(v.name) << v.reply << int(v.sync()) << int(v.mark()) << int(v.address) << int(v.code)
                              << v.dataBytes() << v.frameBytes() << v.wireBytes();
}

} // namespace dorvan::test
