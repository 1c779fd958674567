#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dorvan {

// Colours are 0x00BBGGRR values; a top byte 0xFF names a system colour by index.
namespace Colour {
constexpr quint32 Silver = 0xC0C0C0;
constexpr quint32 Lime = 0x00FF00;
constexpr quint32 Aqua = 0xFFFF00;
constexpr quint32 AlarmRed = 0x536BF2;
constexpr quint32 DarkRed = 0x0000AB;
constexpr quint32 Red = 0x0000FF;
constexpr quint32 Green = 0x008000;
constexpr quint32 Black = 0x000000;
constexpr quint32 Yellow = 0x00FFFF;
constexpr quint32 InfoBackground = 0xFF000018; // system colour 24, tooltip background
constexpr quint32 ButtonFace = 0xFF00000F;     // system colour 15
} // namespace Colour

// The look of one grid row: background, font name, font colour, size in points.
struct RowStyle
{
    quint32 background = Colour::Silver;
    QString fontName = QStringLiteral("MS Sans Serif");
    quint32 fontColor = Colour::Black;
    int fontSize = 9;

    bool operator==(const RowStyle &) const = default;
};

// A string grid as a table model. Cells are addressed as the console's grids
// address them, (column, row), with row 0 the fixed header row; views see
// rows 1.. as the model's rows and row 0 as the horizontal header.
class TextGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role {
        BackgroundColourRole = Qt::UserRole + 1, // quint32 colour value, absent without a style
        FontColourRole,
        FontNameRole,
        FontSizeRole,
    };

    TextGridModel(int columns, int rows, QObject *parent = nullptr);

    int gridColumnCount() const { return columns_; }
    int gridRowCount() const { return int(cells_.size()); }
    // Rows beyond the new count are dropped; new rows are empty, without style.
    void setGridRowCount(int rows);

    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString &text);
    void clearRow(int row, int firstColumn, int lastColumn);
    QStringList rowTexts(int row) const;

    std::optional<RowStyle> rowStyle(int row) const;
    void setRowStyle(int row, const RowStyle &style);
    void clearRowStyle(int row);
    quint32 rowBackground(int row) const;
    // Returns true when the colour changed.
    bool setRowBackground(int row, quint32 colour);

    // Moves texts and styles of rows first+1..last up by one, dropping row first.
    void shiftRowsUp(int first, int last);

    // Tells the views to repaint every cell.
    void repaint();

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    bool validCell(int column, int row) const;
    void emitRowChanged(int row);

    int columns_;
    QList<QStringList> cells_;
    QList<std::optional<RowStyle>> styles_;
};

} // namespace dorvan
