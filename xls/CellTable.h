#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
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
//
// Storage: the rows in row order, each with its cells in column order; the bytes of every
// cell's records (headers included, as they stand in the stream) live in one byte store owned
// by the table, so a cell costs no allocation of its own and saving copies each cell's bytes in
// one piece.
class CellTable {
  public:
    // One cell record (or a run of columns) and the records that belong to it.
    struct Slot {
        uint16_t type = 0;  // type of the cell's first record
        uint8_t firstCol = 0, lastCol = 0;
        bool written = false;  // assigned a value through the engine
        uint32_t offset = 0;   // of the first record's header in the byte store
        uint32_t size = 0;     // bytes of all the cell's records, headers included
    };

    // Adds a record of the cell table in file order; returns false when the record is not one.
    // Throws OutOfBounds for a cell record too short for its fields.
    bool add(uint16_t type, const uint8_t* data, size_t size);
    bool add(const Record& rec) { return add(rec.type, rec.data.data(), rec.data.size()); }
    // add() inline for the records a long list's table is made of: a ROW, or a LABELSST,
    // NUMBER, RK or BLANK after the cells of its row. Any other record or case returns false
    // having done nothing, and is add()'s.
    bool addPlain(uint16_t type, const uint8_t* data, size_t size) {
        if (!notePlain(type, data, size, uint32_t(used_))) return false;
        append(type, data, size);
        return true;
    }
    // addPlain() of the records from `p` on while they are such records, up to `end`, their
    // bytes (headers included, as they stand) copied into the store in one piece. Returns where
    // the first record it did not take starts.
    const uint8_t* addPlainRun(const uint8_t* p, const uint8_t* end);
    // Makes room for rows up to `lastRow` (0-based), as a sheet's DIMENSIONS gives them, with
    // `recordBytes` the bytes of records left to read.
    void reserveRows(int firstRow, int lastRow, size_t recordBytes);

    // Every cell set, formatted or read asks this: kept inline and short.
    const Slot* find(int row, int col) const {
        if (size_t(row) >= rowAt_.size() || !rowAt_[size_t(row)]) return nullptr;
        return findIn(rows_[rowAt_[size_t(row)] - 1].cells, col);
    }
    // The cell at (row, col) and what assigning it needs of its row, from one look at the row.
    // Valid until a cell of the table is put or removed.
    struct Spot {
        const Slot* slot = nullptr;          // what find(row, col) gives
        const uint8_t* rowRecord = nullptr;  // what rowRecord(row) gives
        uint32_t rowAt = 0;                  // where the row stands in rows_, plus one; 0: none
    };
    Spot spot(int row, int col) const {
        Spot s;
        if (size_t(row) >= rowAt_.size() || !(s.rowAt = rowAt_[size_t(row)])) return s;
        const Row& r = rows_[s.rowAt - 1];
        s.rowRecord = r.record != kNoRecord ? store_.get() + r.record + 4 : nullptr;
        s.slot = findIn(r.cells, col);
        return s;
    }
    // The cells of `row` in column order, from `first` up to `last`; none when the row has none.
    // Valid until a cell of the table is put or removed.
    struct RowCells {
        const Slot *first = nullptr, *last = nullptr;
    };
    RowCells cellsOf(int row) const {
        if (size_t(row) >= rowAt_.size() || !rowAt_[size_t(row)]) return {};
        const SlotList& cells = rows_[rowAt_[size_t(row)] - 1].cells;
        return {cells.begin(), cells.end()};
    }
    // The data of the slot's first record (after its header), and its size.
    const uint8_t* data(const Slot& s) const { return store_.get() + s.offset + 4; }
    size_t dataSize(const Slot& s) const { return get16(store_.get() + s.offset + 2); }

    // Replaces whatever is at (row, col) by the single-cell record `type` with `data`, or
    // removes it (`data` null). `written` marks a value assigned through the engine.
    void put(int row, int col, uint16_t type, const uint8_t* data, size_t size,
             bool written = false);
    // The same, with `at` what find(row, col) gives now.
    void put(const Slot* at, int row, int col, uint16_t type, const uint8_t* data, size_t size,
             bool written = false);
    // put() of a cell of one record where find(row, col) gives nothing: the usual new cell of a
    // fill, inline. Nothing to remove and no waste made.
    void putNew(int row, int col, uint16_t type, const uint8_t* data, size_t size, bool written) {
        addCell(rowFor(row), col, type, data, size, written);
    }
    // The same, with `at` what spot(row, col) gives now. Forced inline, with addCell(): left to
    // itself the compiler calls them out of line from a long caller, at a cost per cell.
    [[gnu::always_inline]] void putNew(const Spot& at, int row, int col, uint16_t type,
                                       const uint8_t* data, size_t size, bool written) {
        addCell(at.rowAt ? rows_[at.rowAt - 1] : addRow(row), col, type, data, size, written);
    }
    void erase(int row, int col) { put(row, col, 0, nullptr, 0); }

