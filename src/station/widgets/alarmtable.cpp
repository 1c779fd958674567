#include "station/widgets/alarmtable.h"

#include "station/models.h"
#include "station/widgets/tonepaint.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace dorvan::station {

void ToneRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QModelIndex first = index.siblingAtColumn(0);
    const bool blinking = first.data(BlinkRole).toBool();
    const TonePaint colours = tonePaint(toneOf(first.data(ToneRole)), blinking && blinkOff_);

    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    cell.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    cell.backgroundBrush = colours.fill;
    cell.palette.setColor(QPalette::Text, colours.ink);
    const bool chosen = option.state & QStyle::State_Selected;
    if (chosen)
        cell.font.setBold(true);

    painter->save();
    painter->fillRect(option.rect, colours.fill);
    QStyledItemDelegate::paint(painter, cell, index);
    if (chosen) {
        painter->setPen(QPen(QColor(0x10, 0x30, 0xA0), 2));
        painter->drawLine(option.rect.topLeft() + QPoint(0, 1), option.rect.topRight() + QPoint(0, 1));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    }
    painter->restore();
}

bool ToneRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QAbstractItemModel &model = *index.model();
    QStringList lines;
    for (int column = 0; column < model.columnCount(); ++column) {
        const QString text = index.siblingAtColumn(column).data().toString();
        if (!text.isEmpty())
            lines << QStringLiteral("%1: %2").arg(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), text);
    }
    QToolTip::showText(event->globalPos(), lines.join(u'\n'), view);
    return true;
}

ToneTable::ToneTable(QWidget *parent) : QTableView(parent), delegate_(new ToneRowDelegate(this))
{
    setItemDelegate(delegate_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
}

void ToneTable::setBlinkOff(bool off)
{
    delegate_->setBlinkOff(off);
    viewport()->update();
}

QVariant ToneTable::currentKey() const
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? QVariant() : rows.first().data(KeyRole);
}

ToneTree::ToneTree(QWidget *parent) : QTreeView(parent), delegate_(new ToneRowDelegate(this))
{
    setItemDelegate(delegate_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setUniformRowHeights(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setExpandsOnDoubleClick(false);
    setIndentation(fontMetrics().height());
    header()->setStretchLastSection(true);
    header()->setHighlightSections(false);
}

void ToneTree::setBlinkOff(bool off)
{
    blinkOff_ = off;
    delegate_->setBlinkOff(off);
    viewport()->update();
}

void ToneTree::selectRow(int row)
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return;
    setCurrentIndex(model()->index(row, 0));
    selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QModelIndex ToneTree::chosen() const
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void ToneTree::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    const QModelIndex first = index.siblingAtColumn(0);
    const bool blinking = first.data(BlinkRole).toBool();
    painter->fillRect(rect, tonePaint(toneOf(first.data(ToneRole)), blinking && blinkOff_).fill);
    QTreeView::drawBranches(painter, rect, index);
}

} // namespace dorvan::station
