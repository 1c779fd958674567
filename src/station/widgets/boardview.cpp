#include "station/widgets/boardview.h"

#include "station/models.h"
#include "station/widgets/tonepaint.h"

#include <QHelpEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolTip>

namespace dorvan::station {

namespace {

constexpr int Gap = 2;        // between tiles, on each side
constexpr int MinTileEms = 8; // the narrowest tile in the font's "М" widths

QFont nameFont(const QFont &base)
{
    QFont font = base;
    font.setBold(true);
    return font;
}

QFont smallFont(const QFont &base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() > 0 ? base.pointSizeF() * 0.9 : 8);
    return font;
}

QString tileToolTip(const QModelIndex &index)
{
    const QString age = shortAge(index.data(StatusAgeRole).toInt());
    return QStringLiteral("<b>%1</b> (%2)<br>%3<br>в тревоге: %4, неисправно: %5, без связи: %6<br>статус получен: %7 назад")
        .arg(index.data(Qt::DisplayRole).toString().toHtmlEscaped(), index.data(KeyRole).toString().toHtmlEscaped(),
             index.data(StateTextRole).toString().toHtmlEscaped())
        .arg(index.data(AlarmCountRole).toInt())
        .arg(index.data(FaultCountRole).toInt())
        .arg(index.data(NoLinkCountRole).toInt())
        .arg(age);
}

} // namespace

QString tileCounts(int alarms, int faults, int noLink)
{
    QStringList parts;
    if (alarms > 0)
        parts << QStringLiteral("Т %1").arg(alarms);
    if (faults > 0)
        parts << QStringLiteral("Н %1").arg(faults);
    if (noLink > 0)
        parts << QStringLiteral("С %1").arg(noLink);
    return parts.join(QStringLiteral("  "));
}

void BoardDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool blinking = index.data(BlinkRole).toBool();
    const TonePaint colours = tonePaint(toneOf(index.data(ToneRole)), blinking && blinkOff_);
    const QRect tile = option.rect.adjusted(Gap, Gap, -Gap, -Gap);
    const bool current = option.state & (QStyle::State_Selected | QStyle::State_HasFocus);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(tile, colours.fill);
    painter->setPen(QPen(current ? QColor(0x10, 0x30, 0xA0) : colours.border, current ? 3 : 1));
    painter->drawRect(tile.adjusted(0, 0, -1, -1));

    const QRect text = tile.adjusted(4, 2, -4, -2);
    const int half = text.height() / 2;
    const QRect top(text.left(), text.top(), text.width(), half);
    const QRect bottom(text.left(), text.top() + half, text.width(), text.height() - half);

    painter->setPen(colours.ink);
    const QFont small = smallFont(option.font);
    const QString age = shortAge(index.data(StatusAgeRole).toInt());
    painter->setFont(small);
    const int ageWidth = QFontMetrics(small).horizontalAdvance(age) + 4;
    painter->drawText(top, Qt::AlignRight | Qt::AlignVCenter, age);

    const QFont bold = nameFont(option.font);
    painter->setFont(bold);
    const QString name = QFontMetrics(bold).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                                       top.width() - ageWidth);
    painter->drawText(top.adjusted(0, 0, -ageWidth, 0), Qt::AlignLeft | Qt::AlignVCenter, name);

    // The counts when any sensor is in trouble, else the post's state in words.
    QString second = tileCounts(index.data(AlarmCountRole).toInt(), index.data(FaultCountRole).toInt(),
                                index.data(NoLinkCountRole).toInt());
    painter->setFont(second.isEmpty() ? small : bold);
    if (second.isEmpty())
        second = index.data(StateTextRole).toString();
    painter->drawText(bottom, Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(second, Qt::ElideRight, bottom.width()));
    painter->restore();
}

QSize BoardDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return tileSize_;
}

bool BoardDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                              const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), tileToolTip(index), view);
    return true;
}

BoardView::BoardView(QWidget *parent) : QListView(parent), delegate_(new BoardDelegate(this))
{
    setObjectName(QStringLiteral("board"));
    setItemDelegate(delegate_);
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setMovement(QListView::Static);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    fitTiles();
}

void BoardView::setBlinkOff(bool off)
{
    delegate_->setBlinkOff(off);
    viewport()->update();
}

QString BoardView::currentSite() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.data(KeyRole).toString() : QString();
}

void BoardView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    fitTiles();
}

// The columns divide the width evenly; a tile is two lines high.
void BoardView::fitTiles()
{
    const QFontMetrics metrics(nameFont(font()));
    const int minWidth = MinTileEms * metrics.horizontalAdvance(QLatin1Char('M')) + 2 * Gap;
    const int width = qMax(minWidth, viewport()->width() - 1);
    const int columns = qMax(1, width / minWidth);
    const QSize tile(width / columns, 2 * metrics.height() + 8 + 2 * Gap);
    if (tile == gridSize())
        return;
    delegate_->setTileSize(tile);
    setGridSize(tile);
}

} // namespace dorvan::station
