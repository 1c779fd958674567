#include "uplink/signalpublisher.h"

#include "sensors/sensortable.h"
#include "trends/trendexport.h"
#include "trends/trendrecorder.h"
#include "uplink/uplinklog.h"

namespace dorvan::uplink {

namespace {

constexpr qint64 MinuteMs = 60 * 1000;

} // namespace

SignalPublisher::SignalPublisher(const QString &workDir, const Topics &topics, mqtt::Transport &transport,
                                 const Clock &clock, QObject *parent)
    : QObject(parent), path_(TrendRecorder::storePath(workDir)), topics_(topics), transport_(transport),
      clock_(clock)
{
    connect(&transport_, &mqtt::Transport::connected, this, guarded("signal trends on connecting", [this] {
        connected_ = true;
        publishDue();
    }));
    connect(&transport_, &mqtt::Transport::failed, this, [this] { connected_ = false; });
    timer_.setInterval(CheckMs);
    connect(&timer_, &QTimer::timeout, this, guarded("signal trends timer", [this] { publishDue(); }));
}

SignalPublisher::~SignalPublisher() = default;

QString SignalPublisher::topic(const Topics &topics, quint16 address)
{
    return topics.prefix + u'/' + topics.site + QStringLiteral("/sensor/") + QString::number(address)
           + QStringLiteral("/signal");
}

QByteArray SignalPublisher::payload(quint16 address, int model, const TrendMinute &minute)
{
    // The export's JSON line of the minute, with the sensor in front.
    QByteArray line = trendMinutesText({minute}, ExportFormat::JsonLines, false).trimmed();
    return "{\"address\":" + QByteArray::number(address) + ",\"model\":\"" + modelName(model).toUtf8() + "\","
           + line.mid(1);
}

void SignalPublisher::start()
{
    startMinute_ = (clock_.nowUtcMs() - SettleMs) / MinuteMs;
    timer_.start();
}

void SignalPublisher::publishDue()
{
    if (!connected_)
        return;
    if (!store_)
        store_ = std::make_unique<TrendStore>(path_, TrendStore::Mode::ReadOnly);
    if (!store_->isOpen() && !store_->open()) {
        if (store_->errorText() != lastProblem_)
            qCInfo(lcUplinkSignals).noquote() << "no signal trends to publish:" << store_->errorText();
        lastProblem_ = store_->errorText();
        return;
    }
    lastProblem_.clear();
    // The minutes before this one are over.
    const qint64 current = (clock_.nowUtcMs() - SettleMs) / MinuteMs;
    for (const qint64 sensor : store_->sensors()) {
        qint64 &sent = sent_.try_emplace(sensor, startMinute_ - 1).first->second;
        const qint64 from = std::max(sent + 1, current - BacklogMinutes);
        if (from >= current)
            continue;
        const quint16 address = quint16(sensor & 0xFFFF);
        const int model = int(sensor >> 16);
        for (const TrendMinute &minute : store_->minutes(sensor, from * MinuteMs, current * MinuteMs)) {
            if (minute.minute >= current)
                break;
            Message message{topic(topics_, address), payload(address, model, minute), false};
            if (!transport_.publishTelemetry(message))
                return; // the connection broke; what is left goes after the reconnect
            sent = minute.minute;
        }
        sent = std::max(sent, current - 1);
    }
    if (store_->fault() != TrendStore::Fault::None) {
        qCInfo(lcUplinkSignals).noquote() << "signal trends not read:" << store_->errorText();
        store_->close();
    }
}

} // namespace dorvan::uplink
