#pragma once

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
    // `first`..`last`: the bytes of the substream from its BOF to its EOF, every record header
    // and size already checked. Throws OutOfBounds on short records. With `stream` given (the
    // buffer `first`..`last` lies in, nothing of which is needed afterwards), the records are
    // kept in that buffer rather than copied, and `stream` is left empty.
    SheetModel(const uint8_t* first, const uint8_t* last, bool worksheet, Bytes* stream = nullptr);

    bool isWorksheet() const { return worksheet_; }
    CellTable& cells() { return cells_; }
    const CellTable& cells() const { return cells_; }
    // Every record but the cell table and INDEX, in order, as the bytes they were read from.
    // Patch records in place through it; add records with insertRecords.
    RecordList& records() { return raw_; }
    const RecordList& records() const { return raw_; }
    // Inserts `size` bytes of whole records before record `at` of records(); `fill(Bytes& out)`
    // appends them (see RecordList::insert).
    template <class Fill>
    void insertRecords(size_t at, size_t size, Fill fill) {
        const size_t where = raw_.offset(at);
        raw_.insert(at, size, fill);
        moveMarks(where, size);
    }

    uint16_t defaultXf(int row, int col) const;
    ColumnFormat column(int col) const;
    RowFormat row(int row) const;
    int defaultRowHeight() const { return defaultRowHeight_; }
    int defaultColumnWidth() const { return defaultColumnWidth_; }
    std::vector<CellRange> mergedRanges() const;
    bool showGridlines() const;

    // Saving: the sheet is records()'s bytes before tableByte(), the cell table as writeCells()
    // gives it, then the rest of records()'s bytes. updateDimensions() first brings the stored
    // DIMENSIONS records up to date with the cells.
    void updateDimensions();
    size_t tableByte() const { return tableByte_; }
    void writeCells(Bytes& out) const;
    // About the bytes the sheet is saved as, at least as many.
    size_t sizeHint() const;

  private:
    struct ColumnRun {
        uint16_t first, last;
        ColumnFormat format;
    };
    // Column widths and formats, read as the records go by: once, since nothing changes these
    // records after opening.
    void noteLayout(uint16_t type, const uint8_t* data, size_t size, int& defColWidth,
                    int& standardWidth);
    void applyWidths(int defColWidth, int standardWidth);
    void moveMarks(size_t where, size_t size);  // after `size` bytes were inserted at `where`
    template <class F>
    void forEachRecord(F f) const;  // f(type, data, size) for each record in order

    RecordList raw_;                  // the records without the cell table and INDEX
    size_t tableByte_ = 0;            // the cell table is written before this byte of raw_
    std::vector<size_t> dimensions_;  // offsets in raw_ of the DIMENSIONS records to update
    CellTable cells_;
    bool worksheet_;
    std::vector<ColumnRun> columns_;  // COLINFO records in order: a later one wins
    int defaultColumnWidth_ = 8 * 256 + 0xA0;
    uint16_t defaultRowHeight_ = 255;
    uint16_t defaultRowFlags_ = 0;
};

}  // namespace xls
