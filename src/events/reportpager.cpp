#include "events/reportpager.h"

#include "base/russian.h"
#include "events/eventexport.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace dorvan {

struct ReportPager::ExportJob
{
    ExportJob(const QString &target, ExportFormat format) : file(target), exporter(file, format) {}

    QSaveFile file;
    EventExport exporter;
};

ReportPager::ReportPager(ConsoleContext &context, QObject *parent)
    : QObject(parent), context_(context), AdvStringGrid2(2, 2), exportDirectory_(QDir::homePath())
{
    exportTimer_.setInterval(0);
    connect(&exportTimer_, &QTimer::timeout, this, &ReportPager::exportStep);
}

ReportPager::~ReportPager() = default;

QString ReportPager::dialogDirectory(ReportKind which) const
{
    switch (which) {
    case ReportKind::Model302: return context_.path(QStringLiteral("Dorvan302DK_mess"));
    case ReportKind::Daily: return context_.path(QStringLiteral("QReport"));
    case ReportKind::Model301: break;
    }
    return context_.path(QStringLiteral("Dorvan301DK_mess"));
}

void ReportPager::FormActivate()
{
    AdvStringGrid2.setCell(0, 0, reportTimeTitle());
    AdvStringGrid2.setCell(1, 0, reportTextTitle());
}

void ReportPager::resetState()
{
    reportTotal_ = 0;
    reportPageRows_ = 0;
    reportLastPage_ = 0;
    reportPage_ = 0;
    reportWantedPage_ = -1;
}

void ReportPager::sensorReport(quint32 address, int model)
{
    resetState();
    const QString directory = model == 0 ? QStringLiteral("Dorvan301DK_mess/")
                                         : QStringLiteral("Dorvan302DK_mess/");
    loadPath(context_.path(directory + QString::number(address)));
    emit stateChanged();
}

void ReportPager::BitBtn1Click()
{
    resetState();
    const bool mustExist = kind != ReportKind::Daily;
    const std::optional<QString> chosen = context_.prompter.openFile(dialogDirectory(kind), mustExist);
    if (chosen)
        loadPath(*chosen);
    emit stateChanged();
}

void ReportPager::refuseFile(const QString &path)
{
    context_.prompter.message(QStringLiteral("Файл не удается открыть: ") + path,
                              Prompter::applicationTitle(), Prompter::Icon::Information);
}

void ReportPager::loadPath(const QString &path)
{
    // reportPath holds at most 199 characters: a longer path is refused
    // rather than cut to the name of some other file.
    if (path.size() > MaxPathLength) {
        refuseFile(path);
        return;
    }
    reportPath_ = path;
    ReportScan scan;
    if (!readFile(reportWantedPage_, scan)) {
        refuseFile(path);
        return;
    }
    pagesVisible_ = true;
    // What an earlier export said belongs to the selection before this one.
    if (!exporting())
        exportText_.clear();
    shownFileText_ = QStringLiteral("Файл: %1").arg(
        QDir(context_.workDir).relativeFilePath(QFileInfo(path).absoluteFilePath()));
    showPage(scan.last, true);
    selectRow(1);
    selectRow(AdvStringGrid2.gridRowCount() - 1);
    reportLastPage_ = reportPage_ = reportTotal_ / PageSize;
    showTexts();
    spinMaximum_ = reportLastPage_ + 1;
    spinValue_ = reportLastPage_ + 1;
}

bool ReportPager::readFile(qint32 wantedPage, ReportScan &scan)
{
    if (!scanEventFile(reportPath_, scope, wantedPage, scan))
        return false;
    shownPath_ = reportPath_;
    shownScope_ = scope;
    // The state as it stands after the last record and the closing row were placed.
    reportTotal_ = scan.total;
    reportPage_ = scan.lastPage();
    reportPageRows_ = scan.lastPageRows();
    return true;
}

