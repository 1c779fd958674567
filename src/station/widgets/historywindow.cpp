#include "station/widgets/historywindow.h"

#include "station/historymodel.h"
#include "station/widgets/stationuilog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <memory>

namespace dorvan::station {

namespace {

const QString wallFormat = QStringLiteral("dd.MM.yyyy HH:mm");

// The share of the page's width of each column, in the model's order.
constexpr double columnShares[HistoryModel::ColumnCount] = {0.14, 0.08, 0.13, 0.06, 0.05, 0.48, 0.06};

QString foundText(qint64 found)
{
    const QLocale russian(QLocale::Russian);
    if (found > HistoryModel::CountCap)
        return QStringLiteral("более %1").arg(russian.toString(HistoryModel::CountCap));
    return russian.toString(found);
}

// One page's frame: the title, the search and what was cut, the table's header.
struct PageFrame
{
    QRectF area;
    qreal line = 0;
    QList<qreal> columns; // left edges, then the right edge

    void paintHead(QPainter &painter, const HistoryPrintout &printout, const QStringList &titles) const
    {
        qreal y = area.top();
        QFont bold = painter.font();
        bold.setBold(true);
        painter.save();
        painter.setFont(bold);
        painter.drawText(QRectF(area.left(), y, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter, printout.title);
        painter.restore();
        y += line;
        painter.drawText(QRectF(area.left(), y, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter, printout.filterText);
        y += line * 1.5;
        painter.save();
        painter.setFont(bold);
        for (int column = 0; column < titles.size(); ++column)
            paintCell(painter, y, column, titles.at(column));
        painter.restore();
        painter.drawLine(QPointF(area.left(), y + line), QPointF(area.right(), y + line));
    }
    qreal firstRowTop() const { return area.top() + line * 3.7; }
    int rowsPerPage() const { return qMax(1, int((area.bottom() - line * 1.5 - firstRowTop()) / line)); }

    void paintCell(QPainter &painter, qreal y, int column, const QString &text) const
    {
        const QRectF box(columns.at(column) + line * 0.15, y, columns.at(column + 1) - columns.at(column) - line * 0.3, line);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(text, Qt::ElideRight, int(box.width())));
    }
    void paintFoot(QPainter &painter, int page, int pages) const
    {
        painter.drawText(QRectF(area.left(), area.bottom() - line, area.width(), line), Qt::AlignCenter,
                         QStringLiteral("Лист %1 из %2").arg(page).arg(pages));
    }
};

PageFrame frameOf(QPainter &painter)
{
    PageFrame frame;
    frame.area = QRectF(painter.viewport()).adjusted(0, 0, -1, -1);
    frame.line = painter.fontMetrics().height() * 1.35;
    qreal left = frame.area.left();
    for (double share : columnShares) {
        frame.columns.append(left);
        left += frame.area.width() * share;
    }
    frame.columns.append(frame.area.right());
    return frame;
}

} // namespace

int paintHistory(QPagedPaintDevice &device, const HistoryPrintout &printout)
{
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    const PageFrame frame = frameOf(painter);
    const QStringList titles = HistoryModel::columnTitles();
    const int perPage = frame.rowsPerPage();
    const int pages = qMax(1, int((printout.rows.size() + perPage - 1) / perPage));
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            device.newPage();
        frame.paintHead(painter, printout, titles);
        qreal y = frame.firstRowTop();
        const qsizetype end = qMin<qsizetype>(printout.rows.size(), qsizetype(page + 1) * perPage);
        for (qsizetype row = qsizetype(page) * perPage; row < end; ++row, y += frame.line) {
            for (int column = 0; column < HistoryModel::ColumnCount; ++column)
                frame.paintCell(painter, y, column, HistoryModel::cellText(printout.rows.at(row), column));
        }
        frame.paintFoot(painter, page + 1, pages);
    }
    return pages;
}

HistoryWindow::HistoryWindow(const QString &journalPath, QAbstractItemModel *posts, QWidget *parent)
    : QWidget(parent, Qt::Window), model_(new HistoryModel(journalPath, this))
{
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("История событий"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeFilters());
    post_->setModel(posts);
    post_->setCurrentIndex(-1);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setSectionResizeMode(HistoryModel::Text, QHeaderView::Stretch);
    table_->setColumnWidth(HistoryModel::Time, fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00:00:00.000")) + 12);
    for (int column : {HistoryModel::Address, HistoryModel::Loop, HistoryModel::Code})
        table_->setColumnWidth(column, fontMetrics().horizontalAdvance(QStringLiteral("Датчик")) + 16);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    layout->addWidget(table_, 1);
    layout->addWidget(makeActions());

    connect(model_, &HistoryModel::searchStarted, this, &HistoryWindow::refreshState);
    connect(model_, &HistoryModel::searchFinished, this, &HistoryWindow::refreshState);
    connect(model_, &HistoryModel::failed, this, [this](const QString &error) { showError(error); });
    resize(1100, 650);
    refreshState();
}

HistoryWindow::~HistoryWindow() = default;

QWidget *HistoryWindow::makeFilters()
{
    auto *box = new QWidget(this);
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);

    post_ = new QComboBox(box);
    post_->setObjectName(QStringLiteral("post"));
    post_->setEditable(true);
    post_->setInsertPolicy(QComboBox::NoInsert);
    post_->lineEdit()->setPlaceholderText(QStringLiteral("все посты"));
    post_->setMinimumContentsLength(12);
    address_ = new QLineEdit(box);
    address_->setObjectName(QStringLiteral("address"));
    address_->setValidator(new QIntValidator(0, 65535, address_));
    address_->setPlaceholderText(QStringLiteral("любой"));
    address_->setMaximumWidth(address_->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));

