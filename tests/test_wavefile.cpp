// The alarm's wave file: what an audio output is given, and files that
// cannot be played (or must not even be read) are refused with a reason.

#include "sound/wavefile.h"

#include "workdir.h"

#include <QFile>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

using namespace dorvan;
using namespace dorvan::test;

namespace {

QByteArray le16(int v)
{
    QByteArray b(2, '\0');
    qToLittleEndian<quint16>(quint16(v), b.data());
    return b;
}

QByteArray le32(qint64 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(quint32(v), b.data());
    return b;
}

QByteArray chunk(const QByteArray &id, const QByteArray &body)
{
    return id + le32(body.size()) + body + (body.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}

QByteArray wave(int tag, int channels, int rate, int bits, const QByteArray &data, const QByteArray &before = {})
{
    const int frame = channels * bits / 8;
    const QByteArray format = le16(tag) + le16(channels) + le32(rate) + le32(qint64(rate) * frame) + le16(frame)
                              + le16(bits);
    const QByteArray body = "WAVE" + chunk("fmt ", format) + before + chunk("data", data);
    return "RIFF" + le32(body.size()) + body;
}

} // namespace

class TestWaveFile : public QObject
{
    Q_OBJECT

private slots:
    void parsesWhatAnOutputTakes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("sample");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArray>("pcm"); // empty: refused

        const QByteArray four("\x01\x02\x03\x04\x05\x06", 6);
        QTest::newRow("8-bit mono") << wave(1, 1, 8000, 8, four) << int(WaveSound::Sample::UInt8) << 8000 << 1 << four;
        QTest::newRow("16-bit stereo, odd chunk before the data")
            << wave(1, 2, 44100, 16, four.left(4), chunk("LIST", "abc")) << int(WaveSound::Sample::Int16) << 44100
            << 2 << four.left(4);
        QTest::newRow("24-bit widened to 32") << wave(1, 1, 48000, 24, four) << int(WaveSound::Sample::Int32) << 48000
                                              << 1 << QByteArray("\0\x01\x02\x03\0\x04\x05\x06", 8);
        QTest::newRow("float") << wave(3, 1, 8000, 32, four.left(4)) << int(WaveSound::Sample::Float) << 8000 << 1
                               << four.left(4);
        QTest::newRow("data cut short: whole frames") << wave(1, 2, 8000, 16, four).left(44 + 5)
                                                      << int(WaveSound::Sample::Int16) << 8000 << 2 << four.left(4);
        QTest::newRow("compressed") << wave(0x55, 1, 8000, 0, four) << 0 << 0 << 0 << QByteArray();
        QTest::newRow("no data") << wave(1, 1, 8000, 8, {}) << 0 << 0 << 0 << QByteArray();
        QTest::newRow("not a wave") << QByteArray("ID3\x04 not a wave at all", 23) << 0 << 0 << 0 << QByteArray();
        QTest::newRow("header only") << QByteArray("RIFF\x10\0\0\0WAVE", 12) << 0 << 0 << 0 << QByteArray();
    }

    void parsesWhatAnOutputTakes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, sample);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QByteArray, pcm);

        const WaveSound sound = parseWave(bytes);
        QCOMPARE(sound.playable(), !pcm.isEmpty());
        if (pcm.isEmpty())
            return;
        QCOMPARE(int(sound.sample), sample);
        QCOMPARE(sound.sampleRate, rate);
        QCOMPARE(sound.channels, channels);
        QCOMPARE(sound.pcm, pcm);
    }

    // The sound file goes through the one path that opens only regular files
    // (whose own table has the other special files): a FIFO in its place
    // would never give an end of file; the reason names the path.
    void readsOnlyARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("playable");
        QTest::newRow("regular") << "file" << true;
        QTest::newRow("fifo") << "fifo" << false;
    }

    void readsOnlyARegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(bool, playable);
        WorkDir dir(false);
        const QString path = dir.file("Error.wav");
        const QByteArray bytes = wave(1, 1, 8000, 8, "abcd");
        if (kind == "file") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        const WaveSound sound = readWave(path);
        QCOMPARE(sound.playable(), playable);
        if (playable)
            QCOMPARE(sound.pcm, QByteArray("abcd"));
        else
            QVERIFY2(sound.fault.contains(path), qPrintable(sound.fault));
    }
};

QTEST_GUILESS_MAIN(TestWaveFile)
#include "test_wavefile.moc"
