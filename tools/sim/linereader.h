#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace dorvan::sim {

// Reads text lines from a file descriptor (standard input or a FIFO)
// without blocking the event loop.
class LineReader : public QObject
{
    Q_OBJECT

public:
    LineReader(int fd, QObject *parent = nullptr);

signals:
    void lineRead(const QString &line);
    void endOfInput();

private:
    void readAvailable();

    int fd_;
    QByteArray pending_;
    QSocketNotifier *notifier_;
};

// Opens (creating it if needed) a FIFO to read commands from. It is opened
// for writing too, so it never reports end of input when a writer leaves.
int openCommandFifo(const QString &path, QString *error);

} // namespace dorvan::sim
