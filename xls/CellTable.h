#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "xls/BiffFormat.h"
#include "xls/Cell.h"
#include "xls/CellRecord.h"
#include "xls/InlineVector.h"
#include "xls/Record.h"
#include "xls/StyleTypes.h"

namespace xls {

class SharedStrings;

// A worksheet's cell table: ROW records and cell records, each cell kept as the records that
// make it (a FORMULA with its STRING, SHRFMLA, ARRAY or TABLE; a MULRK or MULBLANK covering a
// run of columns). Unchanged cells are written back byte for byte; writing into a run splits it.
//
// Storage: the rows in row order, each with its cells in column order; the bytes of every
// cell's records (headers included, as they stand in the stream) live in one byte store owned
// by the table, so a cell costs no allocation of its own and saving copies each cell's bytes in
// one piece.
//
//   rowAt_  row index -> its place in rows_, plus one (0: no such row)
//   rows_   Row{index, ROW record's offset, cells: StoredCell{type, columns, offset, size}...}
//   store_  | ROW record | a cell's records | ... | dead bytes (waste_) ... | room |
//           0                                                       used_       capacity_
class CellTable {
  public:
    // Where a cell's records lie in the store, and the columns they cover.
    struct StoredCell {
        uint16_t type = 0;  // type of the cell's first record
        uint8_t firstCol = 0, lastCol = 0;
        bool written = false;  // assigned a value through the engine
        uint32_t offset = 0;   // of the first record's header in the byte store
        uint32_t size = 0;     // bytes of all the cell's records, headers included

        // A value (not a blank) the engine wrote: what a table or chart series follows.
        bool holdsWrittenValue() const {
            return written && type != rt::Blank && type != rt::MulBlank;
        }
        bool isRun() const { return xls::isRun(type); }
    };

    // Adds a record of the cell table in file order; returns false when the record is not one.
    // Throws OutOfBounds for a cell record too short for its fields.
    bool add(uint16_t type, const uint8_t* data, size_t size);
    // add() of a ROW, or of a LABELSST, NUMBER, RK or BLANK after the cells of its row, inline:
    // what a long list's table is made of. Any other record or case returns false having done
    // nothing, and is add()'s.
    bool addPlain(uint16_t type, const uint8_t* data, size_t size);
    // addPlain() of the records from `p` on while they are such records, up to `end`, their
    // bytes (headers included, as they stand) copied into the store in one piece. Returns where
    // the first record it did not take starts.
    const uint8_t* addPlainRun(const uint8_t* p, const uint8_t* end);
    // Makes room for rows up to `lastRow` (0-based), as a sheet's DIMENSIONS gives them, with
    // `recordBytes` the bytes of records left to read.
    void reserveRows(int firstRow, int lastRow, size_t recordBytes);

    // The cell holding (row, col), or null. Asked for every cell set, formatted or read.
    const StoredCell* find(int row, int col) const;
    // The cell at (row, col) and what assigning it needs of its row, from one look at the row.
    // Valid until a cell of the table is put or removed.
    struct Spot {
        const StoredCell* cell = nullptr;    // what find(row, col) gives
        const uint8_t* rowRecord = nullptr;  // what rowRecord(row) gives
        uint32_t rowAt = 0;                  // where the row stands in rows_, plus one; 0: none
    };
    Spot spot(int row, int col) const;
    // The cells of `row` in column order, from `first` up to `last`; none when the row has none.
    // Valid until a cell of the table is put or removed.
    struct RowCells {
        const StoredCell *first = nullptr, *last = nullptr;
    };
    RowCells cellsOf(int row) const;
    // The data of the cell's first record (after its header), and its size.
    const uint8_t* data(const StoredCell& c) const {
        return store_.get() + c.offset + kRecordHeaderSize;
    }
    size_t dataSize(const StoredCell& c) const {
        return get16(store_.get() + c.offset + biff::header::kLength);
    }

