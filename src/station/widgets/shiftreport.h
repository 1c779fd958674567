#pragma once

#include "station/handover.h"

#include <QString>

class QWidget;

namespace dorvan::station {

// A shift's report as a printed document: the title, the handover, then a
// section with a table for each part. Times are local, as the window shows them.
QString shiftReportHtml(const ShiftReport &report);

// The report on A4 pages into a PDF file; false with the reason otherwise.
bool writeShiftPdf(const ShiftReport &report, const QString &path, QString *error);

// The report to a printer the operator chooses; false when cancelled or not printed.
bool printShiftReport(const ShiftReport &report, QWidget *parent);

} // namespace dorvan::station