    // Gives the cell at (row, col) the format `xf`; an empty cell becomes a BLANK.
    void setXf(int row, int col, uint16_t xf) { setXf(find(row, col), row, col, xf); }
    // The same, with `at` what find(row, col) gives now. A cell of its own record (the usual
    // case, asked for every cell formatted) changes in place, inline.
    void setXf(const Slot* at, int row, int col, uint16_t xf) {
        if (at && at->type != rt::MulRk && at->type != rt::MulBlank)
            set16(store_.get() + at->offset + 4 + 4, xf);
        else
            putXf(at, row, col, xf);
    }
    // Gives the cell of one record `s` (not a MULRK or MULBLANK run) the format `xf`, where it
    // lies: no cell moves, so slots found before stay valid.
    void setOwnXf(const Slot& s, uint16_t xf) { set16(store_.get() + s.offset + 4 + 4, xf); }

    // An array formula or data table whose range holds (row, col): its range, and true for a
    // data table (TABLE) rather than an array formula (ARRAY).
    struct SharedRange {
        CellRange range;
        bool table = false;
    };
    std::optional<SharedRange> sharedRangeAt(int row, int col) const;

    Cell read(int row, int col, const SharedStrings& sst) const;  // may throw OutOfBounds
    std::optional<uint16_t> xfAt(int row, int col) const;
    // The format of column `col` of the cell `s`. Asked for every cell set, formatted or read:
    // kept inline.
    uint16_t xfOf(const Slot& s, int col) const {
        const uint8_t* d = data(s);
        if (s.type == rt::MulRk) return get16(d + 4 + 6 * size_t(col - s.firstCol));
        if (s.type == rt::MulBlank) return get16(d + 4 + 2 * size_t(col - s.firstCol));
        return get16(d + 4);
    }
    std::optional<CellRange> usedRange() const;
    // The data of the ROW record of `row` (at least 16 bytes), or null. Asked for every new
    // cell's format: kept inline.
    const uint8_t* rowRecord(int row) const {
        if (size_t(row) >= rowAt_.size() || !rowAt_[size_t(row)]) return nullptr;
        const Row& r = rows_[rowAt_[size_t(row)] - 1];
        return r.record != kNoRecord ? store_.get() + r.record + 4 : nullptr;
    }
    // At least the bytes write() gives.
    size_t sizeHint() const { return used_ - waste_ + 20 * rows_.size(); }

    // Writes ROW records and cells in blocks of 32 rows; new rows get a ROW record with
    // `defaultRowHeight` and `defaultRowFlags`. Returns the cells that refer to a shared string
    // (LABELSST records).
    uint32_t write(Bytes& out, uint16_t defaultRowHeight, uint32_t defaultRowFlags) const;

  private:
    static constexpr uint32_t kNoRecord = 0xFFFFFFFF;
    // The fewest data bytes a cell record of one column holds.
    static constexpr size_t minCellSize(uint16_t type) {
        switch (type) {
            case rt::Number:
                return 14;
            case rt::Rk:
            case rt::LabelSst:
                return 10;
            case rt::BoolErr:
            case rt::Label:
            case rt::RString:
                return 8;  // an empty label may come without its option byte
            case rt::Formula:
                return 20;
            default:
                return 6;
        }
    }
    // A row's cells in column order: up to two inline (the rows of a list mostly hold one or
    // two), more on the heap. Slots are plain data, moved with memcpy. The slots are reached
    // through one pointer, wherever they lie, so that finding a cell takes no test of where.
    class SlotList {
      public:
        SlotList() = default;
        SlotList(const SlotList& other) { insert(begin(), other.begin(), other.end()); }
        SlotList(SlotList&& other) noexcept { take(other); }
        SlotList& operator=(SlotList other) noexcept {
            release();
            take(other);
            return *this;
        }
        ~SlotList() { release(); }

        Slot* begin() { return data_; }
        Slot* end() { return begin() + size_; }
        const Slot* begin() const { return data_; }
        const Slot* end() const { return begin() + size_; }
        bool empty() const { return size_ == 0; }
        Slot& front() { return *begin(); }
        Slot& back() { return end()[-1]; }
        const Slot& front() const { return *begin(); }
        const Slot& back() const { return end()[-1]; }
        void push_back(const Slot& s) {
            if (size_ == capacity_) {
                insert(end(), &s, &s + 1);
                return;
            }
            // Field by field: the caller has mostly just written `s` so, and one wide load of
            // it would wait for those stores.
            Slot& to = begin()[size_++];
            to.type = s.type;
            to.firstCol = s.firstCol;
            to.lastCol = s.lastCol;
            to.written = s.written;
            to.offset = s.offset;
            to.size = s.size;
        }
        // The slot one past the last, now the last, or null when the list has no room left.
        Slot* pushRoom() { return size_ < capacity_ ? begin() + size_++ : nullptr; }
        Slot* insert(Slot* at, const Slot& s) { return insert(at, &s, &s + 1); }
        // [first, last) must not lie in this list.
        Slot* insert(Slot* at, const Slot* first, const Slot* last);
        Slot* erase(Slot* first, Slot* last);
        Slot* erase(Slot* at) { return erase(at, at + 1); }

