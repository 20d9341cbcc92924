#include "xls/draw/CellGrid.h"

#include <algorithm>

namespace xls::draw {

CellGrid::CellGrid(const xls::Styles& styles, const xls::Sheet& sheet, const SheetLayout& layout,
                   const xls::CellRange& window, const MergedAreas& merges)
    : window_(window), columns_(static_cast<size_t>(window.lastCol - window.firstCol + 1)) {
    cells_.assign(static_cast<size_t>(window.lastRow - window.firstRow + 1) * columns_, GridCell{});
    std::vector<xls::ColumnFormat> columnFormats;
    for (int col = window.firstCol; col <= window.lastCol; ++col)
        columnFormats.push_back(sheet.column(col));
    for (int row = window.firstRow; row <= window.lastRow; ++row)
        if (layout.rowHeight(row) > 0) readRow(styles, sheet, layout, row, columnFormats);
    applyMerges(merges);
}

void CellGrid::readRow(const xls::Styles& styles, const xls::Sheet& sheet,
                       const SheetLayout& layout, int row,
                       const std::vector<xls::ColumnFormat>& columnFormats) {
    const xls::RowFormat rowFormat = sheet.row(row);
    for (int col = window_.firstCol; col <= window_.lastCol; ++col) {
        if (layout.colWidth(col) == 0) continue;
        xls::Cell cell = sheet.cell(row, col);
        GridCell& grid = at(row, col);
        if (cell.isEmpty())
            grid.xf = rowFormat.hasXf ? rowFormat.xf : columnFormats[col - window_.firstCol].xf;
        else
            grid.xf = cell.xf;
        grid.filled = styles.xf(grid.xf).fillPattern != 0;
        const bool blank =
            cell.kind == xls::CellKind::Empty || cell.kind == xls::CellKind::Blank ||
            (cell.kind == xls::CellKind::Formula && cell.cachedKind == xls::CellKind::Empty);
        if (!blank) {
            grid.hasValue = true;
            values_.push_back({row, col, std::move(cell)});
        }
    }
}

// A merged area is filled as its first cell is, and shows only that cell's value.
void CellGrid::applyMerges(const MergedAreas& merges) {
    if (merges.areas().empty()) return;
    for (const xls::CellRange& area : merges.areas()) {
        const bool filled = at(area.firstRow, area.firstCol).filled;
        for (int row = area.firstRow; row <= area.lastRow; ++row)
            for (int col = area.firstCol; col <= area.lastCol; ++col) at(row, col).filled = filled;
    }
    values_.erase(std::remove_if(values_.begin(), values_.end(),
                                 [&merges](const CellValue& value) {
                                     return merges.areaAt(value.row, value.col) >= 0 &&
                                            !merges.isOrigin(value.row, value.col);
                                 }),
                  values_.end());
}

}  // namespace xls::draw
