#include "grid/textgridmodel.h"

namespace dorvan {

TextGridModel::TextGridModel(int columns, int rows, QObject *parent)
    : QAbstractTableModel(parent), columns_(columns)
{
    setGridRowCount(rows);
}

void TextGridModel::setGridRowCount(int rows)
{
    rows = std::max(rows, 1);
    const int old = gridRowCount();
    if (rows == old)
        return;
    if (rows > old) {
        if (old >= 1)
            beginInsertRows({}, old - 1, rows - 2);
        while (cells_.size() < rows) {
            QStringList row;
            row.resize(columns_);
            cells_.append(row);
        }
        // Grown in place: appending std::nullopt one by one trips GCC's
        // -Wmaybe-uninitialized at -O3 over the empty optional's payload.
        styles_.resize(rows);
        if (old >= 1)
            endInsertRows();
    } else {
        beginRemoveRows({}, rows - 1, old - 2);
        cells_.resize(rows);
        styles_.resize(rows);
        endRemoveRows();
    }
}

bool TextGridModel::validCell(int column, int row) const
{
    return column >= 0 && column < columns_ && row >= 0 && row < gridRowCount();
}

QString TextGridModel::cell(int column, int row) const
{
    return validCell(column, row) ? cells_[row][column] : QString();
}

void TextGridModel::setCell(int column, int row, const QString &text)
{
    if (!validCell(column, row) || cells_[row][column] == text)
        return;
    cells_[row][column] = text;
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, column, column);
    else
        emit dataChanged(index(row - 1, column), index(row - 1, column));
}

void TextGridModel::clearRow(int row, int firstColumn, int lastColumn)
{
    for (int column = firstColumn; column <= lastColumn; ++column)
        setCell(column, row, QString());
}

QStringList TextGridModel::rowTexts(int row) const
{
    return row >= 0 && row < gridRowCount() ? cells_[row] : QStringList();
}

std::optional<RowStyle> TextGridModel::rowStyle(int row) const
{
    return row >= 0 && row < gridRowCount() ? styles_[row] : std::nullopt;
}

void TextGridModel::setRowStyle(int row, const RowStyle &style)
{
    if (row < 0 || row >= gridRowCount() || styles_[row] == style)
        return;
    styles_[row] = style;
    emitRowChanged(row);
}

void TextGridModel::clearRowStyle(int row)
{
    if (row < 0 || row >= gridRowCount() || !styles_[row])
        return;
    styles_[row].reset();
    emitRowChanged(row);
}

quint32 TextGridModel::rowBackground(int row) const
{
    const auto style = rowStyle(row);
    return style ? style->background : RowStyle().background;
}

bool TextGridModel::setRowBackground(int row, quint32 colour)
{
    if (row < 0 || row >= gridRowCount())
        return false;
    RowStyle style = styles_[row].value_or(RowStyle());
    if (styles_[row] && style.background == colour)
        return false;
    style.background = colour;
    styles_[row] = style;
    emitRowChanged(row);
    return true;
}

void TextGridModel::shiftRowsUp(int first, int last)
{
    if (first < 1 || last >= gridRowCount() || first >= last)
        return;
    for (int row = first; row < last; ++row) {
        cells_[row] = cells_[row + 1];
        styles_[row] = styles_[row + 1];
    }
    emit dataChanged(index(first - 1, 0), index(last - 1, columns_ - 1));
}

void TextGridModel::repaint()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columns_ - 1));
}

void TextGridModel::emitRowChanged(int row)
{
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
    else
        emit dataChanged(index(row - 1, 0), index(row - 1, columns_ - 1));
}

int TextGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridRowCount() - 1;
}

int TextGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns_;
}

QVariant TextGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
        return cell(index.column(), row);
    case BackgroundColourRole:
    case FontColourRole:
    case FontNameRole:
    case FontSizeRole: {
        const auto style = rowStyle(row);
        if (!style)
            return {};
        if (role == BackgroundColourRole)
            return style->background;
        if (role == FontColourRole)
            return style->fontColor;
        if (role == FontNameRole)
            return style->fontName;
        return style->fontSize;
    }
    default:
        return {};
    }
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return cell(section, 0);
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return {};
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace dorvan
