#pragma once

#include "grid/textgridmodel.h"

#include <QColor>
#include <QStyledItemDelegate>
#include <QTableView>

namespace dorvan {

// A colour value 0x00BBGGRR as a QColor; a top byte 0xFF names a system
// colour by index (the few the console uses).
QColor toQColor(quint32 colour);

// Paints each row with its RowStyle: background, font colour, font name and size.
class RowStyleDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    // A text cut at the cell's edge shows whole as a tooltip.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Selected cells are painted in this colour; invalid = the row's own colours.
    QColor selectionColour;

private:
    static QFont cellFont(const QStyleOptionViewItem &option, const QModelIndex &index);
};

// A string grid on a TextGridModel: header row from row 0, no editing,
// rows painted in their styles.
class StringGridView : public QTableView
{
    Q_OBJECT

public:
    explicit StringGridView(TextGridModel *model, QWidget *parent = nullptr);

    TextGridModel *gridModel() const { return model_; }
    void setColumnWidths(const QList<int> &widths);
    // Widens every column whose header text would be cut, now and whenever
    // the headers change.
    void keepHeadersWhole();
    void setRowHeight(int pixels);
    RowStyleDelegate *rowDelegate() const { return delegate_; }

    // Makes column 0 a fixed column: it stays in view, with its header cell,
    // while the other columns scroll sideways, and a click on it selects
    // nothing. Called once the fonts and sizes are set.
    void fixFirstColumn();

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    // Header texts cut at a column's edge show whole as tooltips.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void updateGeometries() override;

private:
    void placeFixedColumn();

    TextGridModel *model_;
    RowStyleDelegate *delegate_;
    // Column 0 drawn again over the left edge of the grid, rows scrolled
    // with the grid's own.
    QTableView *fixedColumn_ = nullptr;
};

} // namespace dorvan
