#include "simprotocol.h"

#include "simframes.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dorvan::sim {

namespace {

quint16 le16(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8));
}

float leFloat(const QByteArray &bytes, qsizetype at)
{
    float value = 0;
    std::memcpy(&value, bytes.constData() + at, sizeof value);
    return value;
}

void appendLe16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
}

void appendFloat(QByteArray &bytes, float value)
{
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.append(raw, sizeof value);
}

// Model 0 carries its values as unsigned 16-bit integers on the line.
quint16 asWord(float value)
{
    if (!std::isfinite(value))
        return 0;
    return quint16(std::clamp(std::lround(value), 0L, 65535L));
}

} // namespace

// --- RequestParser ---------------------------------------------------------

QList<Request> RequestParser::feed(QByteArrayView bytes)
{
    QList<Request> done;
    for (char byte : bytes)
        take(quint8(byte), done);
    return done;
}

void RequestParser::take(quint8 byte, QList<Request> &done)
{
    if (stuffingPending_) {
        takeStuffingCandidate(byte, done);
        return;
    }
    if (frame_.isEmpty()) {
        if (byte == wire::REQ_SYNC)
            restartWith(byte);
        return;
    }
    if (frame_.size() == 1) {
        if (byte == wire::REQ_MARK)
            append(byte);
        else if (byte == wire::REQ_SYNC)
            restartWith(byte);
        else
            frame_.clear();
        return;
    }
    append(byte);
    if (byte == wire::REQ_SYNC)
        stuffingPending_ = true; // the frame may end only after its stuffing byte
    else if (complete())
        emitFrame(done);
}

// The byte after a 0xB6 inside a frame is the inserted 0x00. Anything else
// means the line lost bytes; 0xB6 0x49 is then the start of a new request.
void RequestParser::takeStuffingCandidate(quint8 byte, QList<Request> &done)
{
    stuffingPending_ = false;
    if (byte == 0x00) {
        ++wireBytes_;
        if (complete())
            emitFrame(done);
        return;
    }
    if (complete()) {
        emitFrame(done);
    } else if (byte == wire::REQ_MARK) {
        restartWith(wire::REQ_SYNC);
        append(byte);
        return;
    } else {
        frame_.clear();
    }
    take(byte, done);
}

void RequestParser::append(quint8 byte)
{
    frame_.append(char(byte));
    ++wireBytes_;
}

void RequestParser::restartWith(quint8 byte)
{
    frame_.clear();
    wireBytes_ = 0;
    append(byte);
}

bool RequestParser::complete() const
{
    return frame_.size() >= 6 && frame_.size() == quint8(frame_[5]) + 8;
}

void RequestParser::emitFrame(QList<Request> &done)
{
    const int n = quint8(frame_[5]);
    Request request;
    request.netCode = quint8(frame_[2]);
    request.address = le16(frame_, 3);
    if (n >= 1) {
        request.code = quint8(frame_[6]);
        request.data = frame_.mid(7, n - 1);
    }
    request.crcOk = wire::checksumRight(frame_);
    request.wireBytes = wireBytes_;
    done.append(request);
    frame_.clear();
    wireBytes_ = 0;
}

// --- SimSensor -------------------------------------------------------------

SimSensor SimSensor::make(quint16 address, int model)
{
    SimSensor sensor;
    sensor.address = address;
    sensor.model = model == 0 ? 0 : 1;
    if (sensor.model == 0) {
        sensor.threshold1 = sensor.threshold2 = 120;
        sensor.signal1 = sensor.signal2 = 35;
    } else {
        sensor.threshold1 = sensor.threshold2 = 1.5f;
        sensor.signal1 = 0.25f;
        sensor.signal2 = 0.3f;
    }
    return sensor;
}

quint8 SimSensor::statusByte() const
{
    return quint8((faultCode & 0x3F) | (loop1Tripped ? 0x80 : 0) | (loop2Tripped ? 0x40 : 0));
}

