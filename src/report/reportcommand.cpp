#include "report/reportcommand.h"

#include "base/log.h"
#include "base/options.h"
#include "base/russian.h"
#include "trends/trendexport.h"
#include "trends/trendrecorder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace dorvan {

namespace {

const OptionEntry reportOptions[] = {
    {"sensor", "MODEL:ADDRESS", "Файл событий датчика в рабочем каталоге: модель MODEL 301 или 302 и его адрес "
                                "ADDRESS (например, 301:1001)."},
    {"trends", "MODEL:ADDRESS", "Записанные сигналы датчика (MODEL:ADDRESS) из data/trends.sqlite пульта; --from и "
                                "--to в виде дд.мм.гггг [чч:мм[:сс]] (по умолчанию последние сутки)."},
    {"minutes", nullptr, "С --trends: минимум, среднее и максимум за каждую минуту вместо каждого ответа (старше 48 "
                         "часов всегда так)."},
    {"from", "DATE", "Суточные файлы событий с этого дня (дд.мм.гггг), вместе с --to."},
    {"to", "DATE", "Суточные файлы событий по этот день включительно."},
    {"workdir", "DIR", "Рабочий каталог пульта, для --sensor и --from (по умолчанию тот же, что выбирает пульт)."},
    {"filter", "FILTER", "Отбор сообщений, как в протоколе: all (\"Все\", по умолчанию), alarms (\"Тревожные\") или "
                         "link-losses (\"Потери связи\")."},
    {"format", "FORMAT", "csv (по умолчанию; UTF-8 с меткой порядка байтов, ';') или jsonl (по объекту JSON в строке)."},
    {"output", "FILE", "Записать в файл FILE (он заменяется по окончании) вместо стандартного вывода.", "o"},
};

void addReportOptions(QCommandLineParser &parser)
{
    addOptions(parser, reportOptions);
    addOptions(parser, helpAndVersionOptions());
}

std::optional<ReportScope> scopeNamed(const QString &name)
{
    if (name == u"all")
        return ReportScope::All;
    if (name == u"alarms")
        return ReportScope::Alarms;
    if (name == u"link-losses")
        return ReportScope::LinkLosses;
    return std::nullopt;
}

QString sensorFile(int model, quint32 address)
{
    return (model == 0 ? QStringLiteral("Dorvan301DK_mess/") : QStringLiteral("Dorvan302DK_mess/"))
        + QString::number(address);
}

QString dailyDirectory(const QString &workDir)
{
    return workDir + QStringLiteral("/QReport");
}

// The days without a file, for a note: the first few of them.
QString listDays(const QList<QDate> &days)
{
    constexpr int Shown = 10;
    QStringList texts;
    for (qsizetype i = 0; i < days.size() && i < Shown; ++i)
        texts.append(ru::shortDate(days[i]));
    QString text = texts.join(QStringLiteral(", "));
    if (days.size() > Shown)
        text += QStringLiteral(" и ещё %1").arg(days.size() - Shown);
    return text;
}

bool sameFile(const QString &a, const QString &b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// The event files a command reads, in order: the one file, or the daily
// file of each day of the range that has one.
struct ReportSources
{
    QString workDir;
    QStringList files;
    QList<QDate> missingDays;
};

ReportSources reportSources(const ReportCommand &command, const QString &workDir)
{
    ReportSources sources;
    sources.workDir = workDir;
    switch (command.input) {
    case ReportCommand::Input::File: sources.files.append(command.file); break;
    case ReportCommand::Input::Sensor:
        sources.files.append(workDir + u'/' + sensorFile(command.model, command.address));
        break;
    case ReportCommand::Input::Trends: break;
    case ReportCommand::Input::Days:
        for (QDate day = command.from; day <= command.to; day = day.addDays(1)) {
            const QString path = dailyDirectory(workDir) + u'/' + ru::shortDate(day);
            if (QFileInfo::exists(path))
                sources.files.append(path);
            else
                sources.missingDays.append(day);
        }
        break;
    }
    return sources;
}

// Worded as the event files' failures are: what could not be opened or
// read, and why ("нет доступа", "нет такого файла или каталога", "файл повреждён").
int exportTrends(const ReportCommand &command, const QString &workDir, QIODevice &out)
{
    const QString path = TrendRecorder::storePath(workDir);
    TrendStore store(path, TrendStore::Mode::ReadOnly);
    store.allowReadingAsItLies();
    if (!store.open()) {
        qCWarning(lcReport, "не открывается %s: %s", qUtf8Printable(QDir::toNativeSeparators(path)),
                  qUtf8Printable(store.reason()));
        return 1;
    }
    if (!exportTrend(store, trendSensorKey(command.model, quint16(command.address)),
                     command.trendsFrom.toMSecsSinceEpoch(), command.trendsTo.toMSecsSinceEpoch(),
                     QDateTime::currentMSecsSinceEpoch(), command.format, out, command.minutes)) {
        if (store.fault() != TrendStore::Fault::None)
            qCWarning(lcReport, "не читается %s: %s", qUtf8Printable(QDir::toNativeSeparators(path)),
                      qUtf8Printable(store.reason()));
        else
            qCWarning(lcReport, "не записывается выгрузка: %s", qUtf8Printable(out.errorString()));
        return 1;
    }
    return 0;
}

int exportSources(const ReportCommand &command, const ReportSources &sources, QIODevice &out)
{
    if (command.input == ReportCommand::Input::Trends)
        return exportTrends(command, sources.workDir, out);
    EventExport exporter(out, command.format);
    exporter.writeHeader();
    for (const QString &file : sources.files) {
        if (!exporter.addFile(file, command.scope))
            return 1;
    }
    return exporter.finish() ? 0 : 1;
}

} // namespace

QString ReportCommand::helpText()
{
    QCommandLineParser parser;
    addReportOptions(parser);
    const QString generated = parser.helpText();
    return QStringLiteral(
               "Запуск: dorvan-report [параметры] FILE\n"
               "        dorvan-report [параметры] --sensor MODEL:ADDRESS\n"
               "        dorvan-report [параметры] --from DATE --to DATE\n"
               "        dorvan-report [параметры] --trends MODEL:ADDRESS [--from TIME] [--to TIME] [--minutes]\n"
               "\n"
               "Выгружает файлы событий пульта Дорван так, как их показывает протокол событий,\n"
               "для электронных таблиц и проверяющих: по строке на событие со столбцами\n"
               "\"Дата и время\", \"Наименование события\" и \"Код\". FILE — суточный файл событий\n"
               "(QReport/дд.мм.гггг) или файл событий датчика; для диапазона дней читаются\n"
               "по порядку суточные файлы тех дней, за которые они есть.\n"
               "\n"
               "--trends выгружает вместо событий записанные пороги и сигналы шлейфов датчика: по\n"
               "строке на ответ (\"Дата и время\", \"Порог 1\", \"Сигнал 1\", \"Порог 2\", \"Сигнал 2\",\n"
               "\"Время ответа, мс\") или по строке в минуту с минимумом, средним и максимумом.\n"
               "\n")
        + ru::commandLineOptions(generated);
}

ReportCommand parseReportCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    addReportOptions(parser);
    const OptionValues options(parser, nullptr);

