#pragma once

#include "base/workcontext.h"
#include "sensors/sensortable.h"

#include <QList>
#include <QString>

#include <optional>

namespace dorvan {

// data/hw.dat: the slot assignment, the port index and the password.
class HardwareSettings
{
public:
    static constexpr int FileSize = 198;
    static constexpr qint32 DefaultPassword = 482915;
    static constexpr int PortCount = 70; // "COM1" .. "COM70"

    HardwareSettings(WorkContext &context, SensorTable &table, PortChoice &port);

    // Loads the file, or creates the default one when there is none. A file
    // of another length is reported and loaded as far as its fields are
    // whole; it is left as it is until the next save replaces it, which
    // keeps a copy of it first. Temporary files of a save that was cut
    // short are removed.
    void Ini_Hw();
    // Replaces the file atomically; false (after the message) when it could
    // not, the old file then being whole. A file that start-up could not
    // read is never replaced: it may hold what this run does not know.
    bool Save_Hw();

    static QString fileName() { return QStringLiteral("data/hw.dat"); }

    // Never 0 for want of a file: a file without it gives the default.
    qint32 password = DefaultPassword;

    // Runs once the new contents sit in the temporary file, just before it
    // replaces hw.dat; returning false abandons the save there. Lets a test
    // stand in for a power loss at the worst moment.
    std::function<bool()> beforeReplace;

private:
    // A damaged file is not copied when it is larger than this: it is no hw.dat.
    static constexpr qint64 MaxDamagedCopy = 1 << 20;

    QByteArray contents() const;
    void load(const QByteArray &bytes);
    // 0, or why the file could not be created.
    int createDefaultFile();
    // hw.dat as found, under hw.dat.damaged-<yyyyMMdd-HHmmss>; the copy's
    // path, empty when none could be made.
    QString keepDamagedCopy();

    WorkContext &context_;
    SensorTable &table_;
    PortChoice &port_;
    bool loaded_ = false; // start-up read (or created) the file: saves may replace it
    qint64 damagedSize_ = -1; // the length of the file start-up found damaged, until a save replaces it
    QString damagedCopy_;     // where that file was kept, once it was
};

// Dorvan301DK/<address> and Dorvan302DK/<address>: each sensor's slot images.
class SensorFiles
{
public:
    SensorFiles(WorkContext &context, SensorTable &table, HardwareSettings &hardware);

    // mode 'a' appends, 'u' overwrites the last record; false (after the
    // message) when the file was left as it was.
    bool Save_sm(const SensorRecord &record, char mode);
    // Loads each occupied slot from the last whole record of its file. A
    // record the console cannot have written for that slot (another mark,
    // sensor or model, impossible flags) gives nothing: the slot keeps its
    // hw.dat identity, without link, both loops armed, and is marked Damaged.
    // So does a file that is there but cannot be read (a permission, a disk
    // error, no regular file): the sensor stays in hw.dat and its file is
    // left as it is. Only a sensor whose file is missing is dropped.
    void Ini_sm();
    // The slot's record back to its file, at shutdown (operatorActed false)
    // or when the operator disconnects the sensor (true): over the last
    // record when it is the slot's own; after a damaged one only once the
    // operator has acted on the sensor, by setting its DC components or by
    // disconnecting it. Until then the damaged file is left as found.
    void saveSlot(int slot, bool operatorActed);

    static QString sensorFile(quint32 address, int model); // relative to workDir

private:
    enum class Loaded { Own, Damaged, NoWholeRecord, Unreadable, NotOpened };
    // error: why the file did not open (Unreadable, NotOpened).
    Loaded loadLastRecord(int slot, int &error);

    WorkContext &context_;
    SensorTable &table_;
    HardwareSettings &hardware_;
};

struct OperatorEntry
{
    quint8 mark = 1;
    QString name;          // at most 16 characters
    qint16 recordNumber = 0;
};

// data/chop.dat: the operators who connect and disconnect sensors.
class OperatorList
{
public:
    static constexpr int MaxOperators = 50;
    static constexpr int MaxNameLength = 16;
    static constexpr int RecordSize = 40;
    static constexpr int NameField = 38;

    explicit OperatorList(WorkContext &context);

    void Ini_chop();
    void Add_chop();
    void Del_chop(qint16 recordNumber);
    // The stored name of a record, deleted or not, at most 38 bytes; leaves
    // destination unchanged when the file cannot be read.
    void Read_chop(qint16 recordNumber, QString &destination);

    // Appends a name already checked to the file and reloads it; the index
    // of the new entry in the pick list, or nullopt when it was not written.
    std::optional<int> addName(const QString &name);
    // Marks entry `index` deleted in the file and reloads it.
    void removeEntry(int index);
    bool nameTaken(const QString &name) const;

    const QList<OperatorEntry> &operatorTable() const { return operatorTable_; }
    int operatorCount() const { return int(operatorTable_.size()); }
    int operatorRecordCount() const { return operatorRecordCount_; }
    QStringList names() const;

    static QString fileName() { return QStringLiteral("data/chop.dat"); }

private:
    void loadRecords(const QByteArray &bytes);
    int indexOfRecord(qint16 recordNumber) const;

    WorkContext &context_;
    QList<OperatorEntry> operatorTable_;
    int operatorRecordCount_ = 0;
};

} // namespace dorvan
