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

    // Makes the first `count` columns fixed: they stay in view, with their
    // header cells, while the other columns scroll sideways; a press on a
    // fixed cell goes to fixedCellPressed. Called once the fonts and sizes
    // are set.
    void fixLeadingColumns(int count);

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    // A press on a cell of the fixed columns; the left button makes it current.
    virtual void fixedCellPressed(const QModelIndex &index, Qt::MouseButton button);
    // Header texts cut at a column's edge show whole as tooltips.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void updateGeometries() override;

private:
    void placeFixedColumn();
    int fixedWidth() const;
    bool pressOnFixedCell(QEvent *event);

    TextGridModel *model_;
    RowStyleDelegate *delegate_;
    // The fixed columns drawn again over the left edge of the grid, rows
    // scrolled with the grid's own.
    QTableView *fixedColumn_ = nullptr;
    int fixedCount_ = 0;
};

} // namespace dorvan
