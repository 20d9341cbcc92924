#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xls/Sheet.h"
#include "xls/Styles.h"
#include "xls/draw/MergedAreas.h"
#include "xls/draw/SheetLayout.h"

namespace xls::draw {

// What one cell of a drawn window shows.
struct GridCell {
    uint16_t xf = 15;       // the cell's format (15: the default); else its row's or its column's
    bool filled = false;    // a fill pattern covers it (a merged area: its first cell's)
    bool hasValue = false;  // it holds something to show
    bool textRunsRight = false;  // its text, or a neighbour's, runs on into the next cell
};

// A value to draw, and its cell.
struct CellValue {
    int row, col;
    xls::Cell cell;
};

// The cells of a window of a sheet, read once for painting: their formats and fills, and the
// values to draw, row by row. Rows and columns without height or width are not read.
class CellGrid {
  public:
    CellGrid() = default;
    CellGrid(const xls::Styles& styles, const xls::Sheet& sheet, const SheetLayout& layout,
             const xls::CellRange& window, const MergedAreas& merges);

    GridCell& at(int row, int col) { return cells_[indexOf(row, col)]; }
    const GridCell& at(int row, int col) const { return cells_[indexOf(row, col)]; }
    // The values to draw, in row order; of a merged area only its first cell's.
    const std::vector<CellValue>& values() const { return values_; }

  private:
    size_t indexOf(int row, int col) const {
        return static_cast<size_t>(row - window_.firstRow) * columns_ +
               static_cast<size_t>(col - window_.firstCol);
    }
    void readRow(const xls::Styles& styles, const xls::Sheet& sheet, const SheetLayout& layout,
                 int row, const std::vector<xls::ColumnFormat>& columnFormats);
    void applyMerges(const MergedAreas& merges);

    xls::CellRange window_;
    size_t columns_ = 0;
    std::vector<GridCell> cells_;  // row by row
    std::vector<CellValue> values_;
};

}  // namespace xls::draw
