#include "xls/CellTable.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "xls/FastPaths.h"
#include "xls/SharedStrings.h"

namespace xls {

using namespace biff;

namespace {

// The store starts at this size and doubles.
constexpr size_t kFirstStoreSize = 4096;
// Room reserved in the store for each row a sheet's DIMENSIONS promises: a ROW record, a label
// and a number.
constexpr size_t kBytesPerRow = 64;
// The store is packed once this many bytes, and half of it, are no cell's any more.
constexpr size_t kCompactAfter = 65536;

}  // namespace

void CellTable::reserveMore(size_t n) {
    // The room past used_ is not zeroed, as every byte is written before it is read.
    const size_t capacity = std::max({used_ + n, 2 * capacity_, kFirstStoreSize});
    std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity]);
    if (used_) std::memcpy(bigger.get(), store_.get(), used_);
    store_ = std::move(bigger);
    capacity_ = capacity;
}

void CellTable::reserveRows(int firstRow, int lastRow, size_t recordBytes) {
    if (firstRow < 0 || lastRow < firstRow || lastRow > kLastRow) return;
    // A row read takes at least a cell record, and the store holds no more than the records
    // read, so a DIMENSIONS claiming more than the stream can hold reserves no more than that.
    const size_t rows =
        std::min(size_t(lastRow - firstRow + 1), recordBytes / (kRecordHeaderSize + cell::kSize));
    rows_.reserve(rows_.size() + rows);
    rowAt_.reserve(std::min(size_t(lastRow) + 1, size_t(firstRow) + rows));
    // And room in the store for each row's records, so that it is not copied again and again
    // as it doubles.
    if (used_ == 0) reserveMore(std::min(rows * kBytesPerRow, recordBytes));
}

CellTable::Row* CellTable::findRow(int row) {
    const size_t at = size_t(row) < rowAt_.size() ? rowAt_[size_t(row)] : 0;
    return at ? &rows_[at - 1] : nullptr;
}

const uint8_t* CellTable::addPlainRun(const uint8_t* p, const uint8_t* end) {
    const uint8_t* const first = p;
    const size_t base = used_;
    // A walk by hand, not RecordWalker: these headers come straight from the file, each checked
    // against `end` before it is trusted.
    while (size_t(end - p) >= kRecordHeaderSize) {
        const size_t n = get16(p + header::kLength);
        if (n > size_t(end - p) - kRecordHeaderSize ||
            !notePlain(get16(p + header::kType), p + kRecordHeaderSize, n,
                       uint32_t(base + size_t(p - first))))
            break;
        p += kRecordHeaderSize + n;
    }
    if (p > first) std::memcpy(grow(size_t(p - first)), first, size_t(p - first));
    return p;
}

CellTable::Row& CellTable::addRow(int row) {
    if (size_t(row) < rowAt_.size()) return insertRow(row);
    // After the last row there (rowAt_ ends with it), the common case: appended.
    if (size_t(row) > rowAt_.size()) rowAt_.resize(size_t(row), 0);
    // A list being filled adds rows one by one: the table grows fourfold, so that its rows are
    // moved fewer times.
    if (rows_.size() == rows_.capacity()) rows_.reserve(std::max<size_t>(16, 4 * rows_.size()));
    rows_.emplace_back();
    rows_.back().index = uint16_t(row);
    rowAt_.push_back(uint32_t(rows_.size()));
    return rows_.back();
}

CellTable::Row& CellTable::insertRow(int row) {
    auto it = std::lower_bound(rows_.begin(), rows_.end(), row,
                               [](const Row& r, int index) { return r.index < index; });
    it = rows_.insert(it, Row{});
    it->index = uint16_t(row);
    for (auto moved = it; moved != rows_.end(); ++moved)
        rowAt_[moved->index] = uint32_t(moved - rows_.begin()) + 1;
    return *it;
}

void CellTable::insertBefore(Row& row, const StoredCell& slot) {
    auto& cells = row.cells;
    auto it = std::lower_bound(cells.begin(), cells.end(), slot.firstCol,
                               [](const StoredCell& s, int col) { return s.firstCol < col; });
    cells.insert(it, slot);
}

