#include "xls/draw/RangePicture.h"

#include "xls/draw/RangePainter.h"

namespace xlsdraw {

QImage drawRange(const xls::Workbook& book, int sheetIndex, const xls::CellRange& range,
                 const PictureOptions& options) {
    const xls::Sheet& sheet = book.sheet(sheetIndex);
    RangePainter painter(book.styles(), sheet, range, options);
    return painter.paint();
}

}  // namespace xlsdraw
