#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace dorvan::sim {

// The simulator's end of the line: the master side of a pseudo-terminal,
// in raw mode, whose slave the console opens as its serial port.
//
// The console closes and reopens the port every four seconds. The master
// stays open throughout; while no slave is open the master reports a hang-up
// (EIO on read, POLLHUP), so the link stops watching it and looks again a
// little later instead of spinning or giving up.
//
// A console that is killed leaves the slave in exclusive mode (TIOCEXCL):
// a pseudo-terminal's slave keeps it while the master is open, and every
// later open by a user other than root fails with EBUSY. When no slave has
// been open for a while, the link clears that mode itself, or, where it
// cannot, moves to a new pseudo-terminal.
class PtyLink : public QObject
{
    Q_OBJECT

public:
    explicit PtyLink(QObject *parent = nullptr);
    ~PtyLink() override;

    bool open(QString *error);
    QString slavePath() const { return slavePath_; }
    // Points WORKDIR/ports/COM<port> at the slave, replacing what was there.
    bool linkInto(const QString &workDir, int port, QString *error, QString *linkPath = nullptr);
    // Writes everything it can; false when the slave side is closed.
    bool write(QByteArrayView bytes);

    // The device disappears, as an unplugged USB adapter does: the master is
    // closed, the console's open port hangs up and the link points nowhere.
    void unplug();
    // A new device appears: a new pseudo-terminal, and the link made before
    // (if any) now points at it.
    bool replug(QString *error);
    bool isPlugged() const { return master_ >= 0; }

    // How often the master reported that no slave was open; it grows by
    // about one per retry interval while the console has the port closed.
    int hangups() const { return hangups_; }

    static constexpr int hangupRetryMs = 10;
    // How long the line must have had no slave open before it looks for
    // exclusive mode left behind.
    static constexpr int staleLockCheckMs = 1000;
    // Looks now; returns what it did, or an empty text when there was
    // nothing to mend.
    QString releaseStaleLock();

signals:
    void received(const QByteArray &bytes);
    // The line was freed from a dead console's exclusive mode.
    void released(const QString &how);

private:
    void readAvailable();
    void waitForSlave();

    int master_ = -1;
    QString slavePath_;
    QSocketNotifier *notifier_ = nullptr;
    QTimer retry_;
    int hangups_ = 0;
    QElapsedTimer hungUp_; // since the first hang-up with no byte after it
    QString linkedWorkDir_;
    int linkedPort_ = 0;
};

} // namespace dorvan::sim
