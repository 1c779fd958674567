#pragma once

#include "grid/textgridmodel.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

class QPrinter;

namespace dorvan {

enum class PrintBorders { None, All, Horizontal, Vertical };

// The print settings of a string grid.
struct GridPrintOptions
{
    QStringList titleLines;        // centred above the grid on every sheet
    bool printTime = false;        // time of printing, top left
    bool printDate = false;        // date of printing dd/mm/yyyy, top right
    bool printPageNumbers = false; // "1/3" at the bottom centre
    PrintBorders borders = PrintBorders::None;
    bool fitToSheet = false;       // scale the grid to the sheet's width
    bool autoSizeColumns = true;   // columns as wide as their widest text
    bool centred = false;          // the grid centred across the sheet
    QList<int> columnWidths;       // screen pixels, when not sized automatically
    QDateTime printedAt;           // invalid: the moment of printing
};

// Where things go on each sheet, in the printer's device units.
struct GridPrintLayout
{
    QList<qreal> columnWidths; // unscaled
    qreal rowHeight = 0;       // unscaled
    qreal scale = 1;
    qreal tableLeft = 0;
    qreal tableTop = 0;
    qreal pageWidth = 0;
    qreal pageHeight = 0;
    qreal headerLineHeight = 0;
    qreal titleLineHeight = 0;
    qreal footerHeight = 0;
    int rowsPerSheet = 1;      // data rows under the repeated header row
    int sheetCount = 1;

    qreal tableWidth() const;
};

GridPrintLayout layoutGridPrint(const TextGridModel &grid, const GridPrintOptions &options,
                                QPrinter &printer);

// Prints the header row and every row of the grid, each row in its background
// and font colour, on as many sheets as the rows need. Returns the number of
// sheets printed, 0 when the printer could not be started.
int printGrid(const TextGridModel &grid, const GridPrintOptions &options, QPrinter &printer);

} // namespace dorvan
