#pragma once

#include <QString>

#include "xls/Workbook.h"

namespace xls::draw {

// Saves the picture of chart `chartIndex` of sheet `sheetIndex` (readCharts' order) alone, in
// the format its file name ends in: ".png" (pixels at 96 DPI), ".svg" or ".pdf" (shapes and
// text, as large as the chart's place in points). Returns the empty text, or what went wrong in
// a sentence that names the file (a chart not drawn, an unknown ending, a file not written).
QString saveChartPicture(const xls::Workbook& book, int sheetIndex, size_t chartIndex,
                         const QString& path);

}  // namespace xls::draw
