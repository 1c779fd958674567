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

    // Selected cells are painted in this colour; invalid = the row's own colours.
    QColor selectionColour;
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
    void setRowHeight(int pixels);
    RowStyleDelegate *rowDelegate() const { return delegate_; }

private:
    TextGridModel *model_;
    RowStyleDelegate *delegate_;
};

} // namespace dorvan
