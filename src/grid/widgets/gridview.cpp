#include "grid/widgets/gridview.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace dorvan {

QColor toQColor(quint32 colour)
{
    if ((colour >> 24) == 0xFF) {
        switch (colour & 0xFF) {
        case 15: return QColor(0xF0, 0xF0, 0xF0); // button face
        case 24: return QColor(0xFF, 0xFF, 0xE1); // tooltip background
        case 5: return Qt::white;                 // window
        case 8: return Qt::black;                 // window text
        default: return QColor(0xF0, 0xF0, 0xF0);
        }
    }
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

namespace {

constexpr int CellPadding = 2;

// Shows the text of a cell (its rectangle in the widget) as a tooltip when
// it needs more than `room` pixels, else hides a tooltip shown for another.
void tipIfCut(const QHelpEvent *event, QWidget *widget, const QRect &cell, const QString &text,
              const QFontMetrics &metrics, int room)
{
    if (!text.isEmpty() && metrics.horizontalAdvance(text) > room)
        QToolTip::showText(event->globalPos(), text, widget, cell);
    else
        QToolTip::hideText();
}

} // namespace

QFont RowStyleDelegate::cellFont(const QStyleOptionViewItem &option, const QModelIndex &index)
{
    QFont font = option.font;
    const QVariant fontName = index.data(TextGridModel::FontNameRole);
    if (fontName.isValid() && fontName.toString() != QLatin1String("MS Sans Serif"))
        font.setFamily(fontName.toString());
    return font;
}

bool RowStyleDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                 const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QRect shown = option.rect.intersected(view->viewport()->rect());
    tipIfCut(event, view->viewport(), shown, index.data(Qt::DisplayRole).toString(),
             QFontMetrics(cellFont(option, index)), shown.width() - 2 * CellPadding);
    return true;
}

void RowStyleDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    const QVariant background = index.data(TextGridModel::BackgroundColourRole);
    const QVariant fontColour = index.data(TextGridModel::FontColourRole);
    const bool selected = (option.state & QStyle::State_Selected) && selectionColour.isValid();

    QColor fill = option.palette.color(QPalette::Base);
    if (background.isValid())
        fill = toQColor(background.toUInt());
    if (selected)
        fill = selectionColour;
    painter->fillRect(option.rect, fill);

    painter->save();
    painter->setFont(cellFont(option, index));
    painter->setPen(fontColour.isValid() ? toQColor(fontColour.toUInt())
                                         : option.palette.color(QPalette::Text));
    const QRect textRect = option.rect.adjusted(CellPadding, 0, -CellPadding, 0);
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();

    if (option.state & QStyle::State_HasFocus) {
        painter->save();
        painter->setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
}

