#pragma once

// A sensor line on fakes for the link tests: the link with its grids,
// captions, event log and alarm list, a fake port, a fake clock.

#include "consolerig.h"
#include "contextrig.h"

#include "link/link.h"

#include <QByteArray>
#include <QStringList>

#include <cstring>
#include <memory>

namespace dorvan::test {

struct LinkRig : ContextRig
{
    FakeSerialLine line;
    FakeAlarmSound sound;
    SensorTable table;
    PortChoice port;
    TextGridModel sensorGrid{SensorColumnCount, SlotCount + 1};
    TextGridModel comGrid{DiagnosticsColumnCount, SlotCount + 1};
    Captions captions;
    EventLog events{ctx};
    AlarmList alarms{ctx, sound};
    SensorGridRows rows{sensorGrid};
    ConsoleEvents eventSink{events, alarms};
    Link link{ctx, table, port, rows, comGrid, captions, eventSink, line};

    LinkRig() { alarms.FormCreate(); }

    // A sensor as the connect dialog leaves it: no link, both loops "Тревога".
    SensorRecord &connect(int slot, quint32 address, qint16 model)
    {
        table.Occupy_slot(slot, address, model, 0, clock.nowDays());
        link.statistics().showConnectedSlotStats(slot);
        return table[slot];
    }
    // A sensor whose link is up and whose state is normal.
    SensorRecord &linked(int slot, quint32 address, qint16 model)
    {
        SensorRecord &r = connect(slot, address, model);
        r.linkUp = 1;
        r.state = 0;
        r.alarm1 = r.alarm2 = 0;
        return r;
    }
    bool open() { return link.Open_port(port.portNumber()) == 1; }
    // A second link on the rig's table and grids over another line.
    std::unique_ptr<Link> linkOn(SerialLine &other)
    {
        return std::make_unique<Link>(ctx, table, port, rows, comGrid, captions, eventSink, other);
    }

    // One Timer1 tick; returns what went on the line.
    QByteArray tick()
    {
        line.written.clear();
        link.Timer1Timer();
        return line.written;
    }
    // Bytes arrive and the receiver timer drains them.
    void receive(const QByteArray &bytes)
    {
        line.feed(bytes);
        link.TimerRvTimer();
    }
    // Polls the next slot and answers with the frame.
    void pollAndAnswer(const QByteArray &reply)
    {
        tick();
        receive(reply);
    }

    int eventCount() const { return events.eventListRows(); }
    QStringList eventTexts() const { return listedEventTexts(events); }
    QString lastEvent()
    {
        const QStringList texts = eventTexts();
        return texts.isEmpty() ? QString() : texts.last();
    }
    QString sensorCell(SensorColumn column, int slot) const { return rows.text(slot, column); }
    QString comCell(DiagnosticsColumn column, int slot) const { return comGrid.cell(int(column), slot + 1); }
    quint32 rowColour(int slot) const { return sensorGrid.rowBackground(slot + 1); }
};

// A reply as a sensor sends it: built, checksummed and stuffed.
inline QByteArray reply(quint16 address, quint8 code, const QByteArray &data)
{
    return stuffReply(buildFrame(Frame::RPL_SYNC, Frame::RPL_MARK, Frame::NET_CODE, address, code,
                                 data));
}

inline QByteArray le16(quint16 value)
{
    QByteArray bytes;
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
    return bytes;
}

inline QByteArray single(float value)
{
    QByteArray bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

inline QByteArray statusM0(quint16 address, quint8 status, quint16 threshold = 0,
                           quint16 signal = 0)
{
    return reply(address, Frame::RPL_STATUS_M0,
                 QByteArray(1, char(status)) + le16(threshold) + le16(signal));
}

inline QByteArray statusM1(quint16 address, quint8 status, float threshold1 = 0,
                           float threshold2 = 0, float signal1 = 0, float signal2 = 0)
{
    return reply(address, Frame::RPL_STATUS_M1,
                 QByteArray(1, char(status)) + single(threshold1) + single(threshold2)
                     + single(signal1) + single(signal2));
}

inline QByteArray ack(quint16 address)
{
    return reply(address, Frame::RPL_ACK, QByteArray());
}

} // namespace dorvan::test
