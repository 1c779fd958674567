#include "console/widgets/sensorgridview.h"

#include "sensors/sensorrows.h"
#include "console/widgets/fonts.h"
#include "sensors/sensortable.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

namespace dorvan {

namespace {

constexpr int PositionColumn = int(SensorColumn::Number);
constexpr int AddressColumn = int(SensorColumn::Address);
constexpr int StateColumn = int(SensorColumn::State);
constexpr int CellPadding = 8;

} // namespace

SensorGridView::SensorGridView(TextGridModel *model, QWidget *parent)
    : StringGridView(model, parent)
{
    setObjectName(QStringLiteral("StringGrid1"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setColumnWidths({60, 68, 103, 83, 82, 76, 85, 88, 94, 205, 90, 74});
    setRowHeight(22);
    setFont(tahomaFont(12, true));
    horizontalHeader()->setFont(tahomaFont(13, true));
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The designed widths, for a face wider than Tahoma where needed.
    keepHeadersWhole();
    int longestState = 0;
    for (qint32 state = 0; state <= SensorState::NoLink; ++state)
        longestState = std::max(longestState, fontMetrics().horizontalAdvance(stateText(state)));
    setColumnWidth(StateColumn, std::max(columnWidth(StateColumn), longestState + 2 * CellPadding));
    setStyleSheet(QStringLiteral("QTableView { gridline-color: black; }"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    // The position and the address stay in sight while the grid scrolls right.
    fixLeadingColumns(AddressColumn + 1);
}

void SensorGridView::turnHighlightOn()
{
    if (highlightOn())
        return;
    rowDelegate()->selectionColour = QColor(0xFF, 0xFF, 0x00);
    viewport()->update();
}

// The right button opens the context menu only: the command acts on the row
// selected before, as the operator sees it highlighted. The position column
// cannot be selected. A click selects its row also when the cell was current
// already (made so by the focus arriving from a page switch).
void SensorGridView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.column() == PositionColumn)
        return;
    StringGridView::mousePressEvent(event);
    turnHighlightOn();
    if (index.isValid())
        emit rowSelected(index.row() + 1);
}

// An address pressed where it stays in sight selects its row as a press on
// the grid does.
void SensorGridView::fixedCellPressed(const QModelIndex &index, Qt::MouseButton button)
{
    if (button != Qt::LeftButton || index.column() == PositionColumn)
        return;
    setFocus(Qt::MouseFocusReason);
    setCurrentIndex(index);
    turnHighlightOn();
    emit rowSelected(index.row() + 1);
}

// Qt makes the first cell current when the view gains focus; that is not an
// operator's selection.
void SensorGridView::focusInEvent(QFocusEvent *event)
{
    settingUpFocus_ = true;
    StringGridView::focusInEvent(event);
    settingUpFocus_ = false;
}

QModelIndex SensorGridView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    QModelIndex next = StringGridView::moveCursor(cursorAction, modifiers);
    if (next.isValid() && next.column() == PositionColumn)
        next = model()->index(next.row(), PositionColumn + 1);
    return next;
}

void SensorGridView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    StringGridView::currentChanged(current, previous);
    if (settingUpFocus_ || !current.isValid() || current.column() == PositionColumn)
        return;
    emit rowSelected(current.row() + 1);
    viewport()->update();
}

void SensorGridView::selectionChanged(const QItemSelection &selected,
                                      const QItemSelection &deselected)
{
    StringGridView::selectionChanged(selected, deselected);
    for (const QItemSelectionRange &range : selected) {
        if (range.left() != PositionColumn)
            continue;
        const QModelIndex top = model()->index(range.top(), PositionColumn);
        const QModelIndex bottom = model()->index(range.bottom(), PositionColumn);
        selectionModel()->select(QItemSelection(top, bottom), QItemSelectionModel::Deselect);
    }
}

} // namespace dorvan
