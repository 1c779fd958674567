#pragma once

#include <QString>

namespace dorvan {

// One serial port, opened by its Windows-style name ("COM9", "//./COM10").
// All calls return at once: a read with no byte waiting reports false.
class SerialLine
{
public:
    virtual ~SerialLine() = default;
    // 8 data bits, no parity, one stop bit at the given rate.
    virtual bool open(const QString &portName, int baudRate) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool readByte(quint8 &byte) = 0;
    virtual bool writeByte(quint8 byte) = 0;
    // Why the last open failed, with what fixes it, for the log; empty after
    // a good open or when the line cannot tell.
    virtual QString openFailure() const { return {}; }
};

} // namespace dorvan
