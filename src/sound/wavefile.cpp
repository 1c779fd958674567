#include "sound/wavefile.h"

#include "base/regularfile.h"

#include <QtEndian>

namespace dorvan {

namespace {

constexpr qint64 MaxWaveBytes = 64 * 1024 * 1024;
constexpr quint16 FormatPcm = 1;
constexpr quint16 FormatFloat = 3;
constexpr quint16 FormatExtensible = 0xFFFE;

WaveSound refused(const QString &why)
{
    WaveSound wave;
    wave.fault = why;
    return wave;
}

quint16 u16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// 24-bit samples as the upper three bytes of 32-bit ones.
QByteArray widen24(const QByteArray &pcm)
{
    QByteArray wide;
    wide.reserve(pcm.size() / 3 * 4);
    for (qsizetype i = 0; i + 3 <= pcm.size(); i += 3) {
        wide.append('\0');
        wide.append(pcm.constData() + i, 3);
    }
    return wide;
}

} // namespace

int WaveSound::bytesPerFrame() const
{
    const int bytes = sample == Sample::UInt8 ? 1 : sample == Sample::Int16 ? 2 : 4;
    return bytes * channels;
}

WaveSound parseWave(const QByteArray &bytes)
{
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return refused(QStringLiteral("не файл RIFF/WAVE"));

    quint16 format = 0;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    bool haveFormat = false;
    QByteArray data;
    bool haveData = false;
    qsizetype at = 12;
    while (at + 8 <= bytes.size() && !haveData) {
        const QByteArray id = bytes.mid(at, 4);
        const qint64 size = u32(bytes, at + 4);
        const qsizetype body = at + 8;
        const qint64 available = qMin<qint64>(size, bytes.size() - body);
        if (id == "fmt " && available >= 16) {
            format = u16(bytes, body);
            channels = u16(bytes, body + 2);
            rate = int(u32(bytes, body + 4));
            bits = u16(bytes, body + 14);
            if (format == FormatExtensible && available >= 26)
                format = u16(bytes, body + 24); // the sub-format GUID starts with the tag
            haveFormat = true;
        } else if (id == "data") {
            data = bytes.mid(body, available); // a file cut short plays what it has
            haveData = true;
        }
        at = body + size + (size & 1);
    }
    if (!haveFormat || !haveData)
        return refused(QStringLiteral("нет описания формата или звука"));
    if (channels < 1 || channels > 8 || rate < 1000 || rate > 384000)
        return refused(QStringLiteral("неверный формат"));

    WaveSound wave;
    wave.sampleRate = rate;
    wave.channels = channels;
    if (format == FormatPcm && bits == 8)
        wave.sample = WaveSound::Sample::UInt8;
    else if (format == FormatPcm && bits == 16)
        wave.sample = WaveSound::Sample::Int16;
    else if (format == FormatPcm && (bits == 24 || bits == 32))
        wave.sample = WaveSound::Sample::Int32;
    else if (format == FormatFloat && bits == 32)
        wave.sample = WaveSound::Sample::Float;
    else
        return refused(QStringLiteral("формат %1, %2 бит не поддерживается").arg(format).arg(bits));

    if (bits == 24) {
        data.truncate(data.size() - data.size() % (3 * channels));
        data = widen24(data);
    }
    data.truncate(data.size() - data.size() % wave.bytesPerFrame());
    if (data.isEmpty())
        return refused(QStringLiteral("нет звука"));
    wave.pcm = data;
    return wave;
}

WaveSound readWave(const QString &path)
{
    int error = 0;
    qint64 size = 0;
    const std::optional<QByteArray> bytes = readRegularFile(path, MaxWaveBytes + 1, Links::Follow, error, &size);
    if (!bytes)
        return refused(QStringLiteral("не открылся файл %1: %2").arg(path, fileErrorText(error)));
    if (size > MaxWaveBytes)
        return refused(QStringLiteral("файл %1 больше %2 МБ").arg(path).arg(MaxWaveBytes >> 20));
    WaveSound wave = parseWave(*bytes);
    if (!wave.playable())
        wave.fault = path + QStringLiteral(": ") + wave.fault;
    return wave;
}

} // namespace dorvan
