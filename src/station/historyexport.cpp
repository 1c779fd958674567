#include "station/historyexport.h"

#include "base/daycount.h"
#include "base/options.h"
#include "base/russian.h"
#include "mqtt/brokersettings.h"
#include "station/stationconfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace dorvan::station {

namespace {

constexpr int PageRows = 2000;

void appendNumberOrNull(QByteArray &out, int number, int none)
{
    out += number == none ? QByteArray("null") : QByteArray::number(number);
}

QByteArray numberOrEmpty(int number, int none)
{
    return number == none ? QByteArray() : QByteArray::number(number);
}

void appendCsvLine(QByteArray &out, const HistoryRow &row)
{
    appendCsvField(out, historyTimeText(row.time));
    out += ';';
    appendCsvField(out, row.text);
    out += ';';
    out += numberOrEmpty(row.code, -1);
    out += ';';
    appendCsvField(out, row.site);
    out += ';';
    appendCsvField(out, row.id.text());
    out += ';';
    appendCsvField(out, row.kind);
    out += ';';
    out += numberOrEmpty(row.address, -1);
    out += ';';
    out += numberOrEmpty(row.loop, 0);
    out += ';';
    appendCsvField(out, row.received);
    out += "\r\n";
}

void appendJsonLine(QByteArray &out, const HistoryRow &row)
{
    out += "{\"time\":";
    appendJsonString(out, historyTimeText(row.time));
    out += ",\"text\":";
    appendJsonString(out, row.text);
    out += ",\"code\":";
    appendNumberOrNull(out, row.code, -1);
    out += ",\"site\":";
    appendJsonString(out, row.site);
    out += ",\"id\":";
    appendJsonString(out, row.id.text());
    out += ",\"kind\":";
    appendJsonString(out, row.kind);
    out += ",\"address\":";
    appendNumberOrNull(out, row.address, -1);
    out += ",\"loop\":";
    appendNumberOrNull(out, row.loop, 0);
    out += ",\"received\":";
    appendJsonString(out, row.received);
    out += "}\n";
}

} // namespace

HistoryExport::HistoryExport(QIODevice &out, ExportFormat format) : out_(out), format_(format)
{
    buffer_.reserve(BufferBytes + 4096);
}

QByteArray HistoryExport::csvHeader()
{
    QByteArray header = EventExport::csvHeader();
    header.chop(2); // the console's columns come first, then the station's
    for (const char16_t *title : {u"Пост", u"Запись", u"Вид", u"Адрес", u"Шлейф", u"Получено"}) {
        header += ';';
        appendCsvField(header, QString::fromUtf16(title));
    }
    header += "\r\n";
    return header;
}

void HistoryExport::writeHeader()
{
    if (headerWritten_)
        return;
    headerWritten_ = true;
    if (format_ == ExportFormat::Csv)
        buffer_ += csvHeader();
}

bool HistoryExport::add(const HistoryRow &row)
{
    writeHeader();
    if (format_ == ExportFormat::Csv)
        appendCsvLine(buffer_, row);
    else
        appendJsonLine(buffer_, row);
    ++exported_;
    return flush(BufferBytes);
}

bool HistoryExport::finish()
{
    writeHeader();
    return flush(0);
}

bool HistoryExport::flush(qsizetype above)
{
    if (!errorReason_.isEmpty())
        return false;
    if (buffer_.size() <= above)
        return true;
    if (out_.write(buffer_) != buffer_.size()) {
        errorReason_ = out_.errorString();
        return false;
    }
    buffer_.resize(0);
    return true;
}

bool exportHistory(HistoryQuery &query, const HistoryFilter &filter, HistoryExport &out, QString *error)
{
    out.writeHeader();
    HistoryCursor after;
    for (;;) {
        const std::optional<HistoryPage> page = query.page(filter, after, PageRows, error);
        if (!page)
            return false;
        for (const HistoryRow &row : page->rows) {
            if (!out.add(row)) {
                *error = QStringLiteral("не записывается выгрузка: %1").arg(out.errorReason());
                return false;
            }
        }
        if (!page->more)
            break;
        after = page->last;
    }
    if (!out.finish()) {
        *error = QStringLiteral("не записывается выгрузка: %1").arg(out.errorReason());
        return false;
    }
    return true;
}

QString historyTimeText(const QString &postTime)
{
    // The offset is kept: date() and time() are the post's wall time.
    const QDateTime time = QDateTime::fromString(postTime, Qt::ISODateWithMs);
    return time.isValid() ? ru::eventTimeText(toDayCount(time)) : postTime;
}