      private:
        void take(SlotList& other);
        void release();
        bool onHeap() const { return data_ != inline_; }
        Slot inline_[2];
        Slot* data_ = inline_;  // inline_, or the heap's slots once more are needed
        uint32_t size_ = 0, capacity_ = 2;
    };
    // The first cell of `cells` whose run ends at or after `col`, when it holds `col`.
    static const Slot* findIn(const SlotList& cells, int col) {
        const Slot* s = cells.begin();
        const Slot* const end = cells.end();
        // Most rows hold a few cells.
        if (end - s > 8)
            s = std::lower_bound(s, end, col, [](const Slot& c, int at) { return c.lastCol < at; });
        else
            while (s != end && s->lastCol < col) ++s;
        return s != end && s->firstCol <= col ? s : nullptr;
    }
    struct Row {
        uint16_t index = 0;
        uint32_t record = kNoRecord;  // offset of the ROW record's header in the byte store
        SlotList cells;
    };

    // What addPlain() changes in the rows for the record `type` with `data`, its header to
    // lie at `offset` of the store; false, having changed nothing, for a record not its own.
    bool notePlain(uint16_t type, const uint8_t* data, size_t size, uint32_t offset) {
        const bool row = type == rt::Row;
        if (!row && type != rt::LabelSst && type != rt::Number && type != rt::Rk &&
            type != rt::Blank)
            return false;
        if (size < (row ? 16 : minCellSize(type))) return false;
        const uint16_t index = get16(data), col = get16(data + 2);
        if (row) {
            Row& rw = rowFor(index);
            if (rw.record != kNoRecord) return false;
            rw.record = offset;
            lastRow_ = -1;
            return true;
        }
        if (col > 255) return false;
        Row& rw = rowFor(index);
        if (!rw.cells.empty() && rw.cells.back().lastCol >= col) return false;
        Slot s;
        s.type = type;
        s.firstCol = s.lastCol = uint8_t(col);
        s.offset = offset;
        s.size = uint32_t(4 + size);
        rw.cells.push_back(s);
        lastRow_ = index;
        lastCol_ = col;
        lastIsFormula_ = false;
        return true;
    }
    Row* findRow(int row);
    const Row* findRow(int row) const;
    Row& rowFor(int row) {
        if (size_t(row) < rowAt_.size() && rowAt_[size_t(row)])
            return rows_[rowAt_[size_t(row)] - 1];
        return addRow(row);
    }
    Row& addRow(int row);                       // a row not there yet
    [[gnu::noinline]] Row& insertRow(int row);  // the same, before the last row there
    uint32_t append(uint16_t type, const uint8_t* data, size_t size) {
        const size_t at = used_;
        uint8_t* p = grow(4 + size);
        set16(p, type);
        set16(p + 2, uint16_t(size));
        copyBytes(p + 4, data, size);
        return uint32_t(at);
    }
    // n more bytes at the end of the store.
    uint8_t* grow(size_t n) {
        if (used_ + n > capacity_) reserveMore(n);
        uint8_t* p = store_.get() + used_;
        used_ += n;
        return p;
    }
    void reserveMore(size_t n);  // room for n more bytes
    // setXf() of an empty cell (it becomes a BLANK) or of a column of a run (split off).
    void putXf(const Slot* at, int row, int col, uint16_t xf);
    // The text of a LABEL or RSTRING cell `e`, or the cached string of a FORMULA cell (empty
    // without its STRING record). Out of line: read() of the usual cells needs none of its parts.
    [[gnu::noinline]] std::string textOf(const Slot& e) const;
    // What read() gives for the cell `e` holding column `col`, for every kind of cell.
    Cell readSlot(const Slot* e, int col, const SharedStrings& sst) const;
    void removeRange(Row& row, int firstCol, int lastCol);
    void rehostSharedFormula(uint16_t row, uint16_t col, uint32_t shrfmla);
    void insert(Row& row, const Slot& slot) {
        auto& cells = row.cells;
        if (cells.empty() || cells.back().lastCol < slot.firstCol)
            cells.push_back(slot);
        else
            insertBefore(row, slot);
    }
    void insertBefore(Row& row, const Slot& slot);  // insert() before the row's last cell
    // A cell of one record at `col` of `row`, where no cell holds that column.
    [[gnu::always_inline]] void addCell(Row& row, int col, uint16_t type, const uint8_t* bytes,
                                        size_t size, bool written) {
        const uint32_t offset = append(type, bytes, size);
        SlotList& cells = row.cells;
        // After the row's last cell, with room: made where it goes.
        if (cells.empty() || cells.back().lastCol < col) {
            if (Slot* s = cells.pushRoom()) {
                s->type = type;
                s->firstCol = s->lastCol = uint8_t(col);
                s->written = written;
                s->offset = offset;
                s->size = uint32_t(4 + size);
                return;
            }
        }
        Slot s;
        s.type = type;
        s.firstCol = s.lastCol = uint8_t(col);
        s.written = written;
        s.offset = offset;
        s.size = uint32_t(4 + size);
        insert(row, s);
    }
    void compactIfWasteful();

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

}  // namespace xls