void ReportPager::BButPrevClick(PageButton button)
{
    qint32 wanted = 0;
    switch (button) {
    case PageButton::First: wanted = 0; break;
    case PageButton::Previous: wanted = std::max(reportPage_ - 1, 0); break;
    case PageButton::Next: wanted = std::min(reportPage_ + 1, reportLastPage_); break;
    case PageButton::Last: wanted = reportLastPage_; break;
    case PageButton::Go: wanted = spinValue_ - 1; break;
    }

    resetState();
    reportWantedPage_ = wanted;
    ReportScan scan;
    if (!readFile(wanted, scan)) {
        context_.prompter.message(QStringLiteral("BButPrevClick: файл не удается открыть"),
                                  Prompter::applicationTitle(), Prompter::Icon::Information);
        emit stateChanged();
        return;
    }
    // A page past the end (the filter now keeps fewer records than when the
    // buttons were last set) would show an empty page under a number the
    // summary denies; the last page is shown instead.
    if (!scan.wantedFound)
        reportWantedPage_ = wanted = reportPage_;

    if (wanted == reportPage_)
        showPage(scan.last, true);
    else
        showPage(scan.wanted, false);
    selectRow(1);
    if (button == PageButton::First || button == PageButton::Previous)
        selectRow(AdvStringGrid2.gridRowCount() - 1);
    reportPage_ = wanted;
    reportLastPage_ = reportTotal_ / PageSize;
    showTexts();
    spinValue_ = wanted + 1;
    emit stateChanged();
}

// Fills the grid with one page: its records, then the closing row when the
// page is the last one; a page that is not the last ends in an empty row.
void ReportPager::showPage(const std::vector<EventRecord> &records, bool withClosingRow)
{
    const int placed = int(records.size()) + (withClosingRow ? 1 : 0);
    AdvStringGrid2.setGridRowCount(2);
    AdvStringGrid2.clearRow(1, 0, 1);
    AdvStringGrid2.clearRowStyle(1);
    AdvStringGrid2.setGridRowCount(withClosingRow ? placed + 1 : PageSize + 2);
    int row = 1;
    for (const EventRecord &record : records)
        placeRow(row++, &record);
    if (withClosingRow)
        placeRow(row, nullptr);
    AdvStringGrid2.repaint();
}

void ReportPager::placeRow(int row, const EventRecord *record)
{
    RowStyle style;
    style.background = Colour::InfoBackground;
    style.fontName = QStringLiteral("MS Sans Serif");
    style.fontSize = 9;
    style.fontColor = eventFontColour(record ? record->code : ClosingRowCode);
    AdvStringGrid2.setRowStyle(row, style);
    AdvStringGrid2.setCell(0, row, record ? reportTimeCell(*record) : QString());
    AdvStringGrid2.setCell(1, row, record ? reportTextCell(*record) : QString());
}

void ReportPager::selectRow(int row)
{
    selectedRow_ = row;
    emit rowSelected(row);
}

void ReportPager::showTexts()
{
    summaryText_ = QStringLiteral(" Отобрано %1 сообщений. Всего %2 страниц (по %3 сообщений)")
                       .arg(reportTotal_)
                       .arg(reportLastPage_ + 1)
                       .arg(PageSize);
    pageText_ = QStringLiteral(" Стр. %1").arg(reportPage_ + 1);
}

int ReportPager::CSpinEdProtChange(const QString &text)
{
    if (text.isEmpty())
        return spinValue_;
    const std::optional<qint32> number = ru::parseInt32(text);
    spinValue_ = number ? std::clamp(*number, 1, spinMaximum_) : 1;
    return spinValue_;
}

