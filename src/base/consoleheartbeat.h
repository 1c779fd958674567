#pragma once

#include "base/clock.h"
#include "base/linepasses.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

#include <sys/types.h>

namespace dorvan {

// What the console's heartbeat file says: when it was written, when the
// polling cycle made its last pass, and how many passes it has made in this
// run.
struct HeartbeatRecord
{
    QDateTime written;
    QDateTime lastPoll; // the last pass itself, not the beat that saw it; invalid before the first
    quint64 passes = 0;

    QByteArray toJson() const;
    static std::optional<HeartbeatRecord> fromJson(const QByteArray &bytes);
};

// The console's own sign of life for programs beside it (dorvan-uplink):
// data/console.heartbeat, rewritten every IntervalMs from a timer of its
// own, never from the line's handlers. Passes made after a beat are told by
// the next one, so a console that hangs leaves a last pass up to IntervalMs
// older than its real one. A write replaces the small file
// through a temporary one (no sync: it is news, not a record) and never
// waits; a failure is logged once until a write succeeds again.
class ConsoleHeartbeat : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 2000;
    static QString fileName() { return QStringLiteral("data/console.heartbeat"); }

    ConsoleHeartbeat(const Clock &clock, std::function<LinePasses()> passes, QObject *parent = nullptr);

    void start(const QString &workDir);
    void stop();
    // One beat: notes the line's passes so far and rewrites the file.
    void beat();

    static std::optional<HeartbeatRecord> read(const QString &workDir);

private:
    const Clock &clock_;
    std::function<LinePasses()> passes_;
    QString path_;
    mode_t newFileMode_ = 0644;
    HeartbeatRecord record_;
    bool failing_ = false;
    QTimer timer_;
};

// The console's lock file in its working directory, held by ConsoleLock
// (console/consolestart.h) while the console runs.
inline QString consoleLockFileName()
{
    return QStringLiteral(".dorvan-console.lock");
}

// Whether a running console holds the working directory's lock: the
// process the lock file names is alive and is dorvan-console.
bool consoleHoldsLock(const QString &workDir);

} // namespace dorvan
