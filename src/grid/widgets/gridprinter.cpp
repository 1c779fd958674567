#include "grid/widgets/gridprinter.h"

#include "grid/widgets/gridview.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace dorvan {

namespace {

constexpr int ScreenDpi = 96;
constexpr qreal RowSpacing = 1.3;  // row height over the font's line spacing
constexpr qreal GapInches = 0.08;  // between header, titles, grid and footer
constexpr qreal PaddingInches = 0.04;

QFont rowFont(const std::optional<RowStyle> &style)
{
    const RowStyle used = style.value_or(RowStyle());
    return QFont(used.fontName, used.fontSize);
}

QFont headerRowFont()
{
    QFont font = rowFont(std::nullopt);
    font.setBold(true);
    return font;
}

QFont pageTextFont()
{
    return QFont(RowStyle().fontName, 8);
}

QFont titleFont()
{
    QFont font(RowStyle().fontName, 11);
    font.setBold(true);
    return font;
}

// Metrics per distinct font, measured on the printer.
class FontBook
{
public:
    explicit FontBook(QPrinter &printer) : printer_(printer) {}

    const QFontMetricsF &metrics(const QFont &font)
    {
        const QString key = font.key();
        auto it = metrics_.find(key);
        if (it == metrics_.end())
            it = metrics_.insert(key, QFontMetricsF(font, &printer_));
        return *it;
    }

private:
    QPrinter &printer_;
    QHash<QString, QFontMetricsF> metrics_;
};

QFont fontOfRow(const TextGridModel &grid, int row)
{
    return row == 0 ? headerRowFont() : rowFont(grid.rowStyle(row));
}

QList<qreal> automaticWidths(const TextGridModel &grid, FontBook &fonts, qreal padding)
{
    QList<qreal> widths(grid.gridColumnCount(), 0.0);
    for (int row = 0; row < grid.gridRowCount(); ++row) {
        const QFontMetricsF &fm = fonts.metrics(fontOfRow(grid, row));
        const QStringList texts = grid.rowTexts(row);
        for (int column = 0; column < texts.size(); ++column)
            widths[column] = std::max(widths[column], fm.horizontalAdvance(texts[column]));
    }
    for (qreal &width : widths)
        width += 2 * padding;
    return widths;
}

QList<qreal> givenWidths(const TextGridModel &grid, const GridPrintOptions &options, qreal dpi,
                         qreal pageWidth)
{
    const int columns = grid.gridColumnCount();
    QList<qreal> widths;
    for (int column = 0; column < columns; ++column) {
        if (column < options.columnWidths.size())
            widths.append(options.columnWidths[column] * dpi / ScreenDpi);
        else
            widths.append(pageWidth / columns);
    }
    return widths;
}

qreal rowHeightOf(const TextGridModel &grid, FontBook &fonts)
{
    qreal spacing = 0;
    for (int row = 0; row < grid.gridRowCount(); ++row)
        spacing = std::max(spacing, fonts.metrics(fontOfRow(grid, row)).lineSpacing());
    return spacing * RowSpacing;
}

QString pageNumberText(int sheet, int sheets)
{
    return QStringLiteral("%1/%2").arg(sheet).arg(sheets);
}

class SheetPainter
{
public:
    SheetPainter(QPainter &painter, const TextGridModel &grid, const GridPrintOptions &options,
                 const GridPrintLayout &layout, qreal dpi)
        : painter_(painter), grid_(grid), options_(options), layout_(layout),
          padding_(dpi * PaddingInches), penWidth_(dpi / 200.0),
          printedAt_(options.printedAt.isValid() ? options.printedAt : QDateTime::currentDateTime())
    {
    }

    void paint(int sheet)
    {
        paintHeaderLine();
        paintTitles();
        const int first = 1 + sheet * layout_.rowsPerSheet;
        const int last = std::min(grid_.gridRowCount() - 1, first + layout_.rowsPerSheet - 1);
        paintTable(first, last);
        if (options_.printPageNumbers)
            paintFooter(sheet + 1);
    }

private:
    void paintHeaderLine()
    {
        if (!options_.printTime && !options_.printDate)
            return;
        painter_.setFont(pageTextFont());
        painter_.setPen(Qt::black);
        const QRectF line(0, 0, layout_.pageWidth, layout_.headerLineHeight);
        if (options_.printTime)
            painter_.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                              printedAt_.time().toString(u"HH:mm:ss"));
        if (options_.printDate)
            painter_.drawText(line, Qt::AlignRight | Qt::AlignVCenter,
                              printedAt_.date().toString(u"dd/MM/yyyy"));
    }

    void paintTitles()
    {
        painter_.setFont(titleFont());
        painter_.setPen(Qt::black);
        qreal y = layout_.headerLineHeight;
        for (const QString &title : options_.titleLines) {
            painter_.drawText(QRectF(0, y, layout_.pageWidth, layout_.titleLineHeight),
                              Qt::AlignHCenter | Qt::AlignVCenter, title);
            y += layout_.titleLineHeight;
        }
    }

    void paintFooter(int sheet)
    {
        painter_.setFont(pageTextFont());
        painter_.setPen(Qt::black);
        const QRectF line(0, layout_.pageHeight - layout_.footerHeight, layout_.pageWidth,
                          layout_.footerHeight);
        painter_.drawText(line, Qt::AlignHCenter | Qt::AlignBottom,
                          pageNumberText(sheet, layout_.sheetCount));
    }