    // Replaces whatever is at (row, col) by the single-cell record `type` with `data`, or
    // removes it (`data` null). `written` marks a value assigned through the engine.
    void put(int row, int col, uint16_t type, const uint8_t* data, size_t size,
             bool written = false);
    // The same, with `at` what find(row, col) gives now.
    void put(const StoredCell* at, int row, int col, uint16_t type, const uint8_t* data,
             size_t size, bool written = false);
    // put() of a cell of one record where find(row, col) gives nothing: the usual new cell of a
    // fill. Nothing to remove and no waste made. `at` is what spot(row, col) gives now.
    // Forced inline, with addCell(): every cell of a fill passes here.
    [[gnu::always_inline]] void putNew(const Spot& at, int row, int col, uint16_t type,
                                       const uint8_t* data, size_t size, bool written);
    void erase(int row, int col) { put(row, col, 0, nullptr, 0); }

    // Gives the cell at (row, col), `at` what find(row, col) gives now, the format `xf`; an
    // empty cell becomes a BLANK, a column of a run is split off.
    void setXf(const StoredCell* at, int row, int col, uint16_t xf);
    // Gives the cell of one record `c` (not a run) the format `xf` where it lies: no cell moves,
    // so cells found before stay valid.
    void setOwnXf(const StoredCell& c, uint16_t xf);

    // An array formula or data table whose range holds (row, col): its range, and true for a
    // data table (TABLE) rather than an array formula (ARRAY).
    struct SharedRange {
        CellRange range;
        bool table = false;
    };
    std::optional<SharedRange> sharedRangeAt(int row, int col) const;

    Cell read(int row, int col, const SharedStrings& sst) const;  // may throw OutOfBounds
    std::optional<uint16_t> xfAt(int row, int col) const;
    // The format of column `col` of the cell `c`. Asked for every cell set, formatted or read.
    uint16_t xfOf(const StoredCell& c, int col) const;
    std::optional<CellRange> usedRange() const;
    // The data of the ROW record of `row` (at least 16 bytes), or null. Asked for every new
    // cell's format.
    const uint8_t* rowRecord(int row) const;
    // At least the bytes write() gives.
    size_t sizeHint() const {
        return used_ - waste_ + (kRecordHeaderSize + biff::row::kSize) * rows_.size();
    }

    // Writes ROW records and cells in blocks of kRowBlock rows; new rows get a ROW record with
    // `defaultRowHeight` and `defaultRowFlags`. Returns the cells that refer to a shared string
    // (LABELSST records).
    uint32_t write(Bytes& out, uint16_t defaultRowHeight, uint32_t defaultRowFlags) const;

    // What must hold between the rows, the cells, their indexes and the store after any change:
    // the first that does not, described ("row 7: cells at columns 2-4 and 3 overlap"), or the
    // empty string. For tests and the fuzz target; walks the whole table.
    std::string checkInvariants() const;

  private:
    static constexpr uint32_t kNoRecord = 0xFFFFFFFF;
    // A row's cells in column order: the rows of a list mostly hold one or two.
    using CellList = InlineVector<StoredCell, 2>;
    struct Row {
        uint16_t index = 0;
        uint32_t record = kNoRecord;  // offset of the ROW record's header in the byte store
        CellList cells;
    };

    static const StoredCell* findIn(const CellList& cells, int col);
    // What addPlain() changes in the rows for the record `type` with `data`, its header to
    // lie at `offset` of the store; false, having changed nothing, for a record not its own.
    bool notePlain(uint16_t type, const uint8_t* data, size_t size, uint32_t offset);
    // add() of a CONTINUE or a formula part: appended to the cell it belongs to.
    bool addToLastCell(uint16_t type, const uint8_t* data, size_t size);
    Row* findRow(int row);
    Row& rowFor(int row);
    Row& addRow(int row);                       // a row not there yet
    [[gnu::noinline]] Row& insertRow(int row);  // the same, before the last row there
    uint32_t append(uint16_t type, const uint8_t* data, size_t size);
    uint8_t* grow(size_t n);     // n more bytes at the end of the store
    void reserveMore(size_t n);  // room for n more bytes
    // setXf() of an empty cell (it becomes a BLANK) or of a column of a run (split off).
    void putXf(const StoredCell* at, int row, int col, uint16_t xf);
    void removeRange(Row& row, int firstCol, int lastCol);
    void rehostSharedFormula(uint16_t row, uint16_t col, uint32_t shrfmla);
    void insert(Row& row, const StoredCell& cell);
    void insertBefore(Row& row, const StoredCell& cell);  // insert() before the row's last cell
    // A cell of one record at `col` of `row`, where no cell holds that column.
    [[gnu::always_inline]] void addCell(Row& row, int col, uint16_t type, const uint8_t* bytes,
                                        size_t size, bool written);
    void compactIfWasteful();
    // write() of the rows [first, end) of rows_, one block: their ROW records, then their cells
    // (returning the LABELSST cells among them).
    void writeRowRecords(Bytes& out, size_t first, size_t end, uint16_t defaultRowHeight,
                         uint32_t defaultRowFlags) const;
    uint32_t writeCells(Bytes& out, size_t first, size_t end) const;
    // checkInvariants() of the rows and their index, and of one row's cells.
    std::string checkRows() const;
    std::string checkCells(const Row& row) const;

