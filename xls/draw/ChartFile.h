#pragma once

#include <QIODevice>
#include <QPaintDevice>
#include <QSizeF>
#include <QString>
#include <functional>
#include <memory>

#include "xls/Workbook.h"

namespace xls::draw {

// Makes the SVG paint device that writes to `out`: `size` pixels at `dpi`, its view box as
// large, titled `title` (the toolkit's SVG generator, which the caller links or loads).
using SvgDeviceMaker = std::function<std::unique_ptr<QPaintDevice>(
    QIODevice& out, QSizeF size, int dpi, const QString& title)>;

// Saves the picture of chart `chartIndex` of sheet `sheetIndex` (readCharts' order) alone, in
// the format its file name ends in: ".png" (pixels at 96 DPI), ".svg" (through `svg`) or ".pdf"
// (shapes and text, as large as the chart's place in points). Returns the empty text, or what
// went wrong in a sentence that names the file (a chart not drawn, an unknown ending, a file not
// written).
QString saveChartPicture(const xls::Workbook& book, int sheetIndex, size_t chartIndex,
                         const QString& path, const SvgDeviceMaker& svg);

}  // namespace xls::draw
