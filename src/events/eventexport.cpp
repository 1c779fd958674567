#include "events/eventexport.h"

#include "base/log.h"

#include <algorithm>

namespace dorvan {

namespace {

constexpr auto needsCsvQuotes = [](char c) { return c == ';' || c == '"' || c == '\n' || c == '\r'; };
constexpr auto needsJsonEscape = [](char c) { return c == '"' || c == '\\' || quint8(c) < 0x20; };

} // namespace

void appendCsvField(QByteArray &out, const QString &field)
{
    const QByteArray bytes = field.toUtf8();
    if (std::none_of(bytes.cbegin(), bytes.cend(), needsCsvQuotes)) {
        out += bytes;
        return;
    }
    out += '"';
    for (char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendJsonString(QByteArray &out, const QString &text)
{
    static constexpr char hex[] = "0123456789abcdef";
    const QByteArray bytes = text.toUtf8();
    out += '"';
    if (std::none_of(bytes.cbegin(), bytes.cend(), needsJsonEscape)) {
        out += bytes;
        out += '"';
        return;
    }
    for (char c : bytes) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (quint8(c) < 0x20) {
                out += "\\u00";
                out += hex[quint8(c) >> 4];
                out += hex[quint8(c) & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

namespace {

void appendLine(QByteArray &out, const EventRecord &record, ExportFormat format)
{
    if (format == ExportFormat::Csv) {
        appendCsvField(out, reportTimeCell(record));
        out += ';';
        appendCsvField(out, reportTextCell(record));
        out += ';';
        out += QByteArray::number(record.code);
        out += "\r\n";
    } else {
        out += "{\"time\":";
        appendJsonString(out, reportTimeCell(record));
        out += ",\"text\":";
        appendJsonString(out, reportTextCell(record));
        out += ",\"code\":";
        out += QByteArray::number(record.code);
        out += "}\n";
    }
}

} // namespace

EventExport::EventExport(QIODevice &out, ExportFormat format) : out_(out), format_(format)
{
    buffer_.reserve(BufferBytes + 4096);
}

EventExport::~EventExport() = default;

QByteArray EventExport::csvHeader()
{
    QByteArray header(csvByteOrderMark);
    appendCsvField(header, reportTimeTitle());
    header += ';';
    appendCsvField(header, reportTextTitle());
    header += ';';
    appendCsvField(header, QStringLiteral("Код"));
    header += "\r\n";
    return header;
}

QString EventExport::suffix(ExportFormat format)
{
    return format == ExportFormat::Csv ? QStringLiteral("csv") : QStringLiteral("jsonl");
}

void EventExport::writeHeader()
{
    if (headerWritten_)
        return;
    headerWritten_ = true;
    if (format_ == ExportFormat::Csv)
        buffer_ += csvHeader();
}

bool EventExport::openFile(const QString &path, ReportScope scope)
{
    if (error_ != Error::None)
        return false;
    writeHeader();
    reader_ = std::make_unique<EventFileReader>(path);
    path_ = path;
    scope_ = scope;
    if (!reader_->open()) {
        const QString reason = reader_->errorString();
        reader_.reset();
        return fail(Error::CannotOpen, path, reason);
    }
    return true;
}

bool EventExport::step()
{
    if (!reader_ || error_ != Error::None)
        return false;
    const QByteArrayView block = reader_->nextBlock();
    const char *const end = block.data() + block.size();
    for (const char *bytes = block.data(); bytes < end; bytes += EventFileReader::RecordSize) {
        if (!reportKeeps(scope_, EventFileReader::codeOf(bytes)))
            continue;
        appendLine(buffer_, EventFileReader::recordAt(bytes), format_);
        ++exported_;
        if (!flush(BufferBytes))
            return false;
    }
    if (reader_->failed())
        return fail(Error::CannotRead, path_, reader_->errorString());
    if (block.isEmpty()) {
        reader_.reset();
        return false;
    }
    return true;
}

bool EventExport::addFile(const QString &path, ReportScope scope)
{
    if (!openFile(path, scope))
        return false;
    while (step()) {
    }
    return error_ == Error::None;
}

bool EventExport::finish()
{
    writeHeader();
    reader_.reset();
    return flush(0) && error_ == Error::None;
}

bool EventExport::flush(qsizetype above)
{
    if (buffer_.size() <= above || error_ != Error::None)
        return error_ == Error::None;
    if (out_.write(buffer_) != buffer_.size())
        return fail(Error::CannotWrite, QString(), out_.errorString());
    buffer_.resize(0); // keeps its capacity
    return true;
}

bool EventExport::fail(Error error, const QString &path, const QString &reason)
{
    error_ = error;
    errorPath_ = path;
    errorReason_ = reason;
    reader_.reset();
    switch (error) {
    case Error::CannotOpen: qCWarning(lcExport, "не открывается %s: %s", qUtf8Printable(path), qUtf8Printable(reason)); break;
    case Error::CannotRead: qCWarning(lcExport, "не читается %s: %s", qUtf8Printable(path), qUtf8Printable(reason)); break;
    case Error::CannotWrite: qCWarning(lcExport, "не записывается выгрузка: %s", qUtf8Printable(reason)); break;
    case Error::None: break;
    }
    return false;
}

} // namespace dorvan
