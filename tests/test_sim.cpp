// The simulator's side of the line protocol: it must read exactly what the
// console sends and answer in the form the console's receiver expects, or
// every end-to-end result built on it is worthless.

#include "demofiles.h"
#include "simcommands.h"
#include "simframes.h"
#include "simprotocol.h"

#include "base/cp1251.h"
#include "framevectors.h"
#include "link/frames.h"
#include "workdir.h"

#include <QFile>
#include <QTest>

#include <cstring>

using namespace dorvan;
using namespace dorvan::sim;

namespace {

QByteArray hex(const char *text)
{
    return test::hexBytes(text);
}

QByteArray requestWire(quint16 address, quint8 code, const QByteArray &data)
{
    return wire::stuffRequest(wire::frame(wire::REQ_SYNC, wire::REQ_MARK, wire::NET_CODE, address, code, data));
}

Request request(quint16 address, quint8 code, const QByteArray &data)
{
    RequestParser parser;
    return parser.feed(requestWire(address, code, data)).value(0);
}

Request poll(quint16 address)
{
    return request(address, wire::CMD_POLL, QByteArray(1, '\0'));
}

QByteArray vectorWire(const char *name)
{
    return test::frameVector(name).wireBytes();
}

QByteArray floats(float a, float b)
{
    QByteArray bytes(8, '\0');
    std::memcpy(bytes.data(), &a, 4);
    std::memcpy(bytes.data() + 4, &b, 4);
    return bytes;
}

SensorLine lineWith(std::initializer_list<SimSensor> sensors)
{
    SensorLine line;
    for (const SimSensor &sensor : sensors)
        line.add(sensor);
    return line;
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    // The simulator's own framing against the table the console's is checked against.
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
        QCOMPARE(wire::crc16(test::crcCheckText), test::crcCheckValue);
        const QByteArray built = wire::frame(quint8(sync), quint8(mark), wire::NET_CODE, quint16(address),
                                             quint8(code), data);
        QCOMPARE(built.toHex(' '), frame.toHex(' '));
        QVERIFY(wire::checksumRight(frame));
        QCOMPARE((reply ? wire::stuffReply(frame) : wire::stuffRequest(frame)).toHex(' '), stuffed.toHex(' '));
        if (reply)
            QCOMPARE(wire::unstuffReply(stuffed).toHex(' '), frame.toHex(' '));
    }

