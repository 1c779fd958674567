#include "link/decoder.h"

#include "link/frames.h"

#include "base/russian.h"
#include "events/eventcatalog.h"

#include <cstring>
#include <utility>

namespace dorvan {

namespace {

constexpr int CodeIndex = 6;
constexpr int StatusIndex = 7;

// The smallest length byte of a frame that carries each field: the decoder
// reads the fields at fixed offsets, and a shorter frame would hand it its
// own checksum or bytes of an older frame as sensor values.
constexpr int StatusLength = 2;
constexpr int Model0ValuesLength = 6;
constexpr int Model1ValuesLength = 18;

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

SensorChanges changesBetween(const SensorRecord &before, const SensorRecord &after)
{
    SensorChanges what;
    if (before.state != after.state || before.alarm1 != after.alarm1 || before.alarm2 != after.alarm2)
        what |= SensorChange::State;
    if (before.threshold1 != after.threshold1 || before.threshold2 != after.threshold2
        || before.signal1 != after.signal1 || before.signal2 != after.signal2
        || before.signalM0a != after.signalM0a || before.signalM0b != after.signalM0b)
        what |= SensorChange::Values;
    return what;
}

} // namespace

Decoder::Decoder(SensorTable &table, SensorRows &rows, EventSink &events, Clock &clock)
    : table_(table), rows_(rows), events_(events), clock_(clock)
{
}

quint32 Decoder::normalColour(int slot) const
{
    const SensorRecord &r = table_[slot];
    return (r.armed1 == 0 && r.armed2 == 0) ? Colour::Aqua : Colour::Lime;
}

EventRecord Decoder::logEvent(int slot, quint8 code, int loop)
{
    const SensorRecord &r = table_[slot];
    const QString text = eventText(code, {loop, r.model, r.address});
    const EventRecord record = EventRecord::make(qint32(r.address), clock_.nowDays(), code, text);
    events_.log(record, r.model);
    return record;
}

bool Decoder::Decode_reply(int slot, const ReplyFrame &frame)
{
    if (!SensorTable::validSlot(slot))
        return false;
    const quint8 code = frame.bytes[CodeIndex];
    if (code == Frame::RPL_ACK) {
        table_[slot].pendingRequest = Request::Poll;
        return false;
    }
    if (code != Frame::RPL_STATUS_M1 && code != Frame::RPL_STATUS_M0)
        return false;
    if (frame.length < StatusLength)
        return false;
    const quint8 status = frame.bytes[StatusIndex];
    const bool firstAfterRestore = std::exchange(awaitingFirstStatus_[size_t(slot)], false);
    const SensorRecord before = table_[slot];
    decodeStatus(slot, status);
    decodeLoop(slot, 1, status & 0x80, firstAfterRestore);
    decodeLoop(slot, 2, status & 0x40, firstAfterRestore);
    const bool withValues = decodeValues(slot, frame);
    if (const SensorChanges what = changesBetween(before, table_[slot]))
        table_.noteChanged(slot, what);
    return withValues;
}

void Decoder::decodeStatus(int slot, quint8 status)
{
    const qint32 code = status & 0x3F;
    SensorRecord &r = table_[slot];
    if (r.state == code)
        return;
    if (code == SensorState::Normal) {
        decodeNormalStatus(slot, status);
    } else if (isFaultEvent(code)) {
        decodeFault(slot, code);
    } else {
        // An unknown code is kept whole, loop bits included.
        r.state = status;
        rows_.show(slot, SensorColumn::State, QString());
    }
}

void Decoder::decodeNormalStatus(int slot, quint8 status)
{
    SensorRecord &r = table_[slot];
    if (status & 0xC0) {
        // The loops speak for themselves in steps 2 and 3; the state code is
        // left as it was.
        if (rows_.colour(slot) != Colour::AlarmRed) {
            rows_.setColour(slot, Colour::AlarmRed);
            const int loop = (status & 0x80) ? 1 : 2;
            (loop == 1 ? r.alarm1 : r.alarm2) = 1;
            rows_.showLoopAlarm(slot, loop, 1);
        }
        rows_.show(slot, SensorColumn::State, stateText(SensorState::Normal));
        return;
    }
    r.state = SensorState::Normal;
    rows_.setColour(slot, normalColour(slot));
    rows_.show(slot, SensorColumn::State, stateText(SensorState::Normal));
    logEvent(slot, EventCode::BackToNormal);
}

void Decoder::decodeFault(int slot, qint32 code)
{
    SensorRecord &r = table_[slot];
    rows_.setColour(slot, Colour::AlarmRed);
    r.state = code;
    rows_.show(slot, SensorColumn::State, stateText(code));
    const EventRecord record = logEvent(slot, quint8(code));
    // A fault of one loop's element raises the alarm only while that loop is armed.
    const int guardLoop = fixedLoopOf(code);
    const bool raise = guardLoop == 0 || (guardLoop == 1 && r.armed1 == 1)
                       || (guardLoop == 2 && r.armed2 == 1);
    if (raise)
        events_.raiseAlarm(record);
}

// A link loss shows both loops in alarm without logging a trip; a loop that
// tripped while the sensor was away is logged and raised by the first status
// that reports it once the link is back.
void Decoder::decodeLoop(int slot, int loop, bool tripped, bool firstAfterRestore)
{
    SensorRecord &r = table_[slot];
    quint8 &alarm = loop == 1 ? r.alarm1 : r.alarm2;
    const bool armed = (loop == 1 ? r.armed1 : r.armed2) == 1;
    if (!tripped) {
        if (alarm == 0)
            return;
        if (r.state == SensorState::Normal)
            rows_.setColour(slot, normalColour(slot));
        alarm = 0;
        rows_.showLoopAlarm(slot, loop, 0);
        if (armed)
            logEvent(slot, EventCode::BackToNormal, loop);
        return;
    }
    rows_.setColour(slot, Colour::AlarmRed);
    if (alarm == 1 && !firstAfterRestore)
        return;
    alarm = 1;
    rows_.showLoopAlarm(slot, loop, 1);
    if (armed)
        events_.raiseAlarm(logEvent(slot, EventCode::Tripped, loop));
}

bool Decoder::decodeValues(int slot, const ReplyFrame &frame)
{
    const int model = table_[slot].model;
    const quint8 code = frame.bytes[CodeIndex];
    if (code == Frame::RPL_STATUS_M1 && model == 1 && frame.length >= Model1ValuesLength)
        decodeModel1Values(slot, frame);
    else if (code == Frame::RPL_STATUS_M0 && model == 0 && frame.length >= Model0ValuesLength)
        decodeModel0Values(slot, frame);
    else
        return false;
    return true;
}

void Decoder::decodeModel1Values(int slot, const ReplyFrame &frame)
{
    SensorRecord &r = table_[slot];
    struct Value
    {
        int offset;
        float &field;
        SensorColumn column;
    };
    const Value values[] = {{8, r.threshold1, SensorColumn::Threshold1},
                            {12, r.threshold2, SensorColumn::Threshold2},
                            {16, r.signal1, SensorColumn::Signal1},
                            {20, r.signal2, SensorColumn::Signal2}};
    for (const Value &value : values) {
        const float received = singleAt(&frame.bytes[size_t(value.offset)]);
        if (received == value.field)
            continue;
        value.field = received;
        rows_.show(slot, value.column, ru::fixed3(received));
    }
}

void Decoder::decodeModel0Values(int slot, const ReplyFrame &frame)
{
    SensorRecord &r = table_[slot];
    const quint16 threshold = wordAt(&frame.bytes[8]);
    if (float(threshold) != r.threshold1) {
        r.threshold1 = r.threshold2 = threshold;
        rows_.show(slot, SensorColumn::Threshold1, QString::number(threshold));
        rows_.show(slot, SensorColumn::Threshold2, QString::number(threshold));
    }
    const quint16 signal = wordAt(&frame.bytes[10]);
    r.signalM0a = r.signalM0b = signal;
    rows_.show(slot, SensorColumn::Signal1, QString::number(signal));
    rows_.show(slot, SensorColumn::Signal2, QString::number(signal));
}

void Decoder::restoreLink(int slot)
{
    SensorRecord &r = table_[slot];
    r.linkUp = 1;
    awaitingFirstStatus_[size_t(slot)] = true;
    logEvent(slot, EventCode::LinkRestored);
    // The sensor may have lost its DC component while it was away. DC
    // components lost with a damaged file are not sent: the sensor keeps its
    // own until the operator sets them.
    table_.noteChanged(slot, SensorChange::Link);
    if (table_.storedRecord[size_t(slot)] == StoredRecord::Damaged)
        return;
    if (r.model == 0)
        r.pendingRequest = Request::SetDcModel0;
    else if (r.model == 1)
        r.pendingRequest = Request::SetDcModel1;
}

void Decoder::loseLink(int slot, bool announced)
{
    SensorRecord &r = table_[slot];
    r.linkUp = 0;
    if (announced) {
        rows_.show(slot, SensorColumn::State, QStringLiteral("Нет связи"));
        r.state = SensorState::NoLink;
        const EventRecord record = logEvent(slot, EventCode::NoLink);
        if (r.armed1 == 1 || r.armed2 == 1)
            events_.raiseAlarm(record);
    }
    table_.missedReplies[size_t(slot)] = 0;
    rows_.setColour(slot, Colour::DarkRed);
    // A lost link shows both loops in alarm.
    for (int loop : {1, 2}) {
        quint8 &alarm = loop == 1 ? r.alarm1 : r.alarm2;
        if (alarm != 1) {
            alarm = 1;
            rows_.showLoopAlarm(slot, loop, 1);
        }
    }
    table_.noteChanged(slot, SensorChange::Link | SensorChange::State);
}

} // namespace dorvan