StringGridView::StringGridView(TextGridModel *model, QWidget *parent)
    : QTableView(parent), model_(model), delegate_(new RowStyleDelegate(this))
{
    setModel(model);
    setItemDelegate(delegate_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setWordWrap(false);
    setGridStyle(Qt::SolidLine);
    horizontalHeader()->viewport()->installEventFilter(this);
}

bool StringGridView::eventFilter(QObject *watched, QEvent *event)
{
    if (fixedColumn_ && watched == fixedColumn_->viewport())
        return pressOnFixedCell(event) || QTableView::eventFilter(watched, event);
    if (event->type() != QEvent::ToolTip)
        return QTableView::eventFilter(watched, event);
    auto *header = qobject_cast<QHeaderView *>(watched->parent());
    if (!header)
        return QTableView::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const int column = header->logicalIndexAt(help->pos());
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const QRect section(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                        header->viewport()->height());
    tipIfCut(help, header->viewport(), section,
             header->model()->headerData(column, Qt::Horizontal).toString(),
             header->fontMetrics(), header->sectionSize(column) - 2 * margin);
    return true;
}

void StringGridView::setColumnWidths(const QList<int> &widths)
{
    for (int column = 0; column < widths.size(); ++column)
        setColumnWidth(column, widths[column]);
}

void StringGridView::keepHeadersWhole()
{
    const auto widen = [this](Qt::Orientation orientation, int first, int last) {
        if (orientation != Qt::Horizontal)
            return;
        for (int column = first; column <= last; ++column)
            setColumnWidth(column,
                           std::max(columnWidth(column), horizontalHeader()->sectionSizeHint(column)));
    };
    connect(model(), &QAbstractItemModel::headerDataChanged, this, widen);
    widen(Qt::Horizontal, 0, model()->columnCount() - 1);
}

void StringGridView::setRowHeight(int pixels)
{
    for (QTableView *view : {static_cast<QTableView *>(this), fixedColumn_}) {
        if (!view)
            continue;
        view->verticalHeader()->setMinimumSectionSize(1);
        view->verticalHeader()->setDefaultSectionSize(pixels);
    }
}

void StringGridView::fixLeadingColumns(int count)
{
    if (fixedColumn_)
        return;
    fixedCount_ = count;
    fixedColumn_ = new QTableView(this);
    // A style sheet on the grid keeps its font from reaching a child view.
    fixedColumn_->setFont(font());
    fixedColumn_->setModel(model());
    // The same painting and the same selection as the grid's own cells.
    fixedColumn_->setItemDelegate(delegate_);
    fixedColumn_->setSelectionModel(selectionModel());
    fixedColumn_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fixedColumn_->setSelectionMode(QAbstractItemView::NoSelection);
    fixedColumn_->setFocusPolicy(Qt::NoFocus);
    fixedColumn_->setFrameShape(QFrame::NoFrame);
    fixedColumn_->setWordWrap(false);
    fixedColumn_->setGridStyle(gridStyle());
    fixedColumn_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixedColumn_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixedColumn_->verticalHeader()->hide();
    fixedColumn_->verticalHeader()->setMinimumSectionSize(1);
    fixedColumn_->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    QHeaderView *header = fixedColumn_->horizontalHeader();
    header->setFont(horizontalHeader()->font());
    header->viewport()->installEventFilter(this);
    header->setHighlightSections(false);
    header->setDefaultAlignment(horizontalHeader()->defaultAlignment());
    header->setSectionResizeMode(horizontalHeader()->sectionResizeMode(0));
    for (int column = 0; column < model()->columnCount(); ++column) {
        fixedColumn_->setColumnHidden(column, column >= count);
        if (column < count)
            fixedColumn_->setColumnWidth(column, columnWidth(column));
    }
    fixedColumn_->viewport()->installEventFilter(this);

    // Scrolled by pixels, the first scrolled column can come to rest right
    // beside the fixed ones instead of half under them.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    viewport()->stackUnder(fixedColumn_);

    // Either header resizes a fixed column in both views.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column >= fixedCount_)
            return;
        fixedColumn_->setColumnWidth(column, size);
        placeFixedColumn();
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column < fixedCount_)
            setColumnWidth(column, size);
    });
    // Rows scroll together, also while one view's range is still catching up
    // with new rows.
    QScrollBar *rows = verticalScrollBar();
    QScrollBar *fixedRows = fixedColumn_->verticalScrollBar();
    connect(rows, &QScrollBar::valueChanged, fixedRows, &QScrollBar::setValue);
    connect(fixedRows, &QScrollBar::valueChanged, rows, &QScrollBar::setValue);
    connect(fixedRows, &QScrollBar::rangeChanged, this,
            [rows, fixedRows] { fixedRows->setValue(rows->value()); });
    // The context menu is the grid's wherever the operator asks for it.
    fixedColumn_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(fixedColumn_, &QWidget::customContextMenuRequested, this, [this](const QPoint &point) {
        if (contextMenuPolicy() == Qt::CustomContextMenu)
            emit customContextMenuRequested(
                viewport()->mapFromGlobal(fixedColumn_->viewport()->mapToGlobal(point)));
    });
    fixedColumn_->show();
    placeFixedColumn();
}

int StringGridView::fixedWidth() const
{
    int width = 0;
    for (int column = 0; column < fixedCount_; ++column)
        width += columnWidth(column);
    return width;
}

void StringGridView::placeFixedColumn()
{
    if (!fixedColumn_)
        return;
    const int headerHeight = horizontalHeader()->height();
    fixedColumn_->horizontalHeader()->setFixedHeight(headerHeight);
    fixedColumn_->setGeometry(frameWidth(), frameWidth(), fixedWidth(),
                              headerHeight + viewport()->height());
}

// A press on a fixed cell acts on the same cell of the grid, wherever the
// grid has scrolled it.
bool StringGridView::pressOnFixedCell(QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const auto *press = static_cast<QMouseEvent *>(event);
    const QModelIndex index = fixedColumn_->indexAt(press->position().toPoint());
    if (index.isValid())
        fixedCellPressed(index, press->button());
    return true;
}

void StringGridView::fixedCellPressed(const QModelIndex &index, Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        setCurrentIndex(index);
}

void StringGridView::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange && fixedColumn_)
        fixedColumn_->setFont(font());
}

void StringGridView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    placeFixedColumn();
}

void StringGridView::updateGeometries()
{
    QTableView::updateGeometries();
    placeFixedColumn();
}

// Scrolling to a cell must not leave it under the fixed column; a cell of
// the fixed column itself needs no sideways scrolling.
void StringGridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QScrollBar *sideways = horizontalScrollBar();
    const int across = sideways->value();
    QTableView::scrollTo(index, hint);
    if (!fixedColumn_ || !index.isValid())
        return;
    if (index.column() < fixedCount_) {
        sideways->setValue(across);
        return;
    }
    const int hidden = fixedColumn_->width() - visualRect(index).left();
    if (hidden > 0)
        sideways->setValue(sideways->value() - hidden);
}

} // namespace dorvan
