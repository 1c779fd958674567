#include "sensors/settingsfiles.h"

#include "base/cp1251.h"
#include "sensors/recordio.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>

namespace dorvan {

namespace {

constexpr int DeletedFlag = 1;
constexpr int NameOffset = 2;

// The stored name of one 40-byte record; never reads past the record,
// whether or not the name ends with its zero.
QString storedName(const char *record)
{
    return fromCp1251Field(record + NameOffset, OperatorList::NameField);
}

} // namespace

OperatorList::OperatorList(WorkContext &context) : context_(context) {}

QStringList OperatorList::names() const
{
    QStringList result;
    for (const OperatorEntry &entry : operatorTable_)
        result.append(entry.name);
    return result;
}

void OperatorList::loadRecords(const QByteArray &bytes)
{
    const int wholeRecords = int(bytes.size() / RecordSize);
    for (int number = 0; number < wholeRecords; ++number) {
        const char *record = bytes.constData() + qsizetype(number) * RecordSize;
        if (record[DeletedFlag] != 0 || operatorTable_.size() >= MaxOperators)
            continue;
        operatorTable_.append({quint8(record[0]), storedName(record).left(MaxNameLength),
                               qint16(number)});
    }
    // Every whole record counts, beyond the 50th active one too: the next
    // operator's number must be the place its record is written at.
    operatorRecordCount_ = wholeRecords;
}

void OperatorList::Ini_chop()
{
    const QString path = context_.path(fileName());
    operatorTable_.clear();
    operatorRecordCount_ = 0;
    int error = 0;
    const auto bytes = readRegularFile(path, std::numeric_limits<qsizetype>::max(), Links::Follow, error);
    if (bytes) {
        loadRecords(*bytes);
        return;
    }
    // Only a missing file is created: an unreadable list is not wiped.
    if (error == ENOENT) {
        FileDescriptor created(openRegularFile(path, O_WRONLY | O_CREAT | O_EXCL, 0666, Links::Refuse, error));
        if (created.valid())
            return;
    }
    context_.faults.error(LogArea::Files, openFailureText(QStringLiteral("Ini_chop"), QStringLiteral("chop.dat"), error));
}

void OperatorList::Add_chop()
{
    if (operatorTable_.isEmpty())
        return;
    const OperatorEntry &entry = operatorTable_.last();
    char record[RecordSize] = {};
    record[0] = 1;
    toCp1251Field(entry.name, record + NameOffset, NameField);
    // Written where its number says; that is the end of a sound file, and
    // over a torn tail it keeps every later number in step with its record.
    const RecordWrite written = writeRecordAt(context_.path(fileName()),
                                              qint64(entry.recordNumber) * RecordSize,
                                              QByteArrayView(record, RecordSize));
    if (!written.written())
        context_.faults.error(LogArea::Files,
                               writeFailureText(QStringLiteral("Add_chop"), QStringLiteral("chop.dat"), written));
}

void OperatorList::Del_chop(qint16 recordNumber)
{
    const qint64 offset = qint64(recordNumber) * RecordSize;
    int error = 0;
    const auto head = readRegularFile(context_.path(fileName()), offset + RecordSize, Links::Follow, error);
    if (!head) {
        context_.faults.error(LogArea::Files, openFailureText(QStringLiteral("Del_chop"), QStringLiteral("chop.dat"), error));
        return;
    }
    if (recordNumber < 0 || head->size() != offset + RecordSize)
        return;
    QByteArray record = head->mid(offset);
    record[DeletedFlag] = 1;
    // A failed write is reported: the name would otherwise stay in the list
    // with no word of why.
    const RecordWrite written = writeRecordAt(context_.path(fileName()), offset, record);
    if (!written.written())
        context_.faults.error(LogArea::Files,
                               writeFailureText(QStringLiteral("Del_chop"), QStringLiteral("chop.dat"), written));
}

void OperatorList::Read_chop(qint16 recordNumber, QString &destination)
{
    const qint64 offset = qint64(recordNumber) * RecordSize;
    int error = 0;
    const auto head = readRegularFile(context_.path(fileName()), offset + RecordSize, Links::Follow, error);
    if (!head) {
        context_.faults.error(LogArea::Files, openFailureText(QStringLiteral("Read_chop"), QStringLiteral("chop.dat"), error));
        return;
    }
    const bool read = recordNumber >= 0 && head->size() == offset + RecordSize;
    destination = read ? storedName(head->constData() + offset) : QString();
}

bool OperatorList::nameTaken(const QString &name) const
{
    for (const OperatorEntry &entry : operatorTable_) {
        if (entry.name == name)
            return true;
    }
    return false;
}

int OperatorList::indexOfRecord(qint16 recordNumber) const
{
    for (int i = 0; i < operatorTable_.size(); ++i) {
        if (operatorTable_[i].recordNumber == recordNumber)
            return i;
    }
    return -1;
}

std::optional<int> OperatorList::addName(const QString &name)
{
    const qint16 recordNumber = qint16(operatorRecordCount_);
    operatorTable_.append({1, name, recordNumber});
    ++operatorRecordCount_;
    Add_chop();
    Ini_chop();
    // The pick list follows the reloaded table: a record that could not be
    // written is not offered, so no one is recorded under a wrong number.
    const int index = indexOfRecord(recordNumber);
    return index >= 0 ? std::optional<int>(index) : std::nullopt;
}

void OperatorList::removeEntry(int index)
{
    Del_chop(operatorTable_[index].recordNumber);
    Ini_chop();
}

} // namespace dorvan
