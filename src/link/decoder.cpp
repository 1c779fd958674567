#include "link/link.h"

#include "base/russian.h"

#include <cstring>
#include <utility>

namespace dorvan {

namespace {

constexpr int CodeIndex = 6;
constexpr int StatusIndex = 7;
constexpr int StateColumn = 9;

// The smallest length byte of a frame that carries each field: the decoder
// reads the fields at fixed offsets, and a shorter frame would hand it its
// own checksum or bytes of an older frame as sensor values.
constexpr int StatusLength = 2;
constexpr int Model0ValuesLength = 6;
constexpr int Model1ValuesLength = 18;

int loopColumn(int loop)
{
    return loop == 1 ? 3 : 4;
}

struct FaultText
{
    qint32 code;
    const char16_t *event;
    int guardLoop; // the loop whose arming raises the alarm window; 0 = always
};

// The event texts name one model whatever the model of the reporting sensor;
// only the EEPROM error names the sensor's own.
constexpr FaultText faultTexts[] = {
    {2, u"Сопротивление изоляции первого чувствительного элемента датчика <Дорван-302ДК> № %1 ниже нормы", 1},
    {3, u"Сопротивление изоляции второго чувствительного элемента датчика <Дорван-302ДК> № %1 ниже нормы", 2},
    {4, u"Обрыв чувствительного элемента первого фланга датчика <Дорван-302ДК> № %1", 1},
    {5, u"Обрыв чувствительного элемента второго фланга датчика <Дорван-302ДК> № %1", 2},
    {7, u"Недопустимый разбаланс флангов датчика <Дорван-301ДК> № %1. Ёмкость 1 фл. больше ёмкости 2", 1},
    {8, u"Недопустимый разбаланс флангов датчика <Дорван-301ДК> № %1. Ёмкость 2 фл. больше ёмкости 1", 2},
    {9, u"Ошибка ППЗУ датчика <%2> № %1", 0},
    {10, u"Сопротивление изоляции первого ЧЭ датчика <Дорван-302ДК> № %1 ниже нормы. Обрыв первого ЧЭ", 1},
    {11, u"Сопротивление изоляции второго ЧЭ датчика <Дорван-302ДК> № %1 ниже нормы. Обрыв второго ЧЭ", 2},
};

const FaultText *findFault(qint32 code)
{
    for (const FaultText &fault : faultTexts) {
        if (fault.code == code)
            return &fault;
    }
    return nullptr;
}

float singleAt(const quint8 *bytes)
{
    float value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

quint16 wordAt(const quint8 *bytes)
{
    return quint16(bytes[0] | bytes[1] << 8);
}

} // namespace

quint32 Link::rowColour(int slot) const
{
    return sensorGrid_.rowBackground(slot + 1);
}

bool Link::setRowColour(int slot, quint32 colour)
{
    // The grid model repaints the row when the colour changes.
    return sensorGrid_.setRowBackground(slot + 1, colour);
}

quint32 Link::normalColour(int slot) const
{
    const SensorRecord &r = table_[slot];
    return (r.armed1 == 0 && r.armed2 == 0) ? Colour::Aqua : Colour::Lime;
}

EventRecord Link::logEvent(int slot, quint8 code, const QString &text)
{
    const SensorRecord &r = table_[slot];
    const EventRecord record =
        EventRecord::make(qint32(r.address), context_.clock.nowDays(), code, text);
    events_.Put_msg(record, r.model);
    return record;
}

void Link::raiseAlarm(const EventRecord &record)
{
    // The alarm list asks for its window through alarmAdded.
    alarms_.Add_alarm(record);
}

void Link::Decode_reply(int slot, const ReplyFrame &frame)
{
    if (!SensorTable::validSlot(slot))
        return;
    const quint8 code = frame.bytes[CodeIndex];
    if (code == Frame::RPL_ACK) {
        table_[slot].pendingRequest = Request::Poll;
        return;
    }
    if (code != Frame::RPL_STATUS_M1 && code != Frame::RPL_STATUS_M0)
        return;
    if (frame.length < StatusLength)
        return;
    const quint8 status = frame.bytes[StatusIndex];
    const bool firstAfterRestore = std::exchange(awaitingFirstStatus_[size_t(slot)], false);
    decodeStatus(slot, status);
    decodeLoop(slot, 1, status & 0x80, firstAfterRestore);
    decodeLoop(slot, 2, status & 0x40, firstAfterRestore);
    decodeValues(slot, frame);
}

void Link::decodeStatus(int slot, quint8 status)
{
    const qint32 code = status & 0x3F;
    SensorRecord &r = table_[slot];
    if (r.state == code)
        return;
    if (code == SensorState::Normal) {
        decodeNormalStatus(slot, status);
    } else if (findFault(code)) {
        decodeFault(slot, code);
    } else {
        // An unknown code is kept whole, loop bits included.
        r.state = status;
        sensorGrid_.setCell(StateColumn, slot + 1, QString());
    }
}

void Link::decodeNormalStatus(int slot, quint8 status)
{
    SensorRecord &r = table_[slot];
    const int row = slot + 1;
    if (status & 0xC0) {
        // The loops speak for themselves in steps 2 and 3; the state code is
        // left as it was.
        if (rowColour(slot) != Colour::AlarmRed) {
            setRowColour(slot, Colour::AlarmRed);
            const int loop = (status & 0x80) ? 1 : 2;
            (loop == 1 ? r.alarm1 : r.alarm2) = 1;
            sensorGrid_.setCell(loopColumn(loop), row, alarmText(1));
        }
        sensorGrid_.setCell(StateColumn, row, stateText(SensorState::Normal));
        return;
    }
    r.state = SensorState::Normal;
    setRowColour(slot, normalColour(slot));
    sensorGrid_.setCell(StateColumn, row, stateText(SensorState::Normal));
    logEvent(slot, EventCode::BackToNormal,
             QStringLiteral("Возврат в дежурное состояние датчика <%1> № %2")
                 .arg(modelName(r.model))
                 .arg(r.address));
}

void Link::decodeFault(int slot, qint32 code)
{
    SensorRecord &r = table_[slot];
    const FaultText *fault = findFault(code);
    setRowColour(slot, Colour::AlarmRed);
    r.state = code;
    sensorGrid_.setCell(StateColumn, slot + 1, stateText(code));
    QString text = QString::fromUtf16(fault->event).arg(r.address);
    if (fault->guardLoop == 0)
        text = text.arg(modelName(r.model));
    const EventRecord record = logEvent(slot, quint8(code), text);
    const bool raise = fault->guardLoop == 0 || (fault->guardLoop == 1 && r.armed1 == 1)
                       || (fault->guardLoop == 2 && r.armed2 == 1);
    if (raise)
        raiseAlarm(record);
}

// A link loss shows both loops in alarm without logging a trip; a loop that
// tripped while the sensor was away is logged and raised by the first status
// that reports it once the link is back.
void Link::decodeLoop(int slot, int loop, bool tripped, bool firstAfterRestore)
{
    SensorRecord &r = table_[slot];
    quint8 &alarm = loop == 1 ? r.alarm1 : r.alarm2;
    const bool armed = (loop == 1 ? r.armed1 : r.armed2) == 1;
    const int row = slot + 1;
    if (!tripped) {
        if (alarm == 0)
            return;
        if (r.state == SensorState::Normal)
            setRowColour(slot, normalColour(slot));
        alarm = 0;
        sensorGrid_.setCell(loopColumn(loop), row, alarmText(0));
        if (armed)
            logEvent(slot, EventCode::BackToNormal,
                     QStringLiteral("Возврат в норму %1 шлейфа датчика <%2> № %3")
                         .arg(loop)
                         .arg(modelName(r.model))
                         .arg(r.address));
        return;
    }
    setRowColour(slot, Colour::AlarmRed);
    if (alarm == 1 && !firstAfterRestore)
        return;
    alarm = 1;
    sensorGrid_.setCell(loopColumn(loop), row, alarmText(1));
    if (armed)
        raiseAlarm(logEvent(slot, EventCode::Tripped,
                            QStringLiteral("Срабатывание %1 шлейфа датчика <%2> № %3")
                                .arg(loop)
                                .arg(modelName(r.model))
                                .arg(r.address)));
}

void Link::decodeValues(int slot, const ReplyFrame &frame)
{
    const int model = table_[slot].model;
    const quint8 code = frame.bytes[CodeIndex];
    if (code == Frame::RPL_STATUS_M1 && model == 1 && frame.length >= Model1ValuesLength)
        decodeModel1Values(slot, frame);
    else if (code == Frame::RPL_STATUS_M0 && model == 0 && frame.length >= Model0ValuesLength)
        decodeModel0Values(slot, frame);
    else
        return;
    recordTrend(slot, false);
}

void Link::decodeModel1Values(int slot, const ReplyFrame &frame)
{
    SensorRecord &r = table_[slot];
    struct Value
    {
        int offset;
        float &field;
        int column;
    };
    const Value values[] = {{8, r.threshold1, 5}, {12, r.threshold2, 7}, {16, r.signal1, 6},
                            {20, r.signal2, 8}};
    for (const Value &value : values) {
        const float received = singleAt(&frame.bytes[size_t(value.offset)]);
        if (received == value.field)
            continue;
        value.field = received;
        sensorGrid_.setCell(value.column, slot + 1, ru::fixed3(received));
    }
}

void Link::decodeModel0Values(int slot, const ReplyFrame &frame)
{
    SensorRecord &r = table_[slot];
    const int row = slot + 1;
    const quint16 threshold = wordAt(&frame.bytes[8]);
    if (float(threshold) != r.threshold1) {
        r.threshold1 = r.threshold2 = threshold;
        sensorGrid_.setCell(5, row, QString::number(threshold));
        sensorGrid_.setCell(7, row, QString::number(threshold));
    }
    const quint16 signal = wordAt(&frame.bytes[10]);
    r.signalM0a = r.signalM0b = signal;
    sensorGrid_.setCell(6, row, QString::number(signal));
    sensorGrid_.setCell(8, row, QString::number(signal));
}

} // namespace dorvan