QString SimSensor::describe() const
{
    const auto loop = [](bool tripped) { return tripped ? QStringLiteral("TRIPPED") : QStringLiteral("normal"); };
    QString dc = dcReceived ? (model == 0 ? QString::number(dc1) : QStringLiteral("%1/%2").arg(dc1).arg(dc2))
                            : QStringLiteral("none received");
    return QStringLiteral("%1 model %2 (%3): loop1 %4, loop2 %5, fault %6, %7, threshold %8/%9, "
                          "signal %10/%11, dc %12, polls %13, set requests %14")
        .arg(address)
        .arg(model)
        .arg(model == 0 ? QStringLiteral("301") : QStringLiteral("302"))
        .arg(loop(loop1Tripped), loop(loop2Tripped))
        .arg(faultCode)
        .arg(silent ? QStringLiteral("SILENT") : QStringLiteral("answering"))
        .arg(threshold1)
        .arg(threshold2)
        .arg(signal1)
        .arg(signal2)
        .arg(dc)
        .arg(polls)
        .arg(setRequests);
}

// --- SensorLine ------------------------------------------------------------

bool SensorLine::add(const SimSensor &sensor)
{
    if (sensor.address == 0 || find(sensor.address))
        return false;
    sensors_.append(sensor);
    return true;
}

bool SensorLine::remove(quint16 address)
{
    return sensors_.removeIf([address](const SimSensor &s) { return s.address == address; }) > 0;
}

SimSensor *SensorLine::find(quint16 address)
{
    for (SimSensor &sensor : sensors_) {
        if (sensor.address == address)
            return &sensor;
    }
    return nullptr;
}

void SensorLine::setLoop(SimSensor &sensor, int loop, bool tripped)
{
    bool &state = loop == 1 ? sensor.loop1Tripped : sensor.loop2Tripped;
    if (state == tripped)
        return;
    state = tripped;
    ++(tripped ? counters_.trips : counters_.restores);
}

void SensorLine::setFault(SimSensor &sensor, quint8 code)
{
    if (sensor.faultCode == code)
        return;
    sensor.faultCode = code;
    ++(code == 0 ? counters_.faultClears : counters_.faults);
}

void SensorLine::setSilent(SimSensor &sensor, bool silent)
{
    if (sensor.silent == silent)
        return;
    sensor.silent = silent;
    if (silent) {
        ++counters_.silences;
        return;
    }
    ++counters_.answers;
    // The console declares a link lost at the 9th unanswered request; one
    // loss is counted once, however the silence was split.
    if (sensor.unansweredRun >= 9) {
        ++counters_.longSilences;
        sensor.unansweredRun = 0;
    }
}

SensorLine::Answer SensorLine::answer(const Request &request)
{
    ++counters_.requests;
    if (!request.crcOk)
        return {{}, QStringLiteral("bad checksum, not answered")};
    if (request.netCode != wire::NET_CODE)
        return {{}, QStringLiteral("other network, not answered")};
    SimSensor *sensor = find(request.address);
    if (!sensor)
        return {{}, QStringLiteral("no such sensor")};
    ++(request.code == wire::CMD_POLL ? counters_.polls : counters_.setRequests);
    if (sensor->silent) {
        ++counters_.unanswered;
        ++sensor->unansweredRun;
        return {{}, QStringLiteral("silent")};
    }
    Answer answer = answerAs(*sensor, request);
    if (!answer.wire.isEmpty())
        sensor->unansweredRun = 0;
    return answer;
}

void SensorLine::moveSignals(SimSensor &sensor)
{
    const qint64 now = clockMs ? clockMs() : QDateTime::currentMSecsSinceEpoch();
    float *signals_[] = {&sensor.signal1, &sensor.signal2};
    for (int loop = 0; loop < 2; ++loop) {
        if (!sensor.motion[loop].active)
            continue;
        double value = sensor.motion[loop].valueAt(now, signalSeed_);
        // A 301 measures one whole, unsigned 16-bit value.
        if (sensor.model == 0)
            value = std::clamp(std::round(value), 0.0, 65535.0);
        *signals_[loop] = float(value);
    }
    if (sensor.model == 0)
        sensor.signal2 = sensor.signal1;
}