    void parsesRequestsFromTheLine_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("crcOk");
        QTest::addColumn<int>("wireBytes");
        for (const test::FrameVector &v : test::frameVectors) {
            if (!v.reply)
                QTest::newRow(v.name) << v.wireBytes() << int(v.address) << int(v.code) << v.dataBytes() << true
                                      << int(v.wireBytes().size());
        }
        const QByteArray poll1 = vectorWire("poll 1");
        QTest::newRow("noise before") << hex("00 FF B6 12 49") + poll1 << 1 << 0x82 << hex("00") << true << 10;
        QTest::newRow("frame cut short by the next") << hex("B6 49 16 05") + poll1 << 1 << 0x82 << hex("00") << true
                                                     << 10;
        QByteArray spoilt = poll1;
        spoilt[9] = char(spoilt[9] ^ 1);
        QTest::newRow("wrong checksum") << spoilt << 1 << 0x82 << hex("00") << false << 10;
    }
    void parsesRequestsFromTheLine()
    {
        QFETCH(QByteArray, wire);
        for (const bool byteByByte : {false, true}) {
            RequestParser parser;
            QList<Request> got;
            if (byteByByte) {
                for (char byte : wire)
                    got += parser.feed(QByteArrayView(&byte, 1));
            } else {
                got = parser.feed(wire);
            }
            QCOMPARE(got.size(), 1);
            QTEST(int(got[0].address), "address");
            QTEST(int(got[0].code), "code");
            QTEST(got[0].data, "data");
            QTEST(got[0].crcOk, "crcOk");
            QTEST(got[0].wireBytes, "wireBytes");
        }
    }

    // Every request the console can build, stuffed wherever an address,
    // value or checksum byte happens to be 0xB6, reads back unchanged.
    void readsEveryRequestTheConsoleBuilds()
    {
        RequestParser parser;
        int frames = 0;
        for (quint32 address = 1; address <= 65535; address += 37) {
            for (qint16 pending : {qint16(130), qint16(194), qint16(193)}) {
                SensorRecord slot;
                slot.address = address;
                slot.pendingRequest = pending;
                slot.thresholdDc1 = float(address % 1000);
                slot.thresholdDc2 = -2.75f;
                RequestBuffer buffer;
                const int length = Build_request(slot, buffer);
                const QList<Request> got = parser.feed(QByteArrayView(buffer.bytes.data(), length));
                QCOMPARE(got.size(), 1);
                QCOMPARE(got[0].address, quint16(address));
                QVERIFY(got[0].crcOk);
                QCOMPARE(got[0].wireBytes, length);
                QCOMPARE(got[0].data, unstuffedRequest(slot).mid(7, got[0].data.size()));
                ++frames;
            }
        }
        QVERIFY(frames > 5000);
    }

    void answersPollsInTheFormOfItsModel_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("model 0, loop 1 tripped")
            << 1001 << 0 << "trip 1001 1" << vectorWire("status m0 1001, loop 1 tripped");
        // 1.4453125 is 00 00 B9 3F: the 0xB9 inside the value is stuffed.
        QTest::newRow("model 1, 0xB9 in a value")
            << 2001 << 1 << "value 2001 sig1 1.4453125" << vectorWire("status m1 2001, 0xB9 in a value");
    }
    void answersPollsInTheFormOfItsModel()
    {
        QFETCH(int, address);
        QFETCH(int, model);
        QFETCH(QString, command);
        SensorLine line = lineWith({SimSensor::make(quint16(address), model)});
        QVERIFY(CommandInterpreter(line).execute(command).ok);
        const QByteArray wire = line.answer(poll(quint16(address))).wire;
        QTEST(wire, "expected");
        const QByteArray frame = wire::unstuffReply(wire);
        QCOMPARE(frame.size(), quint8(frame[5]) + 8);
        QVERIFY(wire::checksumRight(frame));
    }

    void acknowledgesSetRequestsAndKeepsTheValues()
    {
        SensorLine line = lineWith({SimSensor::make(1001, 0), SimSensor::make(2001, 1)});
        QCOMPARE(line.answer(request(1001, wire::CMD_SET_DC_M0, hex("64 00"))).wire, vectorWire("ack 1001"));
        QCOMPARE(line.find(1001)->dc1, 100.f);
        QVERIFY(line.find(1001)->dcReceived);

        QCOMPARE(line.answer(request(2001, wire::CMD_SET_DC_M1, floats(1.25f, 2.5f))).wire, vectorWire("ack 2001"));
        QCOMPARE(line.find(2001)->dc1, 1.25f);
        QCOMPARE(line.find(2001)->dc2, 2.5f);
        QCOMPARE(line.find(2001)->setRequests, 1);
    }

    void signalsMoveAndThresholdsFollowTheDc_data()
    {
        // Commands at t = 0, then polls at the given seconds; the signal of
        // loop 1 and 2 at the last poll must lie within [low, high].
        QTest::addColumn<int>("model");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<double>("low1");
        QTest::addColumn<double>("high1");
        QTest::addColumn<double>("low2");
        QTest::addColumn<double>("high2");
        QTest::newRow("noise around a level") << 1 << QStringList{"signal 2001 1 0.8 0.1"} << 5 << 0.7 << 0.9
                                              << 0.3 << 0.3;
        QTest::newRow("ramp from where it stood") << 1 << QStringList{"ramp 2001 2 0.5"} << 120 << 0.25 << 0.25
                                                  << 1.29 << 1.31;
        QTest::newRow("burst, still on") << 1 << QStringList{"signal 2001 both 0.2", "burst 2001 1 4 10"} << 5
                                         << 2.2 << 4.2 << 0.2 << 0.2;
        QTest::newRow("burst, over") << 1 << QStringList{"signal 2001 both 0.2", "burst 2001 1 4 10"} << 11
                                     << 0.2 << 0.2 << 0.2 << 0.2;
        QTest::newRow("301: whole, never below 0, both loops one value")
            << 0 << QStringList{"signal 2001 1 10", "ramp 2001 1 -30"} << 60 << 0. << 0. << 0. << 0.;
        QTest::newRow("value stops the motion") << 1 << QStringList{"signal 2001 1 0.8 0.1", "value 2001 sig1 2"}
                                                << 5 << 2. << 2. << 0.3 << 0.3;
    }
    void signalsMoveAndThresholdsFollowTheDc()
    {
        QFETCH(int, model);
        QFETCH(QStringList, commands);
        QFETCH(int, seconds);
        SensorLine line = lineWith({SimSensor::make(2001, model)});
        qint64 now = 1000000;
        line.clockMs = [&now] { return now; };
        for (const QString &command : commands)
            QVERIFY2(CommandInterpreter(line).execute(command).ok, qPrintable(command));
        now += seconds * 1000;
        line.answer(poll(2001));
        const SimSensor &sensor = *line.find(2001);
        QFETCH(double, low1);
        QFETCH(double, high1);
        QFETCH(double, low2);
        QFETCH(double, high2);
        const auto within = [](float value, double low, double high) {
            return value >= low - 1e-6 && value <= high + 1e-6;
        };
        QVERIFY2(within(sensor.signal1, low1, high1), qPrintable(QString::number(sensor.signal1)));
        QVERIFY2(within(sensor.signal2, low2, high2), qPrintable(QString::number(sensor.signal2)));

        // The DC component sent becomes the threshold; a DC of 0 keeps the factory one.
        const float before = sensor.threshold2;
        if (model == 0) {
            line.answer(request(2001, wire::CMD_SET_DC_M0, hex("19 00")));
            QCOMPARE(sensor.threshold1, 25.f);
            QCOMPARE(sensor.threshold2, 25.f);
        } else {
            line.answer(request(2001, wire::CMD_SET_DC_M1, floats(1.25f, 0.f)));
            QCOMPARE(sensor.threshold1, 1.25f);
            QCOMPARE(sensor.threshold2, before);
        }
    }

    void staysSilentWhenASensorWouldNotAnswer_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("wire");
        const QByteArray goodPoll = requestWire(1001, wire::CMD_POLL, hex("00"));
        QByteArray badPoll = goodPoll;
        badPoll[badPoll.size() - 1] = char(badPoll[badPoll.size() - 1] ^ 1);
        QTest::newRow("wrong checksum") << QString() << badPoll;
        QTest::newRow("silent sensor") << "silent 1001" << goodPoll;
        QTest::newRow("unknown address") << "remove 1001" << goodPoll;
        QTest::newRow("set request of the other model")
            << QString() << requestWire(1001, wire::CMD_SET_DC_M1, floats(1, 2));
    }
    void staysSilentWhenASensorWouldNotAnswer()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, wire);
        SensorLine line = lineWith({SimSensor::make(1001, 0)});
        if (!command.isEmpty())
            QVERIFY(CommandInterpreter(line).execute(command).ok);
        RequestParser parser;
        const QList<Request> requests = parser.feed(wire);
        QCOMPARE(requests.size(), 1);
        QVERIFY(line.answer(requests[0]).wire.isEmpty());
        QCOMPARE(line.find(1001) ? line.find(1001)->dcReceived : false, false);
    }

    void answersAgainAfterSilence()
    {
        SensorLine line = lineWith({SimSensor::make(1001, 0)});
        CommandInterpreter commands(line);
        QVERIFY(commands.execute("silent 1001").ok);
        QVERIFY(line.answer(poll(1001)).wire.isEmpty());
        QVERIFY(commands.execute("answer all").ok);
        QVERIFY(!line.answer(poll(1001)).wire.isEmpty());
    }

    void lineFaultsSpoilOnlyTheNextReply()
    {
        SensorLine line = lineWith({SimSensor::make(1001, 0)});
        CommandInterpreter commands(line);
        const QByteArray clean = line.answer(poll(1001)).wire;

        QVERIFY(commands.execute("badcrc").ok);
        const QByteArray spoilt = wire::unstuffReply(line.answer(poll(1001)).wire);
        QCOMPARE(spoilt.size(), clean.size());
        QVERIFY(!wire::checksumRight(spoilt));
        QCOMPARE(line.answer(poll(1001)).wire, clean);

        QVERIFY(commands.execute("noise 40").ok);
        const QByteArray noisy = line.answer(poll(1001)).wire;
        QCOMPARE(noisy.size(), 40 + clean.size());
        QVERIFY(!noisy.first(40).contains(char(wire::RPL_SYNC)));
        QVERIFY(noisy.endsWith(clean));

        QVERIFY(commands.execute("foreign").ok);
        const QByteArray twoReplies = line.answer(poll(1001)).wire;
        QVERIFY(twoReplies.endsWith(clean));
        const QByteArray foreign = wire::unstuffReply(twoReplies.first(twoReplies.size() - clean.size()));
        QVERIFY(wire::checksumRight(foreign));
        const quint16 from = quint16(quint8(foreign[3]) | (quint8(foreign[4]) << 8));
        QVERIFY(from != 1001);
        QVERIFY(!line.find(from));
        QCOMPARE(line.answer(poll(1001)).wire, clean);
    }

    // A cut reply keeps its header (so the console waits for the rest) and
    // the counters tell exactly which replies went out whole.
    void dropCutsOnlyTheNextReplyShortAndIsCounted()
    {
        SensorLine line = lineWith({SimSensor::make(1001, 1)});
        CommandInterpreter commands(line);
        const QByteArray clean = line.answer(poll(1001)).wire;
        QVERIFY(commands.execute("drop 3").ok);
        const SensorLine::Answer cut = line.answer(poll(1001));
        QCOMPARE(cut.wire, clean.first(clean.size() - 3));
        QVERIFY(cut.note.endsWith(QLatin1String("+drop 3")));
        QVERIFY(commands.execute("drop 255").ok);
        QCOMPARE(line.answer(poll(1001)).wire, clean.first(6));
        QCOMPARE(line.answer(poll(1001)).wire, clean);
        QVERIFY(commands.execute("badcrc").ok);
        QVERIFY(commands.execute("noise 5").ok);
        QVERIFY(commands.execute("foreign").ok);
        QVERIFY(line.answer(poll(1001)).note.endsWith(QLatin1String("+badcrc +noise 5 +foreign")));
        const SimCounters &c = line.counters();
        QCOMPARE(c.requests, 5);
        QCOMPARE(c.polls, 5);
        QCOMPARE(c.replies, 5);
        QCOMPARE(c.cleanReplies, 2);
        QCOMPARE(c.drops, 2);
        QCOMPARE(c.badCrc, 1);
        QCOMPARE(c.noiseBytes, 5);
        QCOMPARE(c.foreignReplies, 1);
        QVERIFY(!commands.execute("drop 0").ok);
        QVERIFY(commands.execute("stats").output.startsWith(QLatin1String("sim-stats requests=5 polls=5 ")));
    }

    // Only real changes count: the soak compares them with the console's events.
    void countsStateChangesNotCommands()
    {
        SensorLine line = lineWith({SimSensor::make(1001, 0), SimSensor::make(1002, 0)});
        CommandInterpreter commands(line);
        for (const char *command : {"trip 1001 1", "trip 1001 1", "restore 1001 1", "restore 1001 2",
                                    "fault all 4", "fault 1001 4", "fault 1001 0", "silent 1002"})
            QVERIFY2(commands.execute(command).ok, command);
        for (int i = 0; i < 9; ++i)
            QVERIFY(line.answer(poll(1002)).wire.isEmpty());
        QVERIFY(commands.execute("answer 1002").ok);
        QVERIFY(commands.execute("silent 1002").ok);
        QVERIFY(line.answer(poll(1002)).wire.isEmpty());
        QVERIFY(commands.execute("answer all").ok);
        const SimCounters &c = line.counters();
        QCOMPARE(c.trips, 1);
        QCOMPARE(c.restores, 1);
        QCOMPARE(c.faults, 2);
        QCOMPARE(c.faultClears, 1);
        QCOMPARE(c.silences, 2);
        QCOMPARE(c.answers, 2);
        QCOMPARE(c.longSilences, 1); // the second, short spell is not another loss
        QCOMPARE(c.unanswered, 10);
    }

    void commandsChangeTheStatusByte_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("status");
        QTest::newRow("trip 1") << QStringList{"trip 1001 1"} << 0x80;
        QTest::newRow("trip 2 of all") << QStringList{"trip all 2"} << 0x40;
        QTest::newRow("trip and restore") << QStringList{"trip 1001 1", "trip 1001 2", "restore 1001 1"} << 0x40;
        QTest::newRow("eeprom with loop 2") << QStringList{"fault 1001 9", "trip 1001 2"} << 0x49;
        QTest::newRow("fault cleared") << QStringList{"fault 1001 4", "fault 1001 0"} << 0x00;
        QTest::newRow("comment only") << QStringList{"# trip 1001 1"} << 0x00;
    }
    void commandsChangeTheStatusByte()
    {
        QFETCH(QStringList, commands);
        SensorLine line = lineWith({SimSensor::make(1001, 1)});
        CommandInterpreter interpreter(line);
        for (const QString &command : commands)
            QVERIFY2(interpreter.execute(command).ok, qPrintable(command));
        const QByteArray frame = wire::unstuffReply(line.answer(poll(1001)).wire);
        QTEST(int(quint8(frame[7])), "status");
    }

    void refusesMalformedCommands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("unknown") << "bogus";
        QTest::newRow("loop 3") << "trip 1001 3";
        QTest::newRow("no such sensor") << "trip 999 1";
        QTest::newRow("address 0") << "silent 0";
        QTest::newRow("fault out of range") << "fault 1001 64";
        QTest::newRow("value name") << "value 1001 sig3 1";
        QTest::newRow("negative noise") << "noise -1";
        QTest::newRow("log maybe") << "log maybe";
        QTest::newRow("add twice") << "add 1001:0";
    }
    void refusesMalformedCommands()
    {
        QFETCH(QString, command);
        SensorLine line = lineWith({SimSensor::make(1001, 0)});
        const CommandResult result = CommandInterpreter(line).execute(command);
        QVERIFY(!result.ok);
        QVERIFY(!result.output.isEmpty());
        QCOMPARE(line.find(1001)->statusByte(), quint8(0));
    }

    void parsesSensorSpecs_data()
    {
        QTest::addColumn<QString>("sensorText");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("silent");
        QTest::newRow("one") << "1001:0" << 1 << 0 << 0 << false;
        QTest::newRow("range with flags") << "2001-2032:1:trip2,silent" << 32 << 1 << 0x40 << true;
        QTest::newRow("fault flag") << "7:1:fault=9,trip1" << 1 << 1 << 0x89 << false;
        QTest::newRow("no model") << "1001" << 0 << 0 << 0 << false;
        QTest::newRow("model 2") << "1001:2" << 0 << 0 << 0 << false;
        QTest::newRow("address 0") << "0:0" << 0 << 0 << 0 << false;
        QTest::newRow("address too big") << "65536:0" << 0 << 0 << 0 << false;
        QTest::newRow("reversed range") << "5-3:0" << 0 << 0 << 0 << false;
        QTest::newRow("unknown flag") << "5:0:armed" << 0 << 0 << 0 << false;
    }
    void parsesSensorSpecs()
    {
        QFETCH(QString, sensorText);
        QFETCH(int, count);
        QString error;
        const QList<SimSensor> sensors = parseSensorSpec(sensorText, &error);
        QCOMPARE(sensors.size(), count);
        QCOMPARE(error.isEmpty(), count > 0);
        if (count == 0)
            return;
        QTEST(sensors.last().model, "model");
        QTEST(int(sensors.last().statusByte()), "status");
        QTEST(sensors.last().silent, "silent");
        QCOMPARE(int(sensors.last().address - sensors.first().address), count - 1);
    }

    void writesADemoWorkDirTheConsoleCanLoad()
    {
        test::WorkDir dir(false);
        QString error;
        QVERIFY2(makeDemoWorkDir(dir.path(), QDateTime(QDate(2026, 12, 6), QTime(12, 0)), &error), qPrintable(error));

        QFile hw(dir.file("data/hw.dat"));
        QVERIFY(hw.open(QIODevice::ReadOnly));
        // It holds the password: its owner's alone, whatever the umask.
        QCOMPARE(hw.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadOwner
                                      | QFileDevice::WriteOwner),
                 QFileDevice::Permissions());
        const QByteArray settings = hw.readAll();
        QCOMPARE(settings.size(), 198);
        const QList<StoredSensor> sensors = demoSensors();
        QCOMPARE(sensors.size(), 4);
        for (int slot = 0; slot < 32; ++slot) {
            quint32 address;
            qint16 model;
            std::memcpy(&address, settings.constData() + 6 * slot, 4);
            std::memcpy(&model, settings.constData() + 6 * slot + 4, 2);
            QCOMPARE(address, slot < sensors.size() ? sensors[slot].address : 0u);
            QCOMPARE(model, slot < sensors.size() ? sensors[slot].model : qint16(0));
        }
        QCOMPARE(settings.mid(192, 6), hex("00 00 63 5E 07 00")); // COM1, password 482915

        for (int slot = 0; slot < sensors.size(); ++slot) {
            const QString dirName = sensors[slot].model == 0 ? "Dorvan301DK/" : "Dorvan302DK/";
            QFile file(dir.file(dirName + QString::number(sensors[slot].address)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QCOMPARE(bytes.size(), 232);
            SensorRecord record;
            std::memcpy(&record, bytes.constData(), sizeof record);
            QCOMPARE(record.recordMark, quint8(1));
            QCOMPARE(record.position, qint16(slot));
            QCOMPARE(record.state, 15);
            QCOMPARE(record.alarm1 + record.alarm2, 2);
            QCOMPARE(record.disconnectedBy, qint16(-1));
            QCOMPARE(record.armed1, quint8(sensors[slot].armed1));
            QCOMPARE(record.thresholdDc1, sensors[slot].dc1);
            QCOMPARE(record.connectedAt, 46362.5); // 06.12.2026 12:00
        }

        QFile chop(dir.file("data/chop.dat"));
        QVERIFY(chop.open(QIODevice::ReadOnly));
        const QByteArray op = chop.readAll();
        QCOMPARE(op.size(), 40);
        QCOMPARE(op.left(2), hex("01 00"));
        QCOMPARE(fromCp1251Field(op.constData() + 2, 38), QStringLiteral("Иванов"));
        for (const char *name : {"QReport", "Dorvan301DK_mess", "Dorvan302DK_mess", "ports"})
            QVERIFY(QFileInfo(dir.file(name)).isDir());
    }
};

QTEST_APPLESS_MAIN(TestSim)
#include "test_sim.moc"