namespace {

constexpr OptionEntry exportOptions[] = {
    {"export", nullptr, "Write the journal's events that the options below select, and exit."},
    {"config", "FILE", "The station's configuration file, for its data-dir (default as the station chooses)."},
    {"data-dir", "DIR", "The station's data directory, whose journal.sqlite is read."},
    {"journal", "FILE", "A journal file to read instead (a copy, say)."},
    {"site", "SITE", "Events of this post only."},
    {"address", "ADDRESS", "Events of this sensor (1..65535) only."},
    {"kind", "KINDS", "Events of these kinds only, separated by commas: alarm, fault, link_lost, ..."},
    {"from", "TIME", "Events from this time of the post's clock: dd.mm.yyyy [hh:mm[:ss]]."},
    {"to", "TIME", "Events before this time; a date alone includes its day."},
    {"text", "TEXT", "Events whose text contains TEXT, whatever its case."},
    {"format", "FORMAT", "csv (default; UTF-8 with a byte-order mark, ';') or jsonl (a JSON object a line)."},
};

const QString helpHint = QStringLiteral(" Справка: dorvan-station --export --help.");

// A moment of the post's clock; a date alone is its day's start, or for the
// end of a span the next day's start, so that the day is included.
QDateTime momentOf(const QString &text, bool end)
{
    for (const char16_t *format : {u"dd.MM.yyyy HH:mm:ss", u"dd.MM.yyyy HH:mm"}) {
        const QDateTime at = QDateTime::fromString(text, QString::fromUtf16(format));
        if (at.isValid())
            return at;
    }
    const QDate day = QDate::fromString(text, u"dd.MM.yyyy");
    return day.isValid() ? QDateTime((end ? day.addDays(1) : day), QTime(0, 0)) : QDateTime();
}

struct ExportCommand
{
    HistoryFilter filter;
    ExportFormat format = ExportFormat::Csv;
    QString journal;
    QString output;
};

// The journal: --journal, else the data directory's (--data-dir, else the
// configuration's data-dir, else the station's default).
std::optional<QString> journalOf(const QCommandLineParser &parser, QString *error)
{
    if (parser.isSet(QStringLiteral("journal")))
        return parser.value(QStringLiteral("journal"));
    const QString explicitPath = parser.value(QStringLiteral("config"));
    const QString path = stationConfigPath(explicitPath);
    std::unique_ptr<QSettings> file;
    if (!parser.isSet(QStringLiteral("data-dir")) && (!explicitPath.isEmpty() || QFileInfo::exists(path))) {
        file = openConfigFile(path, {stationOptions(), mqtt::brokerOptions()}, error);
        if (!file)
            return std::nullopt;
    }
    StationSettings settings;
    settings.dataDir = OptionValues(parser, file.get()).text("data-dir").value_or(defaultDataDir());
    return journalPath(settings);
}

std::optional<HistoryFilter> filterOf(const QCommandLineParser &parser, QString *error)
{
    HistoryFilter filter;
    filter.site = parser.value(QStringLiteral("site"));
    filter.text = parser.value(QStringLiteral("text"));
    if (parser.isSet(QStringLiteral("address"))) {
        bool ok = false;
        filter.address = parser.value(QStringLiteral("address")).toInt(&ok);
        if (!ok || filter.address < 1 || filter.address > 65535) {
            *error = QStringLiteral("--address принимает номер датчика 1..65535.");
            return std::nullopt;
        }
    }
    if (parser.isSet(QStringLiteral("kind"))) {
        filter.kinds = parser.value(QStringLiteral("kind")).split(u',', Qt::SkipEmptyParts);
        for (QString &kind : filter.kinds) {
            kind = kind.trimmed();
            if (!historyKinds().contains(kind)) {
                *error = QStringLiteral("--kind принимает через запятую: %1.").arg(historyKinds().join(QStringLiteral(", ")));
                return std::nullopt;
            }
        }
    }
    for (const auto &[name, end] : {std::pair{"from", false}, std::pair{"to", true}}) {
        if (!parser.isSet(QString::fromLatin1(name)))
            continue;
        const QDateTime at = momentOf(parser.value(QString::fromLatin1(name)), end);
        if (!at.isValid()) {
            *error = QStringLiteral("--from и --to указываются в виде дд.мм.гггг, дд.мм.гггг чч:мм или дд.мм.гггг чч:мм:сс.");
            return std::nullopt;
        }
        (end ? filter.to : filter.from) = at;
    }
    if (filter.from.isValid() && filter.to.isValid() && filter.from >= filter.to) {
        *error = QStringLiteral("Время --from не раньше времени --to.");
        return std::nullopt;
    }
    return filter;
}

std::optional<ExportCommand> commandOf(const QCommandLineParser &parser, QString *error)
{
    const std::optional<HistoryFilter> filter = filterOf(parser, error);
    if (!filter)
        return std::nullopt;
    ExportCommand command;
    command.filter = *filter;
    const QString format = parser.value(QStringLiteral("format"));
    if (!format.isEmpty() && format != u"csv" && format != u"jsonl") {
        *error = QStringLiteral("--format принимает csv или jsonl.");
        return std::nullopt;
    }
    command.format = format == u"jsonl" ? ExportFormat::JsonLines : ExportFormat::Csv;
    command.output = parser.value(QStringLiteral("output"));
    return command;
}

bool sameFile(const QString &a, const QString &b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

bool exportTo(QIODevice &device, const ExportCommand &command, QString *error)
{
    HistoryQuery query(command.journal);
    if (!query.open(error))
        return false;
    HistoryExport exporter(device, command.format);
    return exportHistory(query, command.filter, exporter, error);
}

// The export's bytes go to the stream's device (standard output), not
// through its text encoding.
bool exportToStream(QTextStream &out, const ExportCommand &command, QString *error)
{
    out.flush();
    if (!out.device()) {
        *error = QStringLiteral("некуда выводить выгрузку");
        return false;
    }
    return exportTo(*out.device(), command, error);
}

// Written beside the target and renamed over it when complete, so an
// auditor never finds half an export.
bool exportToFile(const ExportCommand &command, QString *error)
{
    if (sameFile(command.output, command.journal)) {
        *error = QStringLiteral("файл вывода %1 — это журнал станции").arg(command.output);
        return false;
    }
    QSaveFile output(command.output);
    if (!output.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("не удаётся записать %1: %2").arg(command.output, output.errorString());
        return false;
    }
    if (!exportTo(output, command, error)) {
        output.cancelWriting();
        return false;
    }
    if (!output.commit()) {
        *error = QStringLiteral("не удаётся записать %1: %2").arg(command.output, output.errorString());
        return false;
    }
    return true;
}

void addExportOptions(QCommandLineParser &parser)
{
    addOptions(parser, exportOptions);
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("Write to FILE (replaced when complete) instead of standard output."),
                      QStringLiteral("FILE")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")});
}

QString helpText(const QCommandLineParser &parser)
{
    return QStringLiteral(
               "Запуск: dorvan-station --export [параметры]\n"
               "\n"
               "Выгружает события из журнала станции для электронных таблиц и проверяющих,\n"
               "как выгрузка событий пульта: по строке на событие, столбцы \"Дата и время\"\n"
               "(по часам поста), \"Наименование события\", \"Код\", затем \"Пост\", \"Запись\",\n"
               "\"Вид\", \"Адрес\", \"Шлейф\" и \"Получено\" (часы станции, UTC). События идут по\n"
               "дням: события одного поста (--site) в порядке записей его суточного файла,\n"
               "всех постов в порядке, в котором их получила станция.\n"
               "\n")
        + ru::commandLineOptions(parser.helpText());
}

} // namespace

int runHistoryExport(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    addExportOptions(parser);
    const auto usage = [&err](const QString &error) {
        err << error << helpHint << '\n';
        err.flush();
        return 2;
    };
    if (!parser.parse(arguments))
        return usage(ru::commandLineError(parser));
    if (parser.isSet(QStringLiteral("help"))) {
        out << helpText(parser);
        out.flush();
        return 0;
    }
    QString error;
    std::optional<ExportCommand> command = commandOf(parser, &error);
    if (!command)
        return usage(error);
    const std::optional<QString> journal = journalOf(parser, &error);
    if (!journal) {
        err << error << '\n';
        err.flush();
        return 1;
    }
    command->journal = *journal;
    const bool done = command->output.isEmpty() || command->output == u"-" ? exportToStream(out, *command, &error)
                                                                             : exportToFile(*command, &error);
    if (!done) {
        err << error << '\n';
        err.flush();
        return 1;
    }
    return 0;
}

bool isHistoryExport(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--export") == 0)
            return true;
    }
    return false;
}

int historyExportMain(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runHistoryExport(QCoreApplication::arguments(), out, err);
}

} // namespace dorvan::station
