#pragma once

#include <QStyledItemDelegate>
#include <QTableView>

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

} // namespace dorvan::station