    ReportCommand command;
    const auto usage = [&command](const QString &error) {
        command.action = ReportCommand::Action::Usage;
        command.error = error;
        return command;
    };
    if (!parser.parse(arguments))
        return usage(ru::commandLineError(parser));
    if (options.has("help")) {
        command.action = ReportCommand::Action::Help;
        return command;
    }
    if (options.has("version")) {
        command.action = ReportCommand::Action::Version;
        return command;
    }

    const std::optional<ReportScope> scope = scopeNamed(options.text("filter").value_or(QStringLiteral("all")));
    if (!scope)
        return usage(QStringLiteral("--filter принимает all, alarms или link-losses."));
    command.scope = *scope;
    const QString format = options.text("format").value_or(QStringLiteral("csv"));
    if (format != u"csv" && format != u"jsonl")
        return usage(QStringLiteral("--format принимает csv или jsonl."));
    command.format = format == u"csv" ? ExportFormat::Csv : ExportFormat::JsonLines;
    command.output = options.text("output").value_or(QString());
    command.workDir = options.text("workdir").value_or(QString());

    const QStringList files = parser.positionalArguments();
    const bool trends = options.has("trends");
    const bool days = !trends && (options.has("from") || options.has("to"));
    const int inputs = int(!files.isEmpty()) + int(options.has("sensor")) + int(days) + int(trends);
    if (inputs != 1 || files.size() > 1)
        return usage(QStringLiteral("Укажите один источник: файл событий, --sensor MODEL:ADDRESS, --from и --to "
                                    "или --trends MODEL:ADDRESS."));
    const auto sensorNamed = [&command](const QString &text) {
        const QStringList parts = text.split(u':');
        bool ok = parts.size() == 2 && (parts[0] == u"301" || parts[0] == u"302");
        const uint address = ok ? parts[1].toUInt(&ok) : 0;
        if (!ok || address < 1 || address > 65535)
            return false;
        command.model = parts[0] == u"301" ? 0 : 1;
        command.address = address;
        return true;
    };