bool CellTable::add(uint16_t type, const uint8_t* data, size_t size) {
    if (type == rt::FormulaBiff4) type = rt::Formula;  // same layout; kept under today's number
    if (type == rt::Row) {
        ByteReader r(data, size);
        uint16_t row = r.u16();
        r.need(row::kSize - 2);
        Row& rw = rowFor(row);
        if (rw.record != kNoRecord) waste_ += recordSize(store_.get() + rw.record);
        rw.record = append(type, data, size);
        lastRow_ = -1;
        return true;
    }
    if (type == rt::DbCell) {
        lastRow_ = -1;
        return true;  // rebuilt positions are not kept; the index is dropped on save
    }
    if (type == rt::Continue || isFormulaPart(type)) return addToLastCell(type, data, size);
    if (!isCellRecord(type)) {
        // Any other record ends the cell before it: a CONTINUE after it (a note's text after
        // its TXO, ...) is that record's own.
        lastRow_ = -1;
        return false;
    }
    const CellSpan span = readCellSpan(type, data, size);
    Row& rw = rowFor(span.row);
    if (!rw.cells.empty() && rw.cells.back().lastCol >= span.firstCol)
        removeRange(rw, span.firstCol, span.lastCol);  // read over cells already there
    StoredCell c;
    c.type = type;
    c.firstCol = uint8_t(span.firstCol);
    c.lastCol = uint8_t(span.lastCol);
    c.offset = append(type, data, size);
    c.size = uint32_t(kRecordHeaderSize + size);
    insert(rw, c);
    lastRow_ = span.row;
    lastCol_ = span.firstCol;
    lastIsFormula_ = type == rt::Formula;
    return true;
}

bool CellTable::addToLastCell(uint16_t type, const uint8_t* data, size_t size) {
    // A CONTINUE continues a long LABEL or STRING; a formula part without its FORMULA is
    // dropped.
    const bool part = type != rt::Continue;
    if (lastRow_ < 0 || (part && !lastIsFormula_)) return part;
    Row* rw = findRow(lastRow_);
    StoredCell* last = nullptr;
    if (rw)
        for (StoredCell& c : rw->cells)
            if (c.firstCol == lastCol_) last = &c;
    if (!last) return part;
    if (last->offset + last->size != used_) {
        // Not the last bytes of the store: the cell's records move to the end first.
        size_t at = used_;
        grow(last->size);
        std::memmove(store_.get() + at, store_.get() + last->offset, last->size);
        waste_ += last->size;
        last->offset = uint32_t(at);
    }
    append(type, data, size);
    last->size += uint32_t(kRecordHeaderSize + size);
    if ((type == rt::Array || type == rt::Table) && size >= cellRange::kSize) {
        SharedRange range;
        range.range = {get16(data + cellRange::kFirstRow), data[cellRange::kFirstCol],
                       get16(data + cellRange::kLastRow), data[cellRange::kLastCol]};
        range.table = type == rt::Table;
        sharedRanges_.push_back(range);
    }
    return true;
}

void CellTable::removeRange(Row& row, int firstCol, int lastCol) {
    auto& cells = row.cells;
    auto begin = std::lower_bound(cells.begin(), cells.end(), firstCol,
                                  [](const StoredCell& s, int c) { return s.lastCol < c; });
    auto end = begin;
    while (end != cells.end() && end->firstCol <= lastCol) ++end;
    if (begin == end) return;
    // The parts of runs outside [firstCol, lastCol] stay: at most one on each side.
    StoredCell parts[2];
    int partCount = 0;
    // Shared formulas whose host goes (host column, SHRFMLA record), last cell first.
    std::vector<std::pair<uint16_t, uint32_t>> orphaned;
    uint8_t buf[multi::kUnits + multi::kRkUnit * (kLastCol + 1) + multi::kLastColSize];  // a run
    for (auto it = end; it != begin;) {
        const StoredCell& e = *--it;
        if (isRun(e.type)) {
            for (auto [from, to] : {std::pair<int, int>{e.firstCol, firstCol - 1},
                                    std::pair<int, int>{lastCol + 1, e.lastCol}}) {
                if (from > to) continue;
                auto [type, size] = splitRun(e.type, data(e), row.index, e.firstCol, from, to, buf);
                StoredCell& part = parts[partCount++];
                part.type = type;
                part.firstCol = uint8_t(from);
                part.lastCol = uint8_t(to);
                part.offset = append(type, buf, size);
                part.size = uint32_t(kRecordHeaderSize + size);
            }
        }
        // The records after the cell record.
        const uint8_t* const store = store_.get();
        for (RecordWalker r(store, e.offset + e.size, e.offset + recordSize(store + e.offset));
             r.more(); r.next())
            if (r.type() == rt::ShrFmla) orphaned.emplace_back(e.firstCol, uint32_t(r.offset()));
        if (lastRow_ == row.index && lastCol_ == e.firstCol) lastRow_ = -1;
        waste_ += e.size;
    }
    auto at = cells.erase(begin, end);
    // Sub-runs were made last cell first: the right part first.
    if (partCount == 2 && parts[1].firstCol < parts[0].firstCol) std::swap(parts[0], parts[1]);
    cells.insert(at, parts, parts + partCount);
    uint16_t rowIndex = row.index;
    for (auto [col, shrfmla] : orphaned) rehostSharedFormula(rowIndex, col, shrfmla);
}

