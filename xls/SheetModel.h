#pragma once

#include <array>
#include <string>
#include <vector>

#include "xls/CellTable.h"
#include "xls/Record.h"
#include "xls/StyleTypes.h"

namespace xls {

// One sheet substream, BOF to EOF. A worksheet's cell table is taken out of the record list and
// kept in a CellTable, written back where it stood; every other record (charts and drawings
// embedded in the sheet included) is kept in order, byte for byte.
// Where a workbook stream's records stop chaining up; the reader names the file.
struct StreamFault {
    const char* what;
};

class SheetModel {
  public:
    // Reads one sheet's part of a workbook stream: from its BOF at `first` up to the next BOF
    // outside any substream, zero padding to the end, or `end`. The records the sheet keeps
    // (all but its cell table and INDEX) are packed where they are read, into the part's last
    // keptSize() bytes, which end at partEnd(); adopt() then gives the sheet its bytes. A record
    // running past `end` throws StreamFault. A cell record too short for its fields stops the
    // reading of cells: broken().
    SheetModel(uint8_t* first, const uint8_t* end, bool worksheet);
    const uint8_t* partEnd() const { return partEnd_; }
    const uint8_t* keptBegin() const { return keptBegin_; }
    size_t keptSize() const { return keptSize_; }
    bool broken() const { return broken_; }
    // The kept records: keptSize() bytes of `kept` from `start` on.
    void adopt(Bytes kept, size_t start = 0) { raw_ = RecordBuffer(std::move(kept), start); }

    bool isWorksheet() const { return worksheet_; }
    CellTable& cells() { return cells_; }
    const CellTable& cells() const { return cells_; }
    // Every record but the cell table and INDEX, in order, as the bytes they were read from.
    // Patch records in place through it; add records with insertRecords.
    RecordBuffer& records() { return raw_; }
    const RecordBuffer& records() const { return raw_; }
    // Inserts whole records in gaps of records() (see RecordBuffer::insert).
    template <class Fill>
    void insertRecords(const std::vector<RecordBuffer::Gap>& gaps, Fill fill) {
        std::vector<size_t> where;
        for (const RecordBuffer::Gap& p : gaps) where.push_back(raw_.offset(p.at));
        raw_.insert(gaps, fill);
        // The later gaps first, each in the offsets as they were.
        for (size_t k = gaps.size(); k-- > 0;) moveMarks(where[k], gaps[k].size);
    }

    // The format an empty cell shows: its row's when its ROW record has one, else its column's.
    // Asked for every new cell: kept inline.
    uint16_t defaultXf(int row, int col) const { return defaultXf(cells_.rowRecord(row), col); }
    // The same, with `rowRecord` what cells().rowRecord(row) gives.
    uint16_t defaultXf(const uint8_t* rowRecord, int col) const {
        if (rowRecord) {
            const uint32_t flags = get32(rowRecord + biff::row::kFlags);
            if (flags & biff::row::kHasXf)
                return uint16_t((flags >> biff::row::kXfShift) & biff::row::kXfMask);
        }
        return columnXf_[size_t(col) & kLastCol];
    }
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
    // Returns the cells written that refer to a shared string.
    uint32_t writeCells(Bytes& out) const;
    // About the bytes the sheet is saved as, at least as many.
    size_t sizeHint() const;

  private:
    class KeptRuns;
    struct Marks;
    // Reads a record of a worksheet's own substream (not its BOF or EOF) at `p`: a record of the
    // cell table, or INDEX, is left out of `kept` and the record after it returned; any other is
    // noted in `marks` and the sheet, and nullptr returned.
    uint8_t* readSheetRecord(uint8_t* p, const uint8_t* end, uint16_t type, size_t size,
                             KeptRuns& kept, Marks& marks);
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

    RecordBuffer raw_;  // the records without the cell table and INDEX
    const uint8_t* partEnd_ = nullptr;
    const uint8_t* keptBegin_ = nullptr;
    size_t keptSize_ = 0;
    bool broken_ = false;
    size_t tableByte_ = 0;            // the cell table is written before this byte of raw_
    std::vector<size_t> dimensions_;  // offsets in raw_ of the DIMENSIONS records to update
    CellTable cells_;
    bool worksheet_;
    std::vector<ColumnRun> columns_;  // COLINFO records in order: a later one wins
    std::array<uint16_t, kLastCol + 1>
        columnXf_;  // the format of each column's empty cells, from them
    int defaultColumnWidth_ = 8 * 256 + 0xA0;
    uint16_t defaultRowHeight_ = 255;
    uint16_t defaultRowFlags_ = 0;
};

}  // namespace xls
