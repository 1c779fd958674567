#include "events/eventfile.h"

#include "events/eventcatalog.h"

#include "base/russian.h"
#include "base/regularfile.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace dorvan {

namespace {

// About 4 MB per read, a whole number of records, so that a record never
// straddles two blocks and the per-call cost of reading stays negligible.
constexpr qsizetype BlockRecords = 12800;

using KeepTable = std::array<bool, 256>;

// The filtered reports leave out every code the catalog lists but those of
// their kinds; a code it does not list is kept, whatever wrote it.
constexpr bool skippedAsNotAlarm(int code)
{
    const EventKind kind = eventKindOf(code);
    return isListedEvent(code) && kind != EventKind::Alarm && kind != EventKind::Fault;
}

constexpr bool skippedAsNotLinkLoss(int code)
{
    return isListedEvent(code) && eventKindOf(code) != EventKind::LinkLost;
}

constexpr KeepTable makeKeepTable(ReportScope scope)
{
    KeepTable table{};
    for (int code = 0; code < 256; ++code) {
        switch (scope) {
        case ReportScope::All: table[code] = true; break;
        case ReportScope::Alarms: table[code] = !skippedAsNotAlarm(code); break;
        case ReportScope::LinkLosses: table[code] = !skippedAsNotLinkLoss(code); break;
        }
    }
    return table;
}

constexpr KeepTable keepAll = makeKeepTable(ReportScope::All);
constexpr KeepTable keepAlarms = makeKeepTable(ReportScope::Alarms);
constexpr KeepTable keepLinkLosses = makeKeepTable(ReportScope::LinkLosses);

const KeepTable &keepTable(ReportScope scope)
{
    switch (scope) {
    case ReportScope::Alarms: return keepAlarms;
    case ReportScope::LinkLosses: return keepLinkLosses;
    case ReportScope::All: break;
    }
    return keepAll;
}

// Collects the records of the page being filled. Within a block only their
// addresses are noted; they are copied when the block is done, so a reading
// copies at most one page per block whatever the file holds.
class LastPageCollector
{
public:
    explicit LastPageCollector(std::vector<EventRecord> &page) : page_(page) {}

    void add(qint64 index, const char *record)
    {
        if (index % ReportPageSize == 0) {
            page_.clear();
            pending_ = 0;
        }
        inBlock_[pending_++] = record;
    }

    void blockDone()
    {
        for (int i = 0; i < pending_; ++i)
            page_.push_back(EventFileReader::recordAt(inBlock_[i]));
        pending_ = 0;
    }

private:
    std::vector<EventRecord> &page_;
    std::array<const char *, ReportPageSize> inBlock_{};
    int pending_ = 0;
};

} // namespace

EventFileReader::EventFileReader(const QString &path) : file_(path) {}

bool EventFileReader::open()
{
    // A FIFO would hang the reading and /dev/zero never end it: only a
    // regular file is read.
    const int fd = openRegularFile(file_.fileName(), O_RDONLY, 0, Links::Follow, openError_);
    if (fd < 0)
        return false;
    if (!file_.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        openError_ = EIO;
        return false;
    }
    block_.resize(size_t(BlockRecords * RecordSize));
    return true;
}

QString EventFileReader::errorString() const
{
    return openError_ != 0 ? fileErrorText(openError_) : file_.errorString();
}

QByteArrayView EventFileReader::nextBlock()
{
    if (ended_)
        return {};
    // Reads until the block is full or the file ends.
    qsizetype filled = 0;
    const qsizetype size = qsizetype(block_.size());
    while (filled < size) {
        const qint64 got = file_.read(block_.data() + filled, size - filled);
        if (got < 0)
            failed_ = true;
        if (got <= 0)
            break;
        filled += qsizetype(got);
    }
    if (filled < size)
        ended_ = true;
    return QByteArrayView(block_.data(), filled / RecordSize * RecordSize);
}

EventRecord EventFileReader::recordAt(const char *bytes)
{
    EventRecord record;
    std::memcpy(static_cast<void *>(&record), bytes, sizeof record);
    return record;
}

bool reportKeeps(ReportScope scope, quint8 code)
{
    return keepTable(scope)[code];
}

QString reportTimeTitle()
{
    return QStringLiteral("Дата и время");
}

QString reportTextTitle()
{
    return QStringLiteral("Наименование события");
}

QString reportTimeCell(const EventRecord &record)
{
    return ru::eventTimeText(record.time);
}

QString reportTextCell(const EventRecord &record)
{
    return record.textString();
}

qint32 ReportScan::lastPage() const
{
    return total / ReportPageSize;
}

qint32 ReportScan::lastPageRows() const
{
    return total % ReportPageSize + 1;
}

bool scanEventFile(const QString &path, ReportScope scope, qint32 wantedPage, ReportScan &scan)
{
    EventFileReader reader(path);
    if (!reader.open())
        return false;
    scan = ReportScan();
    scan.last.reserve(ReportPageSize);
    const KeepTable &keeps = keepTable(scope);
    // With the last page wanted, that page alone is collected.
    const qint64 wantedFirst = wantedPage < 0 ? 0 : qint64(wantedPage) * ReportPageSize;
    const qint64 wantedEnd = wantedPage < 0 ? 0 : wantedFirst + ReportPageSize;
    LastPageCollector lastPage(scan.last);

    for (QByteArrayView block = reader.nextBlock(); !block.isEmpty(); block = reader.nextBlock()) {
        const char *const end = block.data() + block.size();
        for (const char *record = block.data(); record < end; record += EventFileReader::RecordSize) {
            if (!keeps[EventFileReader::codeOf(record)])
                continue;
            const qint64 index = scan.total++;
            lastPage.add(index, record);
            if (index >= wantedFirst && index < wantedEnd)
                scan.wanted.push_back(EventFileReader::recordAt(record));
        }
        lastPage.blockDone();
    }
    // A count that fills its last page exactly leaves the closing row alone
    // on a page of its own.
    if (scan.total % ReportPageSize == 0)
        scan.last.clear();
    scan.wantedFound = wantedPage <= scan.lastPage();
    return true;
}

} // namespace dorvan
