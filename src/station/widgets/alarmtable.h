#pragma once

#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeView>

namespace dorvan::station {

// A row in its state's colour (ToneRole), blinking while BlinkRole says so;
// the chosen row is framed, so that its colour still shows.
class ToneRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The whole row in a tooltip: its texts are cut to the columns' widths.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
    void setBlinkOff(bool off) { blinkOff_ = off; }

private:
    bool blinkOff_ = false;
};

// A table whose rows are painted by their state: the alarm list and a
// post's sensors. Rows are chosen whole, one at a time.
class ToneTable : public QTableView
{
    Q_OBJECT

public:
    explicit ToneTable(QWidget *parent = nullptr);

    void setBlinkOff(bool off);
    // KeyRole of the chosen row; an invalid QVariant when none is chosen.
    QVariant currentKey() const;

private:
    ToneRowDelegate *delegate_;
};

// The alarm list with a flooding post's alarms under one row: rows painted
// as in ToneTable, a group opened by its arrow, Enter or a double click.
class ToneTree : public QTreeView
{
    Q_OBJECT

public:
    explicit ToneTree(QWidget *parent = nullptr);

    void setBlinkOff(bool off);
    // The top-level row `row` becomes the chosen one.
    void selectRow(int row);
    // The chosen row's first column; invalid when none is chosen.
    QModelIndex chosen() const;

protected:
    // The space before a row's first cell in the row's colour too.
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    ToneRowDelegate *delegate_;
    bool blinkOff_ = false;
};

} // namespace dorvan::station
