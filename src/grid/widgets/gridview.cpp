#include "grid/widgets/gridview.h"

#include <QHeaderView>
#include <QPainter>

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

    QFont font = option.font;
    const QVariant fontName = index.data(TextGridModel::FontNameRole);
    if (fontName.isValid() && fontName.toString() != QLatin1String("MS Sans Serif"))
        font.setFamily(fontName.toString());
    painter->save();
    painter->setFont(font);
    painter->setPen(fontColour.isValid() ? toQColor(fontColour.toUInt())
                                         : option.palette.color(QPalette::Text));
    const QRect textRect = option.rect.adjusted(2, 0, -2, 0);
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
}

void StringGridView::setColumnWidths(const QList<int> &widths)
{
    for (int column = 0; column < widths.size(); ++column)
        setColumnWidth(column, widths[column]);
}

void StringGridView::setRowHeight(int pixels)
{
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(pixels);
}

} // namespace dorvan
