#pragma once

#include <cstddef>
#include <vector>

#include "xls/StyleTypes.h"

namespace xls::draw {

// The merged areas of a sheet as a window of its cells sees them: each cut to the window (an
// area that the cut leaves one cell is no area), and for every cell of the window the area it
// belongs to. Where areas overlap, a cell belongs to the later one.
class MergedAreas {
  public:
    MergedAreas() = default;
    MergedAreas(const std::vector<xls::CellRange>& merged, const xls::CellRange& window);

    const std::vector<xls::CellRange>& areas() const { return areas_; }
    // The index into areas() of the area holding cell (row, col) of the window, or -1.
    int areaAt(int row, int col) const { return areaOf_.empty() ? -1 : areaOf_[indexOf(row, col)]; }
    bool isOrigin(int row, int col) const;  // the area's top left cell
    // The cell lies inside its area, off its first column (first row): no edge on its left (top).
    bool hidesLeftEdge(int row, int col) const;
    bool hidesTopEdge(int row, int col) const;
    // The neighbour on the right (below) belongs to the same area: no edge between them.
    bool goesOnRight(int row, int col) const;
    bool goesOnBelow(int row, int col) const;
    // The cells that cell (row, col) draws over: its area for an area's origin, else itself.
    xls::CellRange extentOf(int row, int col) const;

  private:
    size_t indexOf(int row, int col) const {
        return static_cast<size_t>(row - window_.firstRow) * columns_ +
               static_cast<size_t>(col - window_.firstCol);
    }

    xls::CellRange window_;
    size_t columns_ = 0;
    std::vector<xls::CellRange> areas_;
    std::vector<int> areaOf_;  // one per cell of the window, row by row; empty without areas
};

}  // namespace xls::draw
