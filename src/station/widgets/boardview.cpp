#include "station/widgets/boardview.h"

#include "station/models.h"
#include "station/widgets/tonepaint.h"

#include <QHelpEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace dorvan::station {

namespace {

constexpr int Gap = 1;        // between tiles, on each side
constexpr int MinTileEms = 8; // the narrowest tile in widths of the bold font's "M"
constexpr int MaxTileEms = 14;

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

    const QRect text = tile.adjusted(4, 1, -3, -1);
    const int half = text.height() / 2;
    painter->setPen(colours.ink);
    paintName(painter, option.font, QRect(text.left(), text.top(), text.width(), half), index);
    paintState(painter, option.font, QRect(text.left(), text.top() + half, text.width(), text.height() - half), index);
    painter->restore();
}

void BoardDelegate::paintName(QPainter *painter, const QFont &font, const QRect &line, const QModelIndex &index) const
{
    const QFont bold = nameFont(font);
    painter->setFont(bold);
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(bold).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, line.width()));
}

// The counts when any sensor is in trouble, else the post's state in words;
// the status's age on the right.
void BoardDelegate::paintState(QPainter *painter, const QFont &font, const QRect &line, const QModelIndex &index) const
{
    const QFont small = smallFont(font);
    const QString age = shortAge(index.data(StatusAgeRole).toInt());
    painter->setFont(small);
    const int ageWidth = QFontMetrics(small).horizontalAdvance(age) + 4;
    painter->drawText(line, Qt::AlignRight | Qt::AlignVCenter, age);

    QString text = tileCounts(index.data(AlarmCountRole).toInt(), index.data(FaultCountRole).toInt(),
                              index.data(NoLinkCountRole).toInt());
    painter->setFont(text.isEmpty() ? small : nameFont(font));
    if (text.isEmpty())
        text = index.data(StateTextRole).toString();
    painter->drawText(line.adjusted(0, 0, -ageWidth, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(text, Qt::ElideRight, line.width() - ageWidth));
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
    QString tip = tileToolTip(index);
    const QString note = note_ ? note_(index.data(KeyRole).toString()) : QString();
    if (!note.isEmpty())
        tip += QStringLiteral("<br>") + note.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>"));
    QToolTip::showText(event->globalPos(), tip, view);
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

// A tile is two lines high. The columns divide the width evenly: as few as
// let every post fit the height, so that the tiles are as wide as can be,
// and as many as the narrowest tile allows when they cannot all fit (the
// board then scrolls).
void BoardView::fitTiles()
{
    const QFontMetrics metrics(nameFont(font()));
    const int em = metrics.horizontalAdvance(QLatin1Char('M'));
    const int minWidth = MinTileEms * em + 2 * Gap;
    const int maxWidth = MaxTileEms * em + 2 * Gap;
    const int width = qMax(minWidth, viewport()->width() - 1);
    const int height = 2 * metrics.height() + 4 + 2 * Gap;
    const int posts = model() ? model()->rowCount() : 0;
    const int rowsInSight = qMax(1, viewport()->height() / height);
    const int mostColumns = qMax(1, width / minWidth);
    const int fewestColumns = qMin(mostColumns, qMax(1, (width + maxWidth - 1) / maxWidth));
    const int columns = std::clamp((posts + rowsInSight - 1) / rowsInSight, fewestColumns, mostColumns);
    const QSize tile(width / columns, height);
    if (tile == gridSize())
        return;
    delegate_->setTileSize(tile);
    setGridSize(tile);
}

void BoardView::setModel(QAbstractItemModel *model)
{
    QListView::setModel(model);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &BoardView::fitTiles);
    connect(model, &QAbstractItemModel::modelReset, this, &BoardView::fitTiles);
    fitTiles();
}

} // namespace dorvan::station