// The sensor sets its threshold from the DC component the console sends;
// a DC of 0 leaves the factory threshold.
void SensorLine::followDc(SimSensor &sensor)
{
    if (sensor.model == 0 && sensor.dc1 > 0) {
        sensor.threshold1 = sensor.threshold2 = sensor.dc1;
    } else if (sensor.model == 1) {
        if (sensor.dc1 > 0)
            sensor.threshold1 = sensor.dc1;
        if (sensor.dc2 > 0)
            sensor.threshold2 = sensor.dc2;
    }
}

SensorLine::Answer SensorLine::answerAs(SimSensor &sensor, const Request &request)
{
    QByteArray reply;
    QString note;
    if (request.code == wire::CMD_POLL) {
        ++sensor.polls;
        moveSignals(sensor);
        const quint8 code = sensor.model == 0 ? wire::RPL_STATUS_M0 : wire::RPL_STATUS_M1;
        reply = replyFrame(request, sensor.address, code, statusData(sensor));
        note = QStringLiteral("status 0x%1").arg(sensor.statusByte(), 2, 16, QLatin1Char('0'));
    } else if (request.code == wire::CMD_SET_DC_M0 && sensor.model == 0 && request.data.size() >= 2) {
        sensor.dc1 = le16(request.data, 0);
        sensor.dcReceived = true;
        followDc(sensor);
        ++sensor.setRequests;
        reply = replyFrame(request, sensor.address, wire::RPL_ACK, {});
        note = QStringLiteral("ack");
    } else if (request.code == wire::CMD_SET_DC_M1 && sensor.model == 1 && request.data.size() >= 8) {
        sensor.dc1 = leFloat(request.data, 0);
        sensor.dc2 = leFloat(request.data, 4);
        sensor.dcReceived = true;
        followDc(sensor);
        ++sensor.setRequests;
        reply = replyFrame(request, sensor.address, wire::RPL_ACK, {});
        note = QStringLiteral("ack");
    } else {
        return {{}, QStringLiteral("not understood by a model %1 sensor, not answered").arg(sensor.model)};
    }
    QString faults;
    QByteArray wire = withLineFaults(request, sensor, reply, &faults);
    return {wire, note + faults};
}

QByteArray SensorLine::replyFrame(const Request &request, quint16 address, quint8 code,
                                  QByteArrayView data)
{
    return wire::frame(wire::RPL_SYNC, wire::RPL_MARK, request.netCode, address, code, data);
}

QByteArray SensorLine::statusData(const SimSensor &sensor) const
{
    QByteArray data;
    data.append(char(sensor.statusByte()));
    if (sensor.model == 0) {
        appendLe16(data, asWord(sensor.threshold1));
        appendLe16(data, asWord(sensor.signal1));
    } else {
        appendFloat(data, sensor.threshold1);
        appendFloat(data, sensor.threshold2);
        appendFloat(data, sensor.signal1);
        appendFloat(data, sensor.signal2);
    }
    return data;
}

