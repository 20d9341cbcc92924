#pragma once

#include <map>
#include <optional>
#include <vector>

#include "xls/Cell.h"
#include "xls/Record.h"
#include "xls/StyleTypes.h"

namespace xls {

class SharedStrings;

// A worksheet's cell table: ROW records and cell records, each cell kept as the records that
// make it (a FORMULA with its STRING, SHRFMLA, ARRAY or TABLE; a MULRK or MULBLANK covering a
// run of columns). Unchanged cells are written back byte for byte; writing into a run splits it.
class CellTable {
  public:
    struct Entry {
        uint16_t row = 0, firstCol = 0, lastCol = 0;
        std::vector<Record> records;
    };

    // Adds a record of the cell table in file order; returns false when the record is not one.
    // Throws OutOfBounds for a cell record too short for its fields.
    bool add(const Record& rec);

    const Entry* find(int row, int col) const;
    // Replaces whatever is at (row, col) by `rec` (a single-cell record), or removes it.
    void put(int row, int col, std::optional<Record> rec);

    // Gives the cell at (row, col) the format `xf`; an empty cell becomes a BLANK.
    void setXf(int row, int col, uint16_t xf);

    Cell read(int row, int col, const SharedStrings& sst) const;  // may throw OutOfBounds
    std::optional<uint16_t> xfAt(int row, int col) const;
    std::optional<CellRange> usedRange() const;
    const Record* rowRecord(int row) const;
    uint32_t sharedStringRefs() const;

    // Writes ROW records and cells in blocks of 32 rows; new rows get a ROW record with
    // `defaultRowHeight` and `defaultRowFlags`.
    void write(Bytes& out, uint16_t defaultRowHeight, uint32_t defaultRowFlags) const;

  private:
    static uint32_t key(int row, int col) { return uint32_t(row) << 8 | uint32_t(col); }
    void removeRange(int row, int firstCol, int lastCol);
    void rehostSharedFormula(uint16_t row, uint16_t col, const Record& shrfmla);
    void insert(Entry e);

    std::map<uint32_t, Entry> cells_;
    std::map<uint16_t, Record> rows_;
    Entry* lastFormula_ = nullptr;
    Entry* lastEntry_ = nullptr;
};

}  // namespace xls