namespace {

const QStringList exportFilters = {QStringLiteral("CSV (*.csv)"), QStringLiteral("JSON Lines (*.jsonl)")};

QString scopeName(ReportScope scope)
{
    switch (scope) {
    case ReportScope::Alarms: return QStringLiteral("Тревожные");
    case ReportScope::LinkLosses: return QStringLiteral("Потери связи");
    case ReportScope::All: break;
    }
    return QStringLiteral("Все");
}

// "Протокол Дорван-301ДК 1001 (Тревожные).csv", "Протокол 06.12.2026.csv".
QString suggestedExportName(const QString &path, ReportScope scope)
{
    const QFileInfo file(path);
    const QString directory = file.dir().dirName();
    QString name = QStringLiteral("Протокол ");
    if (directory == u"Dorvan301DK_mess")
        name += QStringLiteral("Дорван-301ДК ");
    else if (directory == u"Dorvan302DK_mess")
        name += QStringLiteral("Дорван-302ДК ");
    name += file.fileName();
    if (scope != ReportScope::All)
        name += QStringLiteral(" (") + scopeName(scope) + u')';
    return name + QStringLiteral(".csv");
}

// The operator's text of an export that stopped on an error of the exporter.
QString exportFailure(const EventExport &exporter, const QString &target)
{
    if (exporter.error() == EventExport::Error::CannotWrite)
        return QStringLiteral("Экспорт: не удалось записать файл %1: %2").arg(target, exporter.errorReason());
    return QStringLiteral("Экспорт: не удалось прочитать файл %1: %2").arg(exporter.errorPath(), exporter.errorReason());
}

} // namespace

void ReportPager::BitBtnExportClick()
{
    if (exportJob_)
        return;
    if (shownPath_.isEmpty()) {
        context_.prompter.message(QStringLiteral("Нечего экспортировать: сначала откройте протокол кнопкой \"Открыть\""),
                                  Prompter::applicationTitle(), Prompter::Icon::Information);
        return;
    }
    const std::optional<Prompter::SavedFile> chosen = context_.prompter.saveFile(
        exportDirectory_ + u'/' + suggestedExportName(shownPath_, shownScope_), exportFilters);
    if (!chosen)
        return;
    const ExportFormat format = chosen->filter == 1 ? ExportFormat::JsonLines : ExportFormat::Csv;
    QString target = chosen->path;
    if (QFileInfo(target).suffix().isEmpty())
        target += u'.' + EventExport::suffix(format);
    exportDirectory_ = QFileInfo(target).absolutePath();
    const QString source = QFileInfo(shownPath_).canonicalFilePath();
    if (!source.isEmpty() && source == QFileInfo(target).canonicalFilePath()) {
        context_.prompter.error(QStringLiteral("Экспорт не может заменить сам файл протокола ") + shownPath_);
        return;
    }

    exportJob_ = std::make_unique<ExportJob>(target, format);
    if (!exportJob_->file.open(QIODevice::WriteOnly)) {
        endExport(QStringLiteral("Экспорт: не удалось записать файл %1: %2").arg(target, exportJob_->file.errorString()));
        return;
    }
    if (!exportJob_->exporter.openFile(shownPath_, shownScope_)) {
        endExport(exportFailure(exportJob_->exporter, target));
        return;
    }
    exportText_ = QStringLiteral("Экспорт в файл %1…").arg(target);
    exportTimer_.start();
    emit stateChanged();
}

bool ReportPager::exportStep()
{
    if (!exportJob_)
        return false;
    EventExport &exporter = exportJob_->exporter;
    if (exporter.step()) {
        exportText_ = QStringLiteral("Экспорт: %1 сообщений…").arg(exporter.exported());
        emit stateChanged();
        return true;
    }
    const QString target = exportJob_->file.fileName();
    if (exporter.error() != EventExport::Error::None) {
        endExport(exportFailure(exporter, target));
        return false;
    }
    if (!exporter.finish() || !exportJob_->file.commit()) {
        const QString reason = exporter.error() != EventExport::Error::None ? exporter.errorReason()
                                                                             : exportJob_->file.errorString();
        endExport(QStringLiteral("Экспорт: не удалось записать файл %1: %2").arg(target, reason));
        return false;
    }
    exportText_ = QStringLiteral("Экспортировано %1 сообщений в файл %2").arg(exporter.exported()).arg(target);
    endExport(QString());
    return false;
}

// A failed export leaves no file behind: the save file is dropped uncommitted.
void ReportPager::endExport(const QString &failure)
{
    exportTimer_.stop();
    exportJob_.reset();
    if (!failure.isEmpty()) {
        exportText_ = QStringLiteral("Экспорт не выполнен");
        context_.faults.error(LogArea::Files, failure);
    }
    emit stateChanged();
}

void ReportPager::setSpinValue(int value)
{
    spinValue_ = std::clamp(value, 1, spinMaximum_);
}

} // namespace dorvan
