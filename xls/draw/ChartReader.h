#pragma once

#include <vector>

#include "xls/Workbook.h"
#include "xls/draw/ChartModel.h"

namespace xls::draw {

// The chart objects embedded in sheet `sheetIndex`, in the order of their records: each one's
// anchor (the drawing's client anchor before its OBJ record), its kind, and for a pie or 3-D pie
// everything the painter draws: formats of the chart and plot areas, rotation, elevation,
// thickness, shadow, each point's fill, border, explosion and data label (the series' default
// format where a point has none of its own), the title and the legend. A series' values and
// categories are read from the cells its references name. Records cut short, references to
// nowhere and damaged cells give a chart of fewer parts, never a failure. Throws xls::Error on a
// bad sheet index.
std::vector<ChartObject> readCharts(const xls::Workbook& book, int sheetIndex);

}  // namespace xls::draw
