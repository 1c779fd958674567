#pragma once

#include "grid/widgets/gridview.h"

namespace dorvan {

// The sensor grid StringGrid1: rows 1-32 and columns 1-11 can be selected
// (column 0 holds the position numbers), nothing is edited, and the yellow
// selection highlight appears only once the operator has clicked the grid,
// although keyboard moves already select rows.
class SensorGridView : public StringGridView
{
    Q_OBJECT

public:
    explicit SensorGridView(TextGridModel *model, QWidget *parent = nullptr);

    bool highlightOn() const { return rowDelegate()->selectionColour.isValid(); }

signals:
    // The grid row (1..32) of the cell the operator selected.
    void rowSelected(int row);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void fixedCellPressed(const QModelIndex &index, Qt::MouseButton button) override;
    void focusInEvent(QFocusEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;

private:
    void turnHighlightOn();

    bool settingUpFocus_ = false;
};

} // namespace dorvan
