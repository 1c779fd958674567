#pragma once

#include "base/alarmsound.h"
#include "base/clock.h"
#include "base/prompter.h"
#include "sound/alarmsoundwatch.h"
#include "link/serialline.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

namespace dorvan::test {

// Records every box and answers from a script; an unscripted question is
// answered No, an unscripted input box is cancelled.
class FakePrompter : public Prompter
{
public:
    struct Shown
    {
        QString text;
        QString caption;
        Icon icon;
    };

    void message(const QString &text, const QString &caption, Icon icon) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    std::optional<QString> openFile(const QString &directory, bool mustExist) override;
    std::optional<SavedFile> saveFile(const QString &suggested, const QStringList &filters) override;

    QList<Shown> shown;          // messages and questions, in order
    std::deque<bool> answers;    // for askYesNo
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<QString>> files;
    QStringList openFileDirectories;
    std::deque<std::optional<SavedFile>> saves;
    // Runs inside every box before it returns: the operator is away while it
    // is open, and the event loop goes on meanwhile (see FakeEventLoop).
    std::function<void()> whileOpen;

    QStringList texts() const;
    void clear() { shown.clear(); }
};

// A clock that moves only when told.
class FakeClock : public Clock
{
public:
    QDateTime now() const override { return current; }
    qint64 counterFrequency() const override { return frequency; }
    qint64 counter() const override { return counterValue; }
    quint32 tickMs() const override { return tick; }

    void advanceMs(qint64 ms)
    {
        current = current.addMSecs(ms);
        tick += quint32(ms);
        counterValue += ms * (frequency / 1000);
    }

    QDateTime current = QDateTime(QDate(2026, 12, 6), QTime(14, 3, 27));
    qint64 frequency = 1000000;
    qint64 counterValue = 0;
    quint32 tick = 0;
};

// A serial line fed by the test; everything written is kept.
class FakeSerialLine : public SerialLine
{
public:
    bool open(const QString &portName, int baudRate) override;
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    bool readByte(quint8 &byte) override;
    bool writeByte(quint8 byte) override;

    void feed(const QByteArray &bytes) { incoming.append(bytes); }

    bool opened = false;
    bool failOpen = false;
    bool failWrite = false;
    QString openedName;
    int openedBaud = 0;
    int openCount = 0;
    QByteArray incoming;
    QByteArray written;
};

class FakeAlarmSound : public AlarmSound
{
public:
    void startLoop(const QString &wavePath) override
    {
        ++starts;
        playing = true;
        path = wavePath;
    }
    void stop() override
    {
        ++stops;
        playing = false;
    }

    int starts = 0;
    int stops = 0;
    bool playing = false;
    QString path;
};

// An audio output on the test's clock (nowMs): each stream plays, stalls or
// fails as nextStream says when it is opened.
class FakeAlarmOutput : public AlarmOutput
{
public:
    struct Stream
    {
        qint64 stallAfterMs = -1; // progress stops this long after the open; -1 never
        qint64 faultAfterMs = -1; // the stream fails this long after the open; -1 never
    };

    void open(const QString &) override
    {
        ++opens;
        open_ = true;
        openedMs_ = nowMs;
        stream_ = nextStream(nowMs);
    }
    void close() override
    {
        if (open_)
            ++closes;
        open_ = false;
    }
    qint64 processedUSecs() const override
    {
        if (!open_)
            return 0;
        qint64 played = nowMs - openedMs_;
        if (stream_.stallAfterMs >= 0)
            played = qMin(played, stream_.stallAfterMs);
        return played * 1000;
    }
    QString fault() const override
    {
        const bool failed = open_ && stream_.faultAfterMs >= 0 && nowMs - openedMs_ >= stream_.faultAfterMs;
        return failed ? QStringLiteral("сервер недоступен") : QString();
    }
    void beep() override { beeps.append(nowMs); }

    std::function<Stream(qint64 openedMs)> nextStream = [](qint64) { return Stream{}; };
    qint64 nowMs = 0;
    int opens = 0;
    int closes = 0;
    QList<qint64> beeps;

private:
    bool open_ = false;
    qint64 openedMs_ = 0;
    Stream stream_;
};

} // namespace dorvan::test