    void paintTable(int first, int last)
    {
        painter_.save();
        painter_.translate(layout_.tableLeft, layout_.tableTop);
        painter_.scale(layout_.scale, layout_.scale);
        qreal y = 0;
        paintRow(0, y);
        for (int row = first; row <= last; ++row) {
            y += layout_.rowHeight;
            paintRow(row, y);
        }
        paintBorders(1 + std::max(0, last - first + 1));
        painter_.restore();
    }

    void paintRow(int row, qreal y)
    {
        const std::optional<RowStyle> style = grid_.rowStyle(row);
        QColor background = row == 0 ? toQColor(Colour::ButtonFace) : QColor(Qt::white);
        QColor ink = Qt::black;
        if (style && row > 0) {
            background = toQColor(style->background);
            ink = toQColor(style->fontColor);
        }
        const QRectF rowRect(0, y, layout_.tableWidth(), layout_.rowHeight);
        painter_.fillRect(rowRect, background);
        painter_.setFont(fontOfRow(grid_, row));
        painter_.setPen(ink);
        qreal x = 0;
        const QStringList texts = grid_.rowTexts(row);
        for (int column = 0; column < texts.size(); ++column) {
            const qreal width = layout_.columnWidths[column];
            paintCell(QRectF(x, y, width, layout_.rowHeight), texts[column]);
            x += width;
        }
    }

    void paintCell(const QRectF &cell, const QString &text)
    {
        if (text.isEmpty())
            return;
        // Columns narrower than their texts cut them at the cell's edge.
        painter_.save();
        painter_.setClipRect(cell);
        painter_.drawText(cell.adjusted(padding_, 0, -padding_, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter_.restore();
    }

    void paintBorders(int rows)
    {
        if (options_.borders == PrintBorders::None)
            return;
        painter_.setPen(QPen(Qt::black, penWidth_ / layout_.scale));
        const qreal width = layout_.tableWidth();
        const qreal height = rows * layout_.rowHeight;
        if (options_.borders != PrintBorders::Vertical) {
            for (int row = 0; row <= rows; ++row)
                painter_.drawLine(QPointF(0, row * layout_.rowHeight),
                                  QPointF(width, row * layout_.rowHeight));
        }
        if (options_.borders != PrintBorders::Horizontal) {
            qreal x = 0;
            painter_.drawLine(QPointF(0, 0), QPointF(0, height));
            for (qreal columnWidth : layout_.columnWidths) {
                x += columnWidth;
                painter_.drawLine(QPointF(x, 0), QPointF(x, height));
            }
        }
    }

    QPainter &painter_;
    const TextGridModel &grid_;
    const GridPrintOptions &options_;
    const GridPrintLayout &layout_;
    qreal padding_;
    qreal penWidth_;
    QDateTime printedAt_;
};

} // namespace

qreal GridPrintLayout::tableWidth() const
{
    qreal width = 0;
    for (qreal column : columnWidths)
        width += column;
    return width;
}

GridPrintLayout layoutGridPrint(const TextGridModel &grid, const GridPrintOptions &options,
                                QPrinter &printer)
{
    GridPrintLayout layout;
    const qreal dpi = printer.resolution();
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    layout.pageWidth = page.width();
    layout.pageHeight = page.height();
    const qreal gap = dpi * GapInches;

    FontBook fonts(printer);
    layout.columnWidths = options.autoSizeColumns
        ? automaticWidths(grid, fonts, dpi * PaddingInches)
        : givenWidths(grid, options, dpi, layout.pageWidth);
    layout.rowHeight = rowHeightOf(grid, fonts);

    const qreal tableWidth = std::max<qreal>(layout.tableWidth(), 1);
    layout.scale = options.fitToSheet ? layout.pageWidth / tableWidth : 1.0;
    const qreal scaledWidth = tableWidth * layout.scale;
    layout.tableLeft = options.centred ? std::max<qreal>(0, (layout.pageWidth - scaledWidth) / 2) : 0;

    if (options.printTime || options.printDate)
        layout.headerLineHeight = fonts.metrics(pageTextFont()).lineSpacing() + gap;
    layout.titleLineHeight = fonts.metrics(titleFont()).lineSpacing() * 1.2;
    layout.tableTop = layout.headerLineHeight + options.titleLines.size() * layout.titleLineHeight
        + (options.titleLines.isEmpty() ? 0 : gap);
    if (options.printPageNumbers)
        layout.footerHeight = fonts.metrics(pageTextFont()).lineSpacing() + gap;

    const qreal rowsHeight = layout.pageHeight - layout.tableTop - layout.footerHeight;
    const int rowsFitting = int(std::floor(rowsHeight / (layout.rowHeight * layout.scale)));
    layout.rowsPerSheet = std::max(1, rowsFitting - 1); // the header row repeats on every sheet
    const int dataRows = grid.gridRowCount() - 1;
    layout.sheetCount = std::max(1, (dataRows + layout.rowsPerSheet - 1) / layout.rowsPerSheet);
    return layout;
}

int printGrid(const TextGridModel &grid, const GridPrintOptions &options, QPrinter &printer)
{
    const GridPrintLayout layout = layoutGridPrint(grid, options, printer);
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    SheetPainter sheets(painter, grid, options, layout, printer.resolution());
    for (int sheet = 0; sheet < layout.sheetCount; ++sheet) {
        if (sheet > 0)
            printer.newPage();
        sheets.paint(sheet);
    }
    painter.end();
    return layout.sheetCount;
}

} // namespace dorvan
