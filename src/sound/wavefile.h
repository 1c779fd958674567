#pragma once

#include <QByteArray>
#include <QString>

namespace dorvan {

// The samples of a PCM wave file, as an audio output takes them.
struct WaveSound
{
    enum class Sample { UInt8, Int16, Int32, Float };

    int sampleRate = 0;
    int channels = 0;
    Sample sample = Sample::Int16;
    QByteArray pcm; // whole frames, interleaved, little-endian
    QString fault;  // why the file cannot be played; empty when it can

    bool playable() const { return fault.isEmpty(); }
    int bytesPerFrame() const;
};

// Reads a RIFF/WAVE file of integer PCM (8, 16, 24 or 32 bits; 24 becomes
// 32) or 32-bit float. Only a regular file is read, so a FIFO or a device
// in its place cannot hang the caller.
WaveSound readWave(const QString &path);

// The same from the file's bytes.
WaveSound parseWave(const QByteArray &bytes);

} // namespace dorvan