// Applies and clears the one-shot faults: noise first, then the foreign
// reply, then the sensor's own reply (with a spoilt checksum if asked, cut
// short if asked). The log note names each fault applied.
QByteArray SensorLine::withLineFaults(const Request &request, const SimSensor &sensor,
                                      const QByteArray &reply, QString *note)
{
    ++counters_.replies;
    QByteArray own = reply;
    bool clean = true;
    if (faults_.badCrc) {
        own[own.size() - 1] = char(quint8(own[own.size() - 1]) ^ 0x5A);
        faults_.badCrc = false;
        ++counters_.badCrc;
        clean = false;
        *note += QStringLiteral(" +badcrc");
    }
    QByteArray line = noise(faults_.noiseBytes);
    if (faults_.noiseBytes > 0) {
        ++counters_.noiseBursts;
        counters_.noiseBytes += faults_.noiseBytes;
        *note += QStringLiteral(" +noise %1").arg(faults_.noiseBytes);
        faults_.noiseBytes = 0;
    }
    if (faults_.foreign) {
        const quint8 code = sensor.model == 0 ? wire::RPL_STATUS_M0 : wire::RPL_STATUS_M1;
        line += wire::stuffReply(replyFrame(request, unusedAddress(), code, statusData(sensor)));
        faults_.foreign = false;
        ++counters_.foreignReplies;
        *note += QStringLiteral(" +foreign");
    }
    QByteArray ownWire = wire::stuffReply(own);
    if (faults_.dropBytes > 0) {
        // The header stays whole, so the console takes the frame for the
        // sensor's and waits for the missing bytes.
        const int cut = int(qMin<qsizetype>(faults_.dropBytes, ownWire.size() - 6));
        ownWire.chop(cut);
        faults_.dropBytes = 0;
        ++counters_.drops;
        clean = false;
        *note += QStringLiteral(" +drop %1").arg(cut);
    }
    if (clean)
        ++counters_.cleanReplies;
    return line + ownWire;
}

QByteArray SensorLine::noise(int count)
{
    QByteArray bytes;
    while (bytes.size() < count) {
        noiseSeed_ ^= noiseSeed_ << 13;
        noiseSeed_ ^= noiseSeed_ >> 17;
        noiseSeed_ ^= noiseSeed_ << 5;
        const quint8 byte = quint8(noiseSeed_);
        if (byte != wire::RPL_SYNC) // a stray sync would swallow the reply's own
            bytes.append(char(byte));
    }
    return bytes;
}

quint16 SensorLine::unusedAddress() const
{
    const auto taken = [this](quint16 address) {
        return std::any_of(sensors_.begin(), sensors_.end(),
                           [address](const SimSensor &s) { return s.address == address; });
    };
    if (faults_.foreignAddress != 0 && !taken(faults_.foreignAddress))
        return faults_.foreignAddress;
    quint16 address = 65535;
    while (taken(address))
        --address;
    return address;
}

// --- helpers ---------------------------------------------------------------

QString SimCounters::text() const
{
    const std::pair<const char *, qint64> fields[] = {
        {"requests", requests}, {"polls", polls}, {"set_requests", setRequests},
        {"unanswered", unanswered}, {"replies", replies}, {"clean_replies", cleanReplies},
        {"lost_replies", lostReplies}, {"foreign", foreignReplies}, {"noise", noiseBursts},
        {"noise_bytes", noiseBytes}, {"badcrc", badCrc}, {"drops", drops}, {"trips", trips},
        {"restores", restores}, {"faults", faults}, {"fault_clears", faultClears},
        {"silences", silences}, {"answers", answers}, {"long_silences", longSilences},
    };
    QStringList parts;
    for (const auto &[name, value] : fields)
        parts.append(QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(value));
    return parts.join(u' ');
}

QString describeRequest(const Request &request)
{
    QString text;
    if (request.code == wire::CMD_POLL) {
        text = QStringLiteral("poll");
    } else if (request.code == wire::CMD_SET_DC_M0 && request.data.size() >= 2) {
        text = QStringLiteral("set-dc-m0 dc=%1").arg(le16(request.data, 0));
    } else if (request.code == wire::CMD_SET_DC_M1 && request.data.size() >= 8) {
        text = QStringLiteral("set-dc-m1 dc1=%1 dc2=%2")
                   .arg(double(leFloat(request.data, 0)))
                   .arg(double(leFloat(request.data, 4)));
    } else {
        text = QStringLiteral("code=0x%1 data=%2")
                   .arg(request.code, 2, 16, QLatin1Char('0'))
                   .arg(QString::fromLatin1(request.data.toHex()));
    }
    return text;
}

} // namespace dorvan::sim