    std::vector<Row> rows_;  // in row order; a row may hold no cells and no ROW record
    // Where each row up to the last stands in rows_, plus one (0: the row is not there).
    std::vector<uint32_t> rowAt_;
    // Ranges of the ARRAY and TABLE records kept with their formula. Cells inside are never
    // replaced (the engine refuses), so a range's host formula lives as long as the table.
    std::vector<SharedRange> sharedRanges_;
    std::unique_ptr<uint8_t[]> store_;  // its first used_ bytes hold records; the rest is room
    size_t capacity_ = 0;
    size_t used_ = 0;
    size_t waste_ = 0;  // bytes of the store no cell uses any more
    // The cell that CONTINUE and formula parts read from a file attach to.
    int lastRow_ = -1, lastCol_ = -1;
    bool lastIsFormula_ = false;
};

// Inline: what every cell set, formatted or read passes through.

inline const CellTable::StoredCell* CellTable::find(int row, int col) const {
    if (size_t(row) >= rowAt_.size() || !rowAt_[size_t(row)]) return nullptr;
    return findIn(rows_[rowAt_[size_t(row)] - 1].cells, col);
}

inline CellTable::Spot CellTable::spot(int row, int col) const {
    Spot s;
    if (size_t(row) >= rowAt_.size() || !(s.rowAt = rowAt_[size_t(row)])) return s;
    const Row& r = rows_[s.rowAt - 1];
    s.rowRecord = r.record != kNoRecord ? store_.get() + r.record + kRecordHeaderSize : nullptr;
    s.cell = findIn(r.cells, col);
    return s;
}

inline CellTable::RowCells CellTable::cellsOf(int row) const {
    if (size_t(row) >= rowAt_.size() || !rowAt_[size_t(row)]) return {};
    const CellList& cells = rows_[rowAt_[size_t(row)] - 1].cells;
    return {cells.begin(), cells.end()};
}

inline const uint8_t* CellTable::rowRecord(int row) const {
    if (size_t(row) >= rowAt_.size() || !rowAt_[size_t(row)]) return nullptr;
    const Row& r = rows_[rowAt_[size_t(row)] - 1];
    return r.record != kNoRecord ? store_.get() + r.record + kRecordHeaderSize : nullptr;
}

inline uint16_t CellTable::xfOf(const StoredCell& c, int col) const {
    using namespace biff;
    const uint8_t* d = data(c);
    // A run's unit starts with its column's XF.
    if (c.type == rt::MulRk)
        return get16(d + multi::kUnits + multi::kRkUnit * size_t(col - c.firstCol));
    if (c.type == rt::MulBlank)
        return get16(d + multi::kUnits + multi::kBlankUnit * size_t(col - c.firstCol));
    return get16(d + cell::kXf);
}

inline void CellTable::setXf(const StoredCell* at, int row, int col, uint16_t xf) {
    if (at && !at->isRun())
        setOwnXf(*at, xf);
    else
        putXf(at, row, col, xf);
}

inline void CellTable::setOwnXf(const StoredCell& c, uint16_t xf) {
    set16(store_.get() + c.offset + kRecordHeaderSize + biff::cell::kXf, xf);
}

// The first cell of `cells` whose run ends at or after `col`, when it holds `col`.
inline const CellTable::StoredCell* CellTable::findIn(const CellList& cells, int col) {
    const StoredCell* c = cells.begin();
    const StoredCell* const end = cells.end();
    // Most rows hold a few cells: a walk is shorter than a search.
    if (end - c > 8)
        c = std::lower_bound(c, end, col,
                             [](const StoredCell& e, int at) { return e.lastCol < at; });
    else
        while (c != end && c->lastCol < col) ++c;
    return c != end && c->firstCol <= col ? c : nullptr;
}

inline bool CellTable::addPlain(uint16_t type, const uint8_t* data, size_t size) {
    if (!notePlain(type, data, size, uint32_t(used_))) return false;
    append(type, data, size);
    return true;
}

inline bool CellTable::notePlain(uint16_t type, const uint8_t* data, size_t size, uint32_t offset) {
    const bool row = type == rt::Row;
    if (!row && type != rt::LabelSst && type != rt::Number && type != rt::Rk && type != rt::Blank)
        return false;
    static_assert(biff::row::kRow == biff::cell::kRow);
    if (size < (row ? biff::row::kSize : minCellSize(type))) return false;
    const uint16_t index = get16(data + biff::cell::kRow), col = get16(data + biff::cell::kCol);
    if (row) {
        Row& rw = rowFor(index);
        if (rw.record != kNoRecord) return false;
        rw.record = offset;
        lastRow_ = -1;
        return true;
    }
    if (col > kLastCol) return false;
    Row& rw = rowFor(index);
    if (!rw.cells.empty() && rw.cells.back().lastCol >= col) return false;
    // Written where it goes when the row has room: no copy of the entry made first.
    StoredCell made;
    StoredCell* c = rw.cells.pushRoom();
    if (!c) c = &made;
    c->type = type;
    c->firstCol = c->lastCol = uint8_t(col);
    c->written = false;
    c->offset = offset;
    c->size = uint32_t(kRecordHeaderSize + size);
    if (c == &made) rw.cells.push_back(made);
    lastRow_ = index;
    lastCol_ = col;
    lastIsFormula_ = false;
    return true;
}

inline CellTable::Row& CellTable::rowFor(int row) {
    if (size_t(row) < rowAt_.size() && rowAt_[size_t(row)]) return rows_[rowAt_[size_t(row)] - 1];
    return addRow(row);
}

inline uint32_t CellTable::append(uint16_t type, const uint8_t* data, size_t size) {
    const size_t at = used_;
    uint8_t* p = grow(kRecordHeaderSize + size);
    set16(p + biff::header::kType, type);
    set16(p + biff::header::kLength, uint16_t(size));
    copyBytes(p + kRecordHeaderSize, data, size);
    return uint32_t(at);
}

inline uint8_t* CellTable::grow(size_t n) {
    if (used_ + n > capacity_) reserveMore(n);
    uint8_t* p = store_.get() + used_;
    used_ += n;
    return p;
}

inline void CellTable::insert(Row& row, const StoredCell& cell) {
    CellList& cells = row.cells;
    if (cells.empty() || cells.back().lastCol < cell.firstCol)
        cells.push_back(cell);
    else
        insertBefore(row, cell);
}

inline void CellTable::putNew(const Spot& at, int row, int col, uint16_t type, const uint8_t* data,
                              size_t size, bool written) {
    addCell(at.rowAt ? rows_[at.rowAt - 1] : addRow(row), col, type, data, size, written);
}

inline void CellTable::addCell(Row& row, int col, uint16_t type, const uint8_t* bytes, size_t size,
                               bool written) {
    const uint32_t offset = append(type, bytes, size);
    CellList& cells = row.cells;
    // After the row's last cell, with room: made where it goes.
    StoredCell made;
    StoredCell* c = cells.empty() || cells.back().lastCol < col ? cells.pushRoom() : nullptr;
    if (!c) c = &made;
    c->type = type;
    c->firstCol = c->lastCol = uint8_t(col);
    c->written = written;
    c->offset = offset;
    c->size = uint32_t(kRecordHeaderSize + size);
    if (c == &made) insert(row, made);
}

}  // namespace xls