// The cell that held a shared formula (SHRFMLA follows its FORMULA) was replaced: the first
// formula cell still using it becomes its host, and every user points at the new host.
void CellTable::rehostSharedFormula(uint16_t row, uint16_t col, uint32_t shrfmla) {
    const uint8_t* const record = store_.get() + shrfmla;
    const size_t size = get16(record + header::kLength);
    if (size < sharedFormula::kSize) return;
    Bytes moved(record + kRecordHeaderSize, record + kRecordHeaderSize + size);
    const int firstRow = get16(&moved[cellRange::kFirstRow]);
    const int lastRow = get16(&moved[cellRange::kLastRow]);
    const int firstCol = moved[cellRange::kFirstCol], lastCol = moved[cellRange::kLastCol];
    // A user's whole formula is one tExp token naming the host cell.
    constexpr size_t kExp = formula::kTokens;
    auto usesHost = [&](const StoredCell& e) {
        const uint8_t* f = data(e);
        return e.type == rt::Formula && dataSize(e) >= kExp + ptg::kExpSize &&
               get16(f + formula::kTokenBytes) == ptg::kExpSize && f[kExp] == ptg::kExp &&
               get16(f + kExp + ptg::kExpRow) == row && get16(f + kExp + ptg::kExpCol) == col;
    };
    std::vector<std::pair<uint16_t, StoredCell*>> users;
    auto it = std::lower_bound(rows_.begin(), rows_.end(), firstRow,
                               [](const Row& r, int index) { return r.index < index; });
    for (; it != rows_.end() && it->index <= lastRow; ++it)
        for (StoredCell& e : it->cells)
            if (e.firstCol >= firstCol && e.firstCol <= lastCol && usesHost(e))
                users.emplace_back(it->index, &e);
    if (users.empty()) return;
    auto [hostRow, host] = users.front();
    uint8_t minCol = host->firstCol;
    for (auto [userRow, e] : users) {
        (void)userRow;
        uint8_t* f = store_.get() + e->offset + kRecordHeaderSize;
        set16(f + kExp + ptg::kExpRow, hostRow);
        set16(f + kExp + ptg::kExpCol, host->firstCol);
        minCol = std::min<uint8_t>(minCol, e->firstCol);
    }
    set16(&moved[cellRange::kFirstRow], hostRow);
    moved[cellRange::kFirstCol] = minCol;
    moved[sharedFormula::kUses] = uint8_t(std::min<size_t>(users.size(), sharedFormula::kMostUses));
    // The host's records become: its FORMULA, the SHRFMLA, then the rest.
    Bytes blob(store_.get() + host->offset, store_.get() + host->offset + host->size);
    const size_t first = recordSize(blob.data());
    uint8_t headerBytes[kRecordHeaderSize];
    set16(headerBytes + header::kType, rt::ShrFmla);
    set16(headerBytes + header::kLength, uint16_t(moved.size()));
    blob.insert(blob.begin() + first, moved.begin(), moved.end());
    blob.insert(blob.begin() + first, headerBytes, headerBytes + kRecordHeaderSize);
    waste_ += host->size;
    size_t at = used_;
    std::memcpy(grow(blob.size()), blob.data(), blob.size());
    host->offset = uint32_t(at);
    host->size = uint32_t(blob.size());
}