    const QDate today = QDate::currentDate();
    fromOn_ = new QCheckBox(QStringLiteral("&С"), box);
    fromOn_->setObjectName(QStringLiteral("fromOn"));
    fromOn_->setChecked(true);
    from_ = new QDateTimeEdit(QDateTime(today, QTime(0, 0)), box);
    from_->setObjectName(QStringLiteral("from"));
    toOn_ = new QCheckBox(QStringLiteral("п&о"), box);
    toOn_->setObjectName(QStringLiteral("toOn"));
    toOn_->setChecked(true);
    to_ = new QDateTimeEdit(QDateTime(today.addDays(1), QTime(0, 0)), box);
    to_->setObjectName(QStringLiteral("to"));
    for (QDateTimeEdit *edit : {from_, to_}) {
        edit->setDisplayFormat(wallFormat);
        edit->setCalendarPopup(true);
    }
    connect(fromOn_, &QCheckBox::toggled, from_, &QWidget::setEnabled);
    connect(toOn_, &QCheckBox::toggled, to_, &QWidget::setEnabled);

    text_ = new QLineEdit(box);
    text_->setObjectName(QStringLiteral("text"));
    text_->setPlaceholderText(QStringLiteral("часть текста события, без учёта регистра"));
    find_ = new QPushButton(QStringLiteral("&Найти"), box);
    find_->setObjectName(QStringLiteral("find"));
    find_->setDefault(true);
    connect(find_, &QPushButton::clicked, this, &HistoryWindow::search);
    connect(text_, &QLineEdit::returnPressed, this, &HistoryWindow::search);

    auto *postLabel = new QLabel(QStringLiteral("&Пост:"), box);
    postLabel->setBuddy(post_);
    auto *addressLabel = new QLabel(QStringLiteral("&Датчик №:"), box);
    addressLabel->setBuddy(address_);
    auto *textLabel = new QLabel(QStringLiteral("&Текст:"), box);
    textLabel->setBuddy(text_);
    grid->addWidget(postLabel, 0, 0);
    grid->addWidget(post_, 0, 1);
    grid->addWidget(addressLabel, 0, 2);
    grid->addWidget(address_, 0, 3);
    grid->addWidget(fromOn_, 0, 4);
    grid->addWidget(from_, 0, 5);
    grid->addWidget(toOn_, 0, 6);
    grid->addWidget(to_, 0, 7);
    grid->addWidget(textLabel, 1, 0);
    grid->addWidget(text_, 1, 1, 1, 7);
    grid->addWidget(find_, 1, 8);
    grid->addWidget(makeKinds(), 2, 0, 1, 9);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget *HistoryWindow::makeKinds()
{
    auto *group = new QGroupBox(QStringLiteral("Виды событий (ни одного не отмечено — все)"), this);
    auto *grid = new QGridLayout(group);
    const QStringList kinds = historyKinds();
    for (int i = 0; i < kinds.size(); ++i) {
        auto *box = new QCheckBox(historyKindLabel(kinds.at(i)), group);
        box->setObjectName(QStringLiteral("kind_") + kinds.at(i));
        box->setProperty("kind", kinds.at(i));
        kinds_.append(box);
        grid->addWidget(box, i / 6, i % 6);
    }
    return group;
}

QWidget *HistoryWindow::makeActions()
{
    auto *bar = new QWidget(this);
    auto *line = new QHBoxLayout(bar);
    line->setContentsMargins(0, 0, 0, 0);
    found_ = new QLabel(bar);
    found_->setObjectName(QStringLiteral("found"));
    line->addWidget(found_, 1);
    const auto add = [&](const QString &text, const QString &name, auto slot) {
        auto *button = new QPushButton(text, bar);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, this, slot);
        outputs_.append(button);
        line->addWidget(button);
    };
    add(QStringLiteral("П&ечать…"), QStringLiteral("print"), [this] { print(); });
    add(QStringLiteral("Сохранить PD&F…"), QStringLiteral("pdf"), [this] { askPdf(); });
    add(QStringLiteral("&CSV…"), QStringLiteral("csv"), [this] { askExport(ExportFormat::Csv); });
    add(QStringLiteral("&JSON…"), QStringLiteral("json"), [this] { askExport(ExportFormat::JsonLines); });
    return bar;
}

