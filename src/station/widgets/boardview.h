#pragma once

#include <QListView>
#include <QStyledItemDelegate>

#include <functional>

namespace dorvan::station {

// One post as a tile: its name on the first line; the counts of sensors in
// alarm (Т), fault (Н) and without link (С), or its state in words, and the
// age of its last status on the second; the colour of its worst state,
// blinking while it has an unacknowledged alarm.
class BoardDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // A few lines of the post's own (its card) added to the tile's tooltip.
    using TileNote = std::function<QString(const QString &site)>;
    void setTileNote(TileNote note) { note_ = std::move(note); }
    void setTileSize(QSize size) { tileSize_ = size; }
    void setBlinkOff(bool off) { blinkOff_ = off; }

private:
    void paintName(QPainter *painter, const QFont &font, const QRect &line, const QModelIndex &index) const;
    void paintState(QPainter *painter, const QFont &font, const QRect &line, const QModelIndex &index) const;

    TileNote note_;
    QSize tileSize_{96, 36};
    bool blinkOff_ = false;
};

// The board: every post at a glance, tiles as wide as the window's width
// divides evenly, so that two hundred fit on a 1280x1024 screen and scroll
// at 1024x768. Enter or a double click opens the post (activated()).
class BoardView : public QListView
{
    Q_OBJECT

public:
    explicit BoardView(QWidget *parent = nullptr);

    // Called by the window's blink timer: the blinking tiles change phase.
    void setModel(QAbstractItemModel *model) override;
    void setBlinkOff(bool off);
    QString currentSite() const;
    void setTileNote(BoardDelegate::TileNote note) { delegate_->setTileNote(std::move(note)); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitTiles();

    BoardDelegate *delegate_;
};

// Two lines of the board's tile: the summary of counts, empty when all are zero.
QString tileCounts(int alarms, int faults, int noLink);

} // namespace dorvan::station