void CellTable::put(int row, int col, uint16_t type, const uint8_t* bytes, size_t size,
                    bool written) {
    Row* r = findRow(row);
    if (!r) {
        if (!bytes) return;
        r = &rowFor(row);
    }
    auto& cells = r->cells;
    auto it = std::lower_bound(cells.begin(), cells.end(), col,
                               [](const StoredCell& s, int c) { return s.lastCol < c; });
    if (it != cells.end() && it->firstCol == col && it->lastCol == col &&
        it->size == kRecordHeaderSize + dataSize(*it)) {
        // A cell of one record: replaced where it stands.
        if (lastRow_ == row && lastCol_ == col) lastRow_ = -1;
        if (!bytes) {
            waste_ += it->size;
            cells.erase(it);
        } else if (it->size == kRecordHeaderSize + size) {
            uint8_t* p = store_.get() + it->offset;
            set16(p + header::kType, type);
            std::memcpy(p + kRecordHeaderSize, bytes, size);
            it->type = type;
            it->written = written;
        } else {
            waste_ += it->size;
            it->offset = append(type, bytes, size);
            it->size = uint32_t(kRecordHeaderSize + size);
            it->type = type;
            it->written = written;
        }
    } else {
        if (it != cells.end()) removeRange(*r, col, col);  // else nothing there to remove
        if (bytes) addCell(*findRow(row), col, type, bytes, size, written);
    }
    compactIfWasteful();
}

void CellTable::put(const StoredCell* at, int row, int col, uint16_t type, const uint8_t* bytes,
                    size_t size, bool written) {
    // Fast path: nothing holds the column, so the new cell goes in as put() would put it,
    // nothing to remove and no waste made.
    if (!kFastPaths || at || !bytes) return put(row, col, type, bytes, size, written);
    addCell(rowFor(row), col, type, bytes, size, written);
}

void CellTable::compactIfWasteful() {
    if (waste_ < kCompactAfter || waste_ < used_ / 2) return;
    const size_t capacity = used_ - waste_;
    std::unique_ptr<uint8_t[]> packed(new uint8_t[capacity]);
    size_t size = 0;
    auto move = [&](uint32_t& offset, size_t n) {
        std::memcpy(packed.get() + size, store_.get() + offset, n);
        offset = uint32_t(size);
        size += n;
    };
    for (Row& r : rows_) {
        if (r.record != kNoRecord) move(r.record, recordSize(store_.get() + r.record));
        for (StoredCell& s : r.cells) move(s.offset, s.size);
    }
    store_ = std::move(packed);
    capacity_ = capacity;
    used_ = size;
    waste_ = 0;
    lastRow_ = -1;
}

void CellTable::putXf(const StoredCell* e, int row, int col, uint16_t xf) {
    if (!e) {
        uint8_t blank[cell::kSize];
        set16(blank + cell::kRow, uint16_t(row));
        set16(blank + cell::kCol, uint16_t(col));
        set16(blank + cell::kXf, xf);
        put(row, col, rt::Blank, blank, sizeof blank);
        return;
    }
    uint8_t one[minCellSize(rt::Rk)];  // an RK or a BLANK
    auto [type, size] = splitRun(e->type, data(*e), uint16_t(row), e->firstCol, col, col, one);
    set16(one + cell::kXf, xf);
    put(row, col, type, one, size);
}

std::optional<CellTable::SharedRange> CellTable::sharedRangeAt(int row, int col) const {
    for (const SharedRange& s : sharedRanges_)
        if (s.range.contains(row, col)) return s;
    return std::nullopt;
}

std::optional<uint16_t> CellTable::xfAt(int row, int col) const {
    const StoredCell* e = find(row, col);
    if (!e) return std::nullopt;
    return xfOf(*e, col);
}

Cell CellTable::read(int row, int col, const SharedStrings& sst) const {
    const StoredCell* e = find(row, col);
    if (!e) return Cell();
    if (e->type == rt::LabelSst) {
        // The usual text cell: its text made once, where the caller receives the cell.
        const uint8_t* d = data(*e);
        const uint32_t i = get32(d + cell::kSstIndex);
        const std::string_view text = i < sst.size() ? sst.text(i) : std::string_view();
        return Cell{CellKind::String,    CellKind::String, 0.0, std::string(text), false, 0,
                    get16(d + cell::kXf)};
    }
    return readCell(store_.get() + e->offset, e->size, e->firstCol, col, xfOf(*e, col), sst);
}