HistoryFilter HistoryWindow::filterOfFields() const
{
    HistoryFilter filter;
    filter.site = post_->currentText().trimmed();
    bool number = false;
    const int address = address_->text().trimmed().toInt(&number);
    filter.address = number ? address : -1;
    for (const QCheckBox *box : kinds_) {
        if (box->isChecked())
            filter.kinds.append(box->property("kind").toString());
    }
    if (fromOn_->isChecked())
        filter.from = from_->dateTime();
    if (toOn_->isChecked())
        filter.to = to_->dateTime();
    filter.text = text_->text().trimmed();
    return filter;
}

void HistoryWindow::search()
{
    model_->search(filterOfFields());
}

void HistoryWindow::refreshState()
{
    const bool searching = model_->searching();
    if (searching)
        found_->setText(QStringLiteral("Поиск…"));
    else
        found_->setText(QStringLiteral("Найдено: %1").arg(foundText(model_->found().value_or(0))));
    for (QPushButton *button : std::as_const(outputs_))
        button->setEnabled(!searching && busy_ == 0 && model_->found().value_or(0) > 0);
}

void HistoryWindow::setBusy(bool busy)
{
    busy_ += busy ? 1 : -1;
    refreshState();
}

QString HistoryWindow::describe(const HistoryFilter &filter) const
{
    QStringList parts;
    parts.append(filter.site.isEmpty() ? QStringLiteral("все посты") : QStringLiteral("пост %1").arg(filter.site));
    if (filter.address >= 0)
        parts.append(QStringLiteral("датчик № %1").arg(filter.address));
    if (!filter.kinds.isEmpty()) {
        QStringList labels;
        for (const QString &kind : filter.kinds)
            labels.append(historyKindLabel(kind));
        parts.append(labels.join(QStringLiteral(", ")));
    }
    if (filter.from.isValid())
        parts.append(QStringLiteral("с %1").arg(filter.from.toString(wallFormat)));
    if (filter.to.isValid())
        parts.append(QStringLiteral("по %1").arg(filter.to.toString(wallFormat)));
    if (!filter.text.isEmpty())
        parts.append(QStringLiteral("текст «%1»").arg(filter.text));
    return QStringLiteral("Поиск: ") + parts.join(QStringLiteral("; "));
}

// The rows are read and painted on the model's thread: a printout of
// thousands of events takes seconds, which the window's thread (and the
// station on it) never waits for.
void HistoryWindow::printOut(std::function<QString(const HistoryPrintout &printout)> paint, const QString &path)
{
    setBusy(true);
    QString title = QStringLiteral("История событий станции — найдено %1").arg(foundText(model_->found().value_or(0)));
    const QString filterText = describe(model_->filter());
    model_->collect(
        PrintCap,
        [title, filterText, paint](const QList<HistoryRow> &rows, bool more) {
            HistoryPrintout printout{title, filterText, rows, more};
            if (more)
                printout.title += QStringLiteral(", напечатаны первые %1").arg(QLocale(QLocale::Russian).toString(rows.size()));
            return paint(printout);
        },
        [this, path](const QString &error) {
            setBusy(false);
            if (!error.isEmpty())
                showError(error);
            emit written(path, error);
        });
}

void HistoryWindow::print()
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("Печать истории"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    printOut(
        [printer](const HistoryPrintout &printout) {
            return paintHistory(*printer, printout) > 0 ? QString()
                                                        : QStringLiteral("принтер %1 не печатает").arg(printer->printerName());
        },
        printer->printerName());
}

void HistoryWindow::askPdf()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить историю в PDF"), QString(),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty())
        savePdf(path);
}

void HistoryWindow::savePdf(const QString &path)
{
    printOut(
        [path](const HistoryPrintout &printout) {
            QPdfWriter writer(path);
            writer.setTitle(printout.title);
            writer.setCreator(QStringLiteral("dorvan-station"));
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageOrientation(QPageLayout::Landscape);
            writer.setPageMargins(QMarginsF(12, 10, 12, 10), QPageLayout::Millimeter);
            return paintHistory(writer, printout) > 0 ? QString() : QStringLiteral("не удаётся записать %1").arg(path);
        },
        path);
}

void HistoryWindow::askExport(ExportFormat format)
{
    const bool csv = format == ExportFormat::Csv;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Выгрузить историю"), QString(),
                                                      csv ? QStringLiteral("CSV (*.csv)") : QStringLiteral("JSON lines (*.jsonl)"));
    if (!path.isEmpty())
        exportFile(path, format);
}

void HistoryWindow::exportFile(const QString &path, ExportFormat format)
{
    setBusy(true);
    model_->exportTo(path, format, [this, path](qint64 exported, const QString &error) {
        setBusy(false);
        if (!error.isEmpty())
            showError(error);
        else
            found_->setText(found_->text() + QStringLiteral(" — выгружено %1 в %2").arg(exported).arg(path));
        emit written(path, error);
    });
}

void HistoryWindow::showError(const QString &text)
{
    qCWarning(lcStationUi).noquote() << "history:" << text;
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace dorvan::station
