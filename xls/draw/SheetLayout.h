#pragma once

#include <QRect>
#include <vector>

#include "xls/Sheet.h"
#include "xls/StyleTypes.h"

namespace xls::draw {

// Pixel geometry of a cell range as a spreadsheet application lays it out on screen: where each
// column and row of the range starts and how wide or high it is. Hidden columns and rows take no
// room. Positions are relative to the range's top left corner.
class SheetLayout {
  public:
    // `maxDigitWidth` is the widest of the default font's digits "0".."9" in whole pixels at `dpi`.
    SheetLayout(const xls::Sheet& sheet, const xls::CellRange& range, int maxDigitWidth,
                double dpi);

    // A column width in 1/256 of a digit width as pixels, rounded the way Excel rounds it:
    // trunc(((w256 + trunc(128 / mdw)) / 256) * mdw).
    static int columnWidthPixels(int widthChars256, int maxDigitWidth);
    // A row height in twips (1/1440 inch) as pixels at `dpi`, rounded to the nearest pixel.
    static int rowHeightPixels(int heightTwips, double dpi);

    const xls::CellRange& range() const { return range_; }
    int width() const { return colLeft_.back(); }
    int height() const { return rowTop_.back(); }

    // Absolute (sheet) column and row numbers, which must lie inside the range.
    int colLeft(int col) const { return colLeft_[col - range_.firstCol]; }
    int colWidth(int col) const { return colLeft(col + 1) - colLeft(col); }
    int rowTop(int row) const { return rowTop_[row - range_.firstRow]; }
    int rowHeight(int row) const { return rowTop(row + 1) - rowTop(row); }

    // The last column / row whose start lies before `x` / `y` pixels (the range's last when past
    // the end): the part of the range a picture cut to that size shows.
    int lastColBefore(int x) const;
    int lastRowBefore(int y) const;

    // The pixels that `cells` (inside the range) cover.
    QRect rectOf(const xls::CellRange& cells) const {
        const int left = colLeft(cells.firstCol), top = rowTop(cells.firstRow);
        return QRect(left, top, colLeft(cells.lastCol) + colWidth(cells.lastCol) - left,
                     rowTop(cells.lastRow) + rowHeight(cells.lastRow) - top);
    }

  private:
    xls::CellRange range_;
    std::vector<int> colLeft_;  // one per column plus the right edge
    std::vector<int> rowTop_;   // one per row plus the bottom edge
};

}  // namespace xls::draw
