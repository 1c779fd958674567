#pragma once

#include "base/clock.h"
#include "events/eventsink.h"
#include "link/receiver.h"
#include "sensors/sensorrows.h"
#include "sensors/sensortable.h"

#include <array>

namespace dorvan {

// What the replies of a sensor mean: the decoder changes the sensor table,
// logs events and raises alarms through the sink, and paints the sensor's
// row. It also carries out the loss and return of a sensor's link.
class Decoder
{
public:
    Decoder(SensorTable &table, SensorRows &rows, EventSink &events, Clock &clock);

    // Acts on an accepted frame from the slot's sensor; returns whether it
    // carried the sensor's values (a sample for the signal trends).
    bool Decode_reply(int slot, const ReplyFrame &frame);

    // The first good frame after a loss. The statistics show the link first.
    void restoreLink(int slot);
    // The link is lost; only a loss that was announced as up is logged.
    void loseLink(int slot, bool announced);

private:
    void decodeStatus(int slot, quint8 status);
    void decodeNormalStatus(int slot, quint8 status);
    void decodeFault(int slot, qint32 code);
    void decodeLoop(int slot, int loop, bool tripped, bool firstAfterRestore);
    bool decodeValues(int slot, const ReplyFrame &frame);
    void decodeModel1Values(int slot, const ReplyFrame &frame);
    void decodeModel0Values(int slot, const ReplyFrame &frame);
    quint32 normalColour(int slot) const;
    // Logs the catalog's text of the code; a loop's event names its loop.
    EventRecord logEvent(int slot, quint8 code, int loop = 0);

    SensorTable &table_;
    SensorRows &rows_;
    EventSink &events_;
    Clock &clock_;
    // Set when a link comes back, cleared by the next status reply.
    std::array<bool, SlotCount> awaitingFirstStatus_{};
};

} // namespace dorvan
