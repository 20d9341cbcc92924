#include "xls/draw/MergedAreas.h"

#include <algorithm>

namespace xls::draw {

MergedAreas::MergedAreas(const std::vector<xls::CellRange>& merged, const xls::CellRange& window)
    : window_(window), columns_(static_cast<size_t>(window.lastCol - window.firstCol + 1)) {
    for (const xls::CellRange& area : merged) {
        const xls::CellRange part{
            std::max(area.firstRow, window.firstRow), std::max(area.firstCol, window.firstCol),
            std::min(area.lastRow, window.lastRow), std::min(area.lastCol, window.lastCol)};
        if (part.firstRow > part.lastRow || part.firstCol > part.lastCol) continue;
        if (part.firstRow == part.lastRow && part.firstCol == part.lastCol) continue;
        if (areaOf_.empty())
            areaOf_.assign(static_cast<size_t>(window.lastRow - window.firstRow + 1) * columns_,
                           -1);
        const int index = static_cast<int>(areas_.size());
        areas_.push_back(part);
        for (int row = part.firstRow; row <= part.lastRow; ++row)
            std::fill_n(areaOf_.begin() + static_cast<std::ptrdiff_t>(indexOf(row, part.firstCol)),
                        part.lastCol - part.firstCol + 1, index);
    }
}

bool MergedAreas::isOrigin(int row, int col) const {
    const int index = areaAt(row, col);
    return index >= 0 && areas_[index].firstRow == row && areas_[index].firstCol == col;
}

bool MergedAreas::hidesLeftEdge(int row, int col) const {
    const int index = areaAt(row, col);
    return index >= 0 && col > areas_[index].firstCol;
}

bool MergedAreas::hidesTopEdge(int row, int col) const {
    const int index = areaAt(row, col);
    return index >= 0 && row > areas_[index].firstRow;
}

bool MergedAreas::goesOnRight(int row, int col) const {
    if (col >= window_.lastCol) return false;
    const int index = areaAt(row, col);
    return index >= 0 && areaAt(row, col + 1) == index;
}

bool MergedAreas::goesOnBelow(int row, int col) const {
    if (row >= window_.lastRow) return false;
    const int index = areaAt(row, col);
    return index >= 0 && areaAt(row + 1, col) == index;
}

xls::CellRange MergedAreas::extentOf(int row, int col) const {
    if (isOrigin(row, col)) return areas_[areaAt(row, col)];
    return xls::CellRange{row, col, row, col};
}

}  // namespace xls::draw