    if (trends) {
        command.input = ReportCommand::Input::Trends;
        if (!sensorNamed(*options.text("trends")))
            return usage(QStringLiteral("--trends принимает MODEL:ADDRESS: 301 или 302 и 1..65535 (например, 302:2001)."));
        command.minutes = options.has("minutes");
        const auto moment = [](const QString &text, bool end) {
            for (const char16_t *format : {u"dd.MM.yyyy HH:mm:ss", u"dd.MM.yyyy HH:mm"}) {
                const QDateTime at = QDateTime::fromString(text, QString::fromUtf16(format));
                if (at.isValid())
                    return at;
            }
            // A date alone: the day's start, or for --to the day's end.
            const QDate day = QDate::fromString(text, u"dd.MM.yyyy");
            return day.isValid() ? (end ? day.addDays(1) : day).startOfDay() : QDateTime();
        };
        const QDateTime now = QDateTime::currentDateTime();
        command.trendsTo = options.has("to") ? moment(*options.text("to"), true) : now;
        command.trendsFrom = options.has("from") ? moment(*options.text("from"), false) : command.trendsTo.addDays(-1);
        if (!command.trendsFrom.isValid() || !command.trendsTo.isValid())
            return usage(QStringLiteral("--from и --to указываются в виде дд.мм.гггг, дд.мм.гггг чч:мм или дд.мм.гггг чч:мм:сс."));
        if (command.trendsFrom >= command.trendsTo)
            return usage(QStringLiteral("Время --from не раньше времени --to."));
        return command;
    }
    if (options.has("minutes"))
        return usage(QStringLiteral("--minutes указывается вместе с --trends."));

    if (!files.isEmpty()) {
        command.input = ReportCommand::Input::File;
        command.file = files.constFirst();
    } else if (options.has("sensor")) {
        command.input = ReportCommand::Input::Sensor;
        if (!sensorNamed(*options.text("sensor")))
            return usage(QStringLiteral("--sensor принимает MODEL:ADDRESS: 301 или 302 и 1..65535 (например, 301:1001)."));
    } else {
        command.input = ReportCommand::Input::Days;
        command.from = QDate::fromString(options.text("from").value_or(QString()), u"dd.MM.yyyy");
        command.to = QDate::fromString(options.text("to").value_or(QString()), u"dd.MM.yyyy");
        if (!command.from.isValid() || !command.to.isValid())
            return usage(QStringLiteral("--from и --to указываются вместе, даты в виде дд.мм.гггг."));
        if (command.from > command.to)
            return usage(QStringLiteral("Дата --from позже даты --to."));
    }
    return command;
}

int runReportProgram(const QStringList &arguments, QIODevice &standardOutput, const ConfigFiles &configFiles,
                     const QString &currentDir)
{
    const ReportCommand command = parseReportCommand(arguments);
    switch (command.action) {
    case ReportCommand::Action::Help: standardOutput.write(ReportCommand::helpText().toUtf8()); return 0;
    case ReportCommand::Action::Version:
        standardOutput.write(QStringLiteral("dorvan-report %1\n").arg(QCoreApplication::applicationVersion()).toUtf8());
        return 0;
    case ReportCommand::Action::Usage:
        qCWarning(lcReport, "%s Справка: dorvan-report --help.", qUtf8Printable(command.error));
        return 2;
    case ReportCommand::Action::Export: break;
    }

    QString workDir;
    if (command.input != ReportCommand::Input::File) {
        const WorkDirChoice choice = chooseWorkDir(command.workDir, configFiles, currentDir);
        if (choice.failed())
            return 1; // the configuration file's problem is logged where it was read
        workDir = choice.dir;
    }
    if (command.input == ReportCommand::Input::Days && !QFileInfo(dailyDirectory(workDir)).isDir()) {
        qCWarning(lcReport, "в %s нет каталога QReport: это не рабочий каталог пульта (см. --workdir)",
                  qUtf8Printable(workDir));
        return 1;
    }
    const ReportSources sources = reportSources(command, workDir);
    if (!sources.missingDays.isEmpty())
        qCInfo(lcReport, "нет суточного файла событий за %lld из %lld дн.: %s", qlonglong(sources.missingDays.size()),
               qlonglong(command.from.daysTo(command.to) + 1), qUtf8Printable(listDays(sources.missingDays)));

    if (command.output.isEmpty() || command.output == u"-")
        return exportSources(command, sources, standardOutput);

    for (const QString &file : sources.files) {
        if (sameFile(file, command.output)) {
            qCWarning(lcReport, "файл вывода %s — один из читаемых файлов событий", qUtf8Printable(command.output));
            return 1;
        }
    }
    // Written beside the target and renamed over it when complete, so an
    // auditor never finds half an export.
    QSaveFile output(command.output);
    if (!output.open(QIODevice::WriteOnly)) {
        qCWarning(lcReport, "не удаётся записать %s: %s", qUtf8Printable(command.output),
                  qUtf8Printable(output.errorString()));
        return 1;
    }
    if (exportSources(command, sources, output) != 0) {
        output.cancelWriting();
        return 1;
    }
    if (!output.commit()) {
        qCWarning(lcReport, "не удаётся записать %s: %s", qUtf8Printable(command.output),
                  qUtf8Printable(output.errorString()));
        return 1;
    }
    return 0;
}

} // namespace dorvan