std::optional<CellRange> CellTable::usedRange() const {
    // Rows lie in row order: the first and the last with cells give the rows, and only the
    // columns take a walk over those between.
    auto hasCells = [](const Row& row) { return !row.cells.empty(); };
    const auto first = std::find_if(rows_.begin(), rows_.end(), hasCells);
    if (first == rows_.end()) return std::nullopt;
    const auto last = std::find_if(rows_.rbegin(), rows_.rend(), hasCells).base();
    CellRange r{first->index, kLastCol, last[-1].index, 0};
    for (auto it = first; it != last; ++it) {
        if (it->cells.empty()) continue;
        r.firstCol = std::min<int>(r.firstCol, it->cells.front().firstCol);
        r.lastCol = std::max<int>(r.lastCol, it->cells.back().lastCol);
    }
    return r;
}

uint32_t CellTable::write(Bytes& out, uint16_t defaultRowHeight, uint32_t defaultRowFlags) const {
    uint32_t refs = 0;
    const size_t count = rows_.size();
    for (size_t i = 0; i < count;) {
        if (rows_[i].record == kNoRecord && rows_[i].cells.empty()) {
            ++i;
            continue;
        }
        const size_t block = rows_[i].index / kRowBlock;
        size_t end = i;
        while (end < count && rows_[end].index / kRowBlock == block) ++end;
        writeRowRecords(out, i, end, defaultRowHeight, defaultRowFlags);
        refs += writeCells(out, i, end);
        i = end;
    }
    return refs;
}

void CellTable::writeRowRecords(Bytes& out, size_t first, size_t end, uint16_t defaultRowHeight,
                                uint32_t defaultRowFlags) const {
    const uint8_t* const store = store_.get();
    size_t rowBytes = 0;
    for (size_t k = first; k < end; ++k)
        if (rows_[k].record != kNoRecord)
            rowBytes += recordSize(store + rows_[k].record);
        else if (!rows_[k].cells.empty())
            rowBytes += kRecordHeaderSize + row::kSize;
    const size_t at = out.size();
    out.resize(at + rowBytes);
    uint8_t* p = out.data() + at;
    for (size_t k = first; k < end; ++k) {
        const Row& r = rows_[k];
        if (r.record != kNoRecord) {
            std::memcpy(p, store + r.record, recordSize(store + r.record));
        } else if (!r.cells.empty()) {
            set16(p + header::kType, rt::Row);
            set16(p + header::kLength, row::kSize);
            uint8_t* d = p + kRecordHeaderSize;
            std::memset(d, 0, row::kSize);
            set16(d + row::kRow, r.index);
            set16(d + row::kHeight, defaultRowHeight);
            set32(d + row::kFlags, defaultRowFlags);
        } else {
            continue;
        }
        if (!r.cells.empty()) {
            uint8_t* d = p + kRecordHeaderSize;
            set16(d + row::kFirstCol, r.cells.front().firstCol);
            set16(d + row::kEndCol, uint16_t(r.cells.back().lastCol + 1));
        }
        p += recordSize(p);
    }
}

uint32_t CellTable::writeCells(Bytes& out, size_t first, size_t end) const {
    // Appended in runs that lie one after the other in the store (cells read from a file, or
    // written row after row, make one run per block): copied once, with no room zeroed for them
    // first. Fast path: the same bytes as one cell after the other.
    const uint8_t* const store = store_.get();
    uint32_t refs = 0;
    const uint8_t* run = nullptr;
    size_t runSize = 0;
    for (size_t k = first; k < end; ++k)
        for (const StoredCell& c : rows_[k].cells) {
            const uint8_t* bytes = store + c.offset;
            if (!kFastPaths || bytes != run + runSize) {
                if (runSize) out.insert(out.end(), run, run + runSize);
                run = bytes;
                runSize = 0;
            }
            runSize += c.size;
            refs += c.type == rt::LabelSst;
        }
    if (runSize) out.insert(out.end(), run, run + runSize);
    return refs;
}

}  // namespace xls
