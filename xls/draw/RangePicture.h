#pragma once

#include <QImage>

#include "xls/Workbook.h"

namespace xlsdraw {

struct PictureOptions {
    double dpi = 96.0;          // logical DPI the picture is drawn at
    int maxSidePixels = 16384;  // a larger picture is cut to this size, top left kept
};

// Draws the cells of `range` on sheet `sheetIndex` as a spreadsheet application shows them on
// screen (no row/column headers). Throws xls::Error on a bad sheet index.
QImage drawRange(const xls::Workbook& book, int sheetIndex, const xls::CellRange& range,
                 const PictureOptions& options = {});

}  // namespace xlsdraw
