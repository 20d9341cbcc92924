#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <string>
#include <vector>

#include "xls/Workbook.h"
#include "xls/draw/ChartModel.h"
#include "xls/draw/RangePicture.h"

namespace xls::draw {

// Whether the chart painter draws a chart of this kind (a pie or a 3-D pie); charts of other
// kinds are left out of every picture, never drawn wrongly.
bool isDrawable(const ChartObject& chart);

// The chart's rectangle in pixels at `dpi` over the cells of its sheet, from its anchor
// (relative to cell A1), or at the origin with its CHART size when it has no anchor.
QRectF chartRect(const xls::Workbook& book, int sheetIndex, const ChartObject& chart, double dpi);

// Paints `chart` into `area` of any painter (an image, an SVG or PDF file) with the workbook's
// fonts at `dpi`; nothing for a chart the painter does not draw.
void paintChart(QPainter& painter, const xls::Workbook& book, const ChartObject& chart,
                const QRectF& area, double dpi);

// The picture of chart `chartIndex` of sheet `sheetIndex` (readCharts' order) alone, as large as
// its place over the cells. A null image for a chart that is not drawn or an index past the last.
QImage drawChart(const xls::Workbook& book, int sheetIndex, size_t chartIndex,
                 const PictureOptions& options = {});

// The sheet as a spreadsheet program shows it: the cells from A1 to the far corner of the used
// range and of every chart's place, with each chart drawn over the cells (a chart of a kind not
// drawn leaves its cells as they are). `leftOut` (when given)
// receives the kind of each chart that is not drawn ("bar", "3-D line", ...). A null image for a
// sheet without cells or charts. Throws xls::Error on a bad sheet index.
QImage drawSheet(const xls::Workbook& book, int sheetIndex, const PictureOptions& options = {},
                 std::vector<std::string>* leftOut = nullptr);

}  // namespace xls::draw
