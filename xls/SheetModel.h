#pragma once

#include <set>
#include <string>
#include <vector>

#include "xls/CellTable.h"
#include "xls/Record.h"
#include "xls/StyleTypes.h"

namespace xls {

// One sheet substream, BOF to EOF. A worksheet's cell table is taken out of the record list and
// kept in a CellTable, written back where it stood; every other record (charts and drawings
// embedded in the sheet included) is kept in order, byte for byte.
class SheetModel {
  public:
    // `records`: the substream from its BOF to its EOF. Throws OutOfBounds on short records.
    SheetModel(std::vector<Record> records, bool worksheet);

    bool isWorksheet() const { return worksheet_; }
    CellTable& cells() { return cells_; }
    const CellTable& cells() const { return cells_; }
    std::vector<Record>& records() { return records_; }

    // Cells assigned a value through the engine (row << 8 | col), for charts that follow data.
    std::set<uint32_t>& written() { return written_; }
    const std::set<uint32_t>& written() const { return written_; }

    uint16_t defaultXf(int row, int col) const;
    ColumnFormat column(int col) const;
    RowFormat row(int row) const;
    int defaultRowHeight() const { return defaultRowHeight_; }
    int defaultColumnWidth() const;
    std::vector<CellRange> mergedRanges() const;
    bool showGridlines() const;

    void write(Bytes& out) const;

  private:
    std::vector<Record> records_;  // without the cell table and INDEX
    size_t tableAt_ = 0;           // the cell table is written before records_[tableAt_]
    CellTable cells_;
    bool worksheet_;
    std::set<uint32_t> written_;
    uint16_t defaultRowHeight_ = 255;
    uint16_t defaultRowFlags_ = 0;
};

}  // namespace xls
