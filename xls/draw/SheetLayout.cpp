#include "xls/draw/SheetLayout.h"

#include <algorithm>
#include <cmath>

namespace xls::draw {

SheetLayout::SheetLayout(const xls::Sheet& sheet, const xls::CellRange& range, int maxDigitWidth,
                         double dpi)
    : range_(range) {
    colLeft_.reserve(range.lastCol - range.firstCol + 2);
    int x = 0;
    for (int col = range.firstCol; col <= range.lastCol; ++col) {
        colLeft_.push_back(x);
        const xls::ColumnFormat format = sheet.column(col);
        if (!format.hidden) x += columnWidthPixels(format.widthChars256, maxDigitWidth);
    }
    colLeft_.push_back(x);

    rowTop_.reserve(range.lastRow - range.firstRow + 2);
    int y = 0;
    for (int row = range.firstRow; row <= range.lastRow; ++row) {
        rowTop_.push_back(y);
        const xls::RowFormat format = sheet.row(row);
        if (!format.hidden) y += rowHeightPixels(format.heightTwips, dpi);
    }
    rowTop_.push_back(y);
}

int SheetLayout::columnWidthPixels(int widthChars256, int maxDigitWidth) {
    if (widthChars256 <= 0 || maxDigitWidth <= 0) return 0;
    const long padded = static_cast<long>(widthChars256) + 128 / maxDigitWidth;
    return static_cast<int>(padded * maxDigitWidth / 256);
}

int SheetLayout::rowHeightPixels(int heightTwips, double dpi) {
    if (heightTwips <= 0) return 0;
    return static_cast<int>(std::lround(heightTwips * dpi / 1440.0));
}

int SheetLayout::lastColBefore(int x) const {
    // colLeft_ is sorted; the last start strictly before x, skipping the right edge entry.
    auto it = std::lower_bound(colLeft_.begin(), colLeft_.end() - 1, x);
    const int index = static_cast<int>(it - colLeft_.begin()) - 1;
    return range_.firstCol + std::max(index, 0);
}

int SheetLayout::lastRowBefore(int y) const {
    auto it = std::lower_bound(rowTop_.begin(), rowTop_.end() - 1, y);
    const int index = static_cast<int>(it - rowTop_.begin()) - 1;
    return range_.firstRow + std::max(index, 0);
}

}  // namespace xls::draw
