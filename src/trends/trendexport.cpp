#include "trends/trendexport.h"

#include <QDateTime>

namespace dorvan {

namespace {

constexpr qint64 MinuteMs = 60 * 1000;
constexpr qint64 BlockMs = 6 * 3600 * 1000;

QByteArray timeText(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz")).toUtf8();
}

QByteArray csvNumber(double value)
{
    QByteArray text = QByteArray::number(value, 'g', 7);
    text.replace('.', ',');
    return text;
}

QByteArray jsonNumber(double value)
{
    return QByteArray::number(value, 'g', 7);
}

const char *const sampleTitles[] = {"Дата и время", "Порог 1", "Сигнал 1", "Порог 2", "Сигнал 2",
                                    "Время ответа, мс"};
const char *const sampleKeys[] = {"threshold1", "signal1", "threshold2", "signal2"};
const char *const minuteNames[] = {"signal1", "signal2", "threshold1", "threshold2", "replyMs"};
const char *const minuteTitles[] = {"Сигнал 1", "Сигнал 2", "Порог 1", "Порог 2", "Время ответа, мс"};

void csvLine(QByteArray &out, const QList<QByteArray> &fields)
{
    out += fields.join(';');
    out += "\r\n";
}

} // namespace

QByteArray trendSamplesText(const std::vector<TrendSample> &samples, ExportFormat format, bool header)
{
    QByteArray out;
    if (format == ExportFormat::Csv && header) {
        out += "\xEF\xBB\xBF";
        csvLine(out, QList<QByteArray>(std::begin(sampleTitles), std::end(sampleTitles)));
    }
    for (const TrendSample &s : samples) {
        const double values[] = {s.threshold1, s.signal1, s.threshold2, s.signal2};
        if (format == ExportFormat::Csv) {
            QList<QByteArray> fields{timeText(s.utcMs)};
            for (double v : values)
                fields.append(s.timeout ? QByteArray() : csvNumber(v));
            fields.append(s.timeout ? QByteArray("нет") : QByteArray::number(s.replyMs));
            csvLine(out, fields);
            continue;
        }
        out += "{\"time\":\"" + timeText(s.utcMs) + "\",\"utcMs\":" + QByteArray::number(s.utcMs);
        for (int i = 0; i < 4; ++i)
            out += QByteArray(",\"") + sampleKeys[i] + "\":" + (s.timeout ? QByteArray("null") : jsonNumber(values[i]));
        out += ",\"replyMs\":" + (s.timeout ? QByteArray("null") : QByteArray::number(s.replyMs)) + "}\n";
    }
    return out;
}

QByteArray trendMinutesText(const std::vector<TrendMinute> &minutes, ExportFormat format, bool header)
{
    QByteArray out;
    if (format == ExportFormat::Csv && header) {
        out += "\xEF\xBB\xBF";
        QList<QByteArray> titles{"Дата и время", "Ответов", "Нет ответа"};
        for (const char *title : minuteTitles) {
            for (const char *what : {" мин", " ср", " макс"})
                titles.append(QByteArray(title) + what);
        }
        csvLine(out, titles);
    }
    for (const TrendMinute &m : minutes) {
        const double *spans[] = {m.signal1, m.signal2, m.threshold1, m.threshold2, m.replyMs};
        if (format == ExportFormat::Csv) {
            QList<QByteArray> fields{timeText(m.minute * MinuteMs), QByteArray::number(m.replies),
                                     QByteArray::number(m.timeouts)};
            for (const double *span : spans) {
                for (int i = 0; i < 3; ++i)
                    fields.append(m.replies > 0 ? csvNumber(span[i]) : QByteArray());
            }
            csvLine(out, fields);
            continue;
        }
        out += "{\"time\":\"" + timeText(m.minute * MinuteMs) + "\",\"utcMs\":"
               + QByteArray::number(m.minute * MinuteMs) + ",\"replies\":" + QByteArray::number(m.replies)
               + ",\"timeouts\":" + QByteArray::number(m.timeouts);
        for (int k = 0; k < 5; ++k) {
            out += QByteArray(",\"") + minuteNames[k] + "\":";
            if (m.replies == 0) {
                out += "null";
                continue;
            }
            out += "{\"min\":" + jsonNumber(spans[k][0]) + ",\"mean\":" + jsonNumber(spans[k][1])
                   + ",\"max\":" + jsonNumber(spans[k][2]) + "}";
        }
        out += "}\n";
    }
    return out;
}

bool exportTrend(TrendStore &store, qint64 sensor, qint64 fromMs, qint64 toMs, qint64 nowMs, ExportFormat format,
                 QIODevice &out, bool minutes)
{
    const bool useMinutes = minutes || fromMs < nowMs - store.limits().fullResolutionMs;
    // Whole minutes, so that no minute falls in two blocks.
    qint64 from = useMinutes ? fromMs - ((fromMs % MinuteMs) + MinuteMs) % MinuteMs : fromMs;
    bool header = true;
    // A block of hours at a time, so memory stays small whatever the range.
    do {
        const qint64 to = std::min(toMs, from + BlockMs);
        const QByteArray text = useMinutes ? trendMinutesText(store.minutes(sensor, from, to), format, header)
                                           : trendSamplesText(store.samples(sensor, from, to), format, header);
        header = false;
        if (store.fault() != TrendStore::Fault::None)
            return false;
        if (!text.isEmpty() && out.write(text) != text.size())
            return false;
        from = to;
    } while (from < toMs);
    return true;
}

} // namespace dorvan
