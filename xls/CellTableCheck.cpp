// CellTable::checkInvariants(): what every change of the table must keep, checked by walking it.
#include <algorithm>
#include <utility>

#include "xls/CellTable.h"

namespace xls {

using namespace biff;

namespace {

std::string columns(const CellTable::StoredCell& c) {
    return c.firstCol == c.lastCol ? std::to_string(c.firstCol)
                                   : std::to_string(c.firstCol) + "-" + std::to_string(c.lastCol);
}

}  // namespace

std::string CellTable::checkInvariants() const {
    if (used_ > capacity_ || waste_ > used_)
        return "the store uses " + std::to_string(used_) + " bytes of " +
               std::to_string(capacity_) + ", " + std::to_string(waste_) + " of them waste";
    if (std::string fault = checkRows(); !fault.empty()) return fault;
    // Every live piece of the store (a ROW record, a cell's records) apart, and together the
    // bytes the store holds less its waste.
    std::vector<std::pair<uint32_t, uint32_t>> pieces;  // offset, size
    for (const Row& r : rows_) {
        if (std::string fault = checkCells(r); !fault.empty()) return fault;
        if (r.record != kNoRecord)
            pieces.emplace_back(r.record, recordSize(store_.get() + r.record));
        for (const StoredCell& c : r.cells) pieces.emplace_back(c.offset, c.size);
    }
    std::sort(pieces.begin(), pieces.end());
    size_t live = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        live += pieces[i].second;
        if (i && pieces[i - 1].first + pieces[i - 1].second > pieces[i].first)
            return "records at " + std::to_string(pieces[i - 1].first) + " and " +
                   std::to_string(pieces[i].first) + " of the store overlap";
    }
    if (live != used_ - waste_)
        return "the rows and cells hold " + std::to_string(live) + " bytes of the store, not " +
               std::to_string(used_ - waste_) + " (" + std::to_string(used_) + " used less " +
               std::to_string(waste_) + " waste)";
    if (lastRow_ >= 0) {
        // The cell a CONTINUE read next would attach to is there.
        const Row* r = size_t(lastRow_) < rowAt_.size() && rowAt_[size_t(lastRow_)]
                           ? &rows_[rowAt_[size_t(lastRow_)] - 1]
                           : nullptr;
        if (!r || std::none_of(r->cells.begin(), r->cells.end(),
                               [&](const StoredCell& c) { return c.firstCol == lastCol_; }))
            return "the cell read last, row " + std::to_string(lastRow_) + " column " +
                   std::to_string(lastCol_) + ", is not in the table";
    }
    return {};
}

std::string CellTable::checkRows() const {
    const size_t expected = rows_.empty() ? 0 : size_t(rows_.back().index) + 1;
    if (rowAt_.size() != expected)
        return "the row index covers " + std::to_string(rowAt_.size()) + " rows, not " +
               std::to_string(expected);
    for (size_t i = 0; i < rows_.size(); ++i) {
        const Row& r = rows_[i];
        const std::string row = "row " + std::to_string(r.index);
        if (i && rows_[i - 1].index >= r.index)
            return row + " follows row " + std::to_string(rows_[i - 1].index);
        if (rowAt_[r.index] != i + 1)
            return row + " is indexed at " + std::to_string(rowAt_[r.index]) + ", not " +
                   std::to_string(i + 1);
        if (r.record == kNoRecord) continue;
        if (size_t(r.record) + kRecordHeaderSize > used_ ||
            r.record + recordSize(store_.get() + r.record) > used_)
            return row + ": its ROW record at " + std::to_string(r.record) + " runs past the " +
                   std::to_string(used_) + " bytes used";
        const uint8_t* p = store_.get() + r.record;
        if (get16(p + header::kType) != rt::Row || recordSize(p) < kRecordHeaderSize + row::kSize ||
            get16(p + kRecordHeaderSize + row::kRow) != r.index)
            return row + ": the record at " + std::to_string(r.record) + " is not its ROW record";
    }
    const size_t indexed =
        size_t(std::count_if(rowAt_.begin(), rowAt_.end(), [](uint32_t at) { return at != 0; }));
    if (indexed != rows_.size())
        return "the row index names " + std::to_string(indexed) + " rows of " +
               std::to_string(rows_.size());
    return {};
}

std::string CellTable::checkCells(const Row& r) const {
    const std::string row = "row " + std::to_string(r.index);
    const StoredCell* before = nullptr;
    for (const StoredCell& c : r.cells) {
        const std::string cell = row + ", cell at columns " + columns(c);
        if (c.firstCol > c.lastCol || (c.firstCol != c.lastCol && !c.isRun()))
            return cell + ": its columns are not a " + (c.isRun() ? "run" : "single column");
        if (before && before->lastCol >= c.firstCol)
            return row + ": cells at columns " + columns(*before) + " and " + columns(c) +
                   (before->firstCol > c.firstCol ? " are out of order" : " overlap");
        before = &c;
        if (size_t(c.offset) + c.size > used_ || c.size < kRecordHeaderSize)
            return cell + ": its " + std::to_string(c.size) + " bytes at " +
                   std::to_string(c.offset) + " run past the " + std::to_string(used_) +
                   " bytes used";
        // Its records chain exactly over its bytes, the first being the cell record itself. A
        // walk by hand, not RecordWalker: the lengths are what is checked, so none is trusted
        // past the cell's end.
        size_t at = c.offset;
        while (at + kRecordHeaderSize <= size_t(c.offset) + c.size)
            at += recordSize(store_.get() + at);
        if (at != size_t(c.offset) + c.size)
            return cell + ": its records do not end with its " + std::to_string(c.size) + " bytes";
        const uint8_t* d = data(c);
        const size_t size = dataSize(c);
        const uint16_t type = get16(store_.get() + c.offset + header::kType);
        if (type != c.type)
            return cell + ": its record is of type " + std::to_string(type) + ", not " +
                   std::to_string(c.type);
        const size_t runSize = multi::kUnits +
                               runUnit(c.type) * size_t(c.lastCol - c.firstCol + 1) +
                               multi::kLastColSize;
        if (size < minCellSize(c.type) || get16(d + cell::kRow) != r.index ||
            get16(d + cell::kCol) != c.firstCol ||
            (c.isRun() && (size != runSize || get16(d + size - multi::kLastColSize) != c.lastCol)))
            return cell + ": its record's row, columns or size (" + std::to_string(size) +
                   " bytes) do not match";
    }
    return {};
}

}  // namespace xls
