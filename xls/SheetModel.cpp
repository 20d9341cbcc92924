#include "xls/SheetModel.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "xls/FastPaths.h"

namespace xls {

namespace {

// The cell format of cells, rows and columns that name none of their own.
constexpr uint16_t kDefaultCellXf = 15;

// Zero bytes from `p` to `end`: the padding some writers leave after the last record.
bool padding(const uint8_t* p, const uint8_t* end) {
    return p[0] == 0 && (p + 1 < end ? p[1] : p[0]) == 0 &&
           std::all_of(p, end, [](uint8_t b) { return b == 0; });
}

// The record types below 0x100 that the walk through a sheet's substream stops at: EOF, the
// column layout and 0 (padding or a broken stream), as a 256-bit mask.
struct TypeMask {
    uint64_t words[4];
    bool has(uint16_t type) const { return words[type >> 6] >> (type & 63) & 1; }
};
constexpr TypeMask maskOf(std::initializer_list<uint16_t> types) {
    TypeMask mask{};
    for (uint16_t t : types) mask.words[(t >> 6) & 3] |= uint64_t(1) << (t & 63);
    return mask;
}
// The most records of one repeating group of a chart that the walk through it looks for.
constexpr size_t kGroupRecords = 32;

// Whether the record headers at `starts[0..count)` from `a` are `headers[0..count)`.
bool sameHeaders(const uint8_t* a, const uint32_t* starts, const uint32_t* headers, size_t count) {
    bool same = true;
    for (size_t k = 0; k < count; ++k) same &= get32(a + starts[k]) == headers[k];
    return same;
}

constexpr TypeMask kFullLook =
    maskOf({0, rt::Eof, rt::ColInfo, rt::DefColWidth, rt::StandardWidth});
static_assert(rt::Eof < 0x100 && rt::ColInfo < 0x100 && rt::DefColWidth < 0x100 &&
              rt::StandardWidth < 0x100);

// Passes over the records from `p` in a substream of the sheet's own (an embedded chart: most
// records of a long list's sheet) up to the first that needs a full look: a BOF, an EOF, a
// layout record, a record of type 0 or one that runs past `end`. Sets `previous` to the last
// record passed over, if any.
//
// A long list's chart repeats one group of records per point, each with the same headers. The
// records walked since `mark` are remembered (where each starts); when a record's header is the
// one at `mark`, the bytes since then may be such a group: the next as many bytes are taken as
// one more when every record header in them is that of the group before, all compared at once.
// Equal headers make the same records, lengths and types, as walking them one by one.
uint8_t* passOverSubstream(uint8_t* p, const uint8_t* end, const uint8_t*& previous) {
    uint8_t* q = p;
    if (end - q < std::ptrdiff_t(kRecordHeaderSize)) return q;
    const uint8_t* const last = end - kRecordHeaderSize;  // the last place a header fits
    uint32_t starts[kGroupRecords];                       // of the records since `mark`, from it
    size_t count = 0;
    const uint8_t* mark = q;
    uint32_t markHeader = 0;
    while (q <= last) {
        const uint32_t header = get32(q);  // type and length at once
        if (header == markHeader && count > 0) {
            const size_t period = size_t(q - mark);
            uint32_t headers[kGroupRecords];  // of the group from `mark`
            for (size_t k = 0; k < count; ++k) headers[k] = get32(mark + starts[k]);
            while (size_t(end - q) >= period && sameHeaders(q, starts, headers, count)) {
                previous = q + starts[count - 1];
                q += period;
            }
            count = 0;
            markHeader = 0;
            continue;
        }
        // A chart's own records (0x1000 on) pass on one comparison, a low type is looked up.
        const uint16_t t = uint16_t(header);
        const size_t n = header >> 16;
        if (t < 0x100 ? kFullLook.has(t) : t == rt::Bof) break;
        if (n > size_t(last - q)) break;
        if (count == kGroupRecords) count = 0;
        if (count == 0) {
            mark = q;
            markHeader = header;
        }
        starts[count++] = uint32_t(q - mark);
        previous = q;
        q += kRecordHeaderSize + n;
    }
    return q;
}

}  // namespace

// The records a sheet keeps, in runs where they are read (a run ends where a record is left
// out), packed at the end of the part once it is read.
class SheetModel::KeptRuns {
  public:
    explicit KeptRuns(uint8_t* first) : run_(first) {}
    // Leaves out the records from `p` up to `to`.
    void leaveOut(uint8_t* p, uint8_t* to) {
        if (p > run_) runs_.emplace_back(run_, size_t(p - run_));
        size_ += size_t(p - run_);
        run_ = to;
    }
    // Where the record at `p`, which is kept, lies in the kept records.
    size_t at(const uint8_t* p) const { return size_ + size_t(p - run_); }
    // Closes the last run at `end` and moves the runs to end there, last run first: the runs
    // move up, and the last one (most of the bytes: whatever follows the cell table) does not
    // move at all. Returns where the kept records begin.
    uint8_t* pack(uint8_t* end) {
        leaveOut(end, end);
        uint8_t* to = end;
        for (auto it = runs_.rbegin(); it != runs_.rend(); ++it) {
            to -= it->second;
            if (to != it->first) std::memmove(to, it->first, it->second);
        }
        return to;
    }
    size_t size() const { return size_; }

  private:
    std::vector<std::pair<uint8_t*, size_t>> runs_;
    uint8_t* run_;
    size_t size_ = 0;
};

// What the reading of a sheet's part notes as it goes.
struct SheetModel::Marks {
    static constexpr size_t kNone = size_t(-1);
    // Offsets in the kept records: after the sheet's DIMENSIONS, its first WINDOW2, its own EOF
    // (records after it, up to the next substream, are kept as they are but are not the
    // sheet's), the last record.
    size_t afterDimensions = kNone, window2 = kNone, eof = kNone, last = 0;
    bool tableSeen = false;
    int defColWidth = -1, standardWidth = -1;  // column widths, read as the records go by
};

SheetModel::SheetModel(uint8_t* first, const uint8_t* end, bool worksheet) : worksheet_(worksheet) {
    KeptRuns kept(first);
    Marks marks;
    int depth = 0;
    int partDepth = 0;  // as the parts of the stream are cut: never below 0
    uint8_t* p = first;
    while (p < end) {
        // Fast path: inside a substream only a BOF, an EOF, a layout record or a fault does
        // anything below, so the records between are passed over; the same marks result.
        if (kFastPaths && depth >= 2) {
            const uint8_t* previous = nullptr;
            p = passOverSubstream(p, end, previous);
            if (previous) marks.last = kept.at(previous);
            if (p >= end) break;
        }
        if (padding(p, end)) break;
        if (end - p < std::ptrdiff_t(kRecordHeaderSize))
            throw StreamFault{"record header cut off at the end"};
        const uint16_t type = get16(p + biff::header::kType);
        const size_t size = get16(p + biff::header::kLength);
        if (size > size_t(end - p) - kRecordHeaderSize)
            throw StreamFault{"record runs past the end of the workbook stream"};
        if (partDepth == 0 && type == rt::Bof && p != first) break;  // the next part
        const uint8_t* data = p + kRecordHeaderSize;
        if (worksheet && depth == 1 && type != rt::Bof && type != rt::Eof) {
            if (uint8_t* next = readSheetRecord(p, end, type, size, kept, marks)) {
                p = next;
                continue;
            }
        }
        if (type == rt::Bof) ++depth, ++partDepth;
        if (type == rt::Eof && partDepth > 0) --partDepth;
        if (type == rt::Eof && --depth == 0 && marks.eof == Marks::kNone) marks.eof = kept.at(p);
        marks.last = kept.at(p);
        noteLayout(type, data, size, marks.defColWidth, marks.standardWidth);
        p += kRecordHeaderSize + size;
    }
    partEnd_ = p;
    keptBegin_ = kept.pack(p);
    keptSize_ = kept.size();
    if (!marks.tableSeen) {
        if (marks.afterDimensions != Marks::kNone)
            tableByte_ = marks.afterDimensions;
        else if (marks.window2 != Marks::kNone)
            tableByte_ = marks.window2;
        else if (marks.eof != Marks::kNone)
            tableByte_ = marks.eof;
        else
            tableByte_ = marks.last;
    }
    applyWidths(marks.defColWidth, marks.standardWidth);
}

uint8_t* SheetModel::readSheetRecord(uint8_t* p, const uint8_t* end, uint16_t type, size_t size,
                                     KeptRuns& kept, Marks& marks) {
    const uint8_t* data = p + kRecordHeaderSize;
    uint8_t* const after = p + kRecordHeaderSize + size;
    if (type == rt::Index) {
        kept.leaveOut(p, after);
        return after;
    }
    bool cell = false;
    if (!broken_) {
        try {
            // Fast path: addPlain() takes what add() would, for the usual records.
            cell =
                (kFastPaths && cells_.addPlain(type, data, size)) || cells_.add(type, data, size);
        } catch (const OutOfBounds&) {
            broken_ = true;  // the stream is still read to its end for its faults
        }
    }
    if (cell) {
        if (!marks.tableSeen) tableByte_ = kept.at(p);
        marks.tableSeen = true;
        kept.leaveOut(p, after);
        // The records after it while they are rows and plain cells: the bulk of a long list's
        // table, taken in one run. Anything else is looked at by the caller.
        // Fast path: addPlainRun() takes the records addPlain() would, one by one.
        uint8_t* const next = kFastPaths ? after + (cells_.addPlainRun(after, end) - after) : after;
        if (next > after) kept.leaveOut(after, next);
        return next;
    }
    if (type == rt::Dimensions) {
        marks.afterDimensions = kept.at(p) + kRecordHeaderSize + size;
        if (size >= biff::dimensions::kSize) {
            dimensions_.push_back(kept.at(p));
            // The rows to come, so that the rows are not moved again and again.
            const uint32_t rows = uint32_t(kLastRow) + 1;
            cells_.reserveRows(int(std::min(get32(data + biff::dimensions::kFirstRow), rows)),
                               int(std::min(get32(data + biff::dimensions::kEndRow), rows)) - 1,
                               size_t(end - p));
        }
    }
    if (type == rt::Window2 && marks.window2 == Marks::kNone) marks.window2 = kept.at(p);
    if (type == rt::DefaultRowHeight && size >= biff::defaultRow::kSize) {
        defaultRowFlags_ = get16(data + biff::defaultRow::kFlags);
        defaultRowHeight_ = get16(data + biff::defaultRow::kHeight);
    }
    return nullptr;
}

void SheetModel::moveMarks(size_t where, size_t size) {
    // The cell table keeps its place before the record it stood before; records inserted right
    // there come after it.
    if (tableByte_ > where) tableByte_ += size;
    for (size_t& d : dimensions_)
        if (d >= where) d += size;
}

template <class F>
void SheetModel::forEachRecord(F f) const {
    for (RecordWalker r = raw_.walk(); r.more(); r.next()) f(r.type(), r.data(), r.length());
}

void SheetModel::noteLayout(uint16_t type, const uint8_t* data, size_t size, int& defColWidth,
                            int& standardWidth) {
    if (type == rt::DefColWidth && size >= 2) defColWidth = get16(data);
    if (type == rt::StandardWidth && size >= 2) standardWidth = get16(data);
    if (type != rt::ColInfo || size < 10) return;
    ColumnRun run;
    run.first = get16(data);
    run.last = get16(data + 2);
    run.format.widthChars256 = get16(data + 4);
    run.format.xf = get16(data + 6);
    run.format.hidden = get16(data + 8) & 1;
    run.format.custom = true;
    columns_.push_back(run);
}

void SheetModel::applyWidths(int defColWidth, int standardWidth) {
    if (defColWidth >= 0) defaultColumnWidth_ = defColWidth * 256 + 0xA0;
    if (standardWidth >= 0) defaultColumnWidth_ = standardWidth;
    columnXf_.fill(kDefaultCellXf);
    for (const ColumnRun& run : columns_)
        for (int col = run.first; col <= std::min<int>(run.last, kLastCol); ++col)
            columnXf_[size_t(col)] = run.format.xf;
}

ColumnFormat SheetModel::column(int col) const {
    ColumnFormat f;
    f.widthChars256 = defaultColumnWidth_;
    for (const ColumnRun& run : columns_)
        if (col >= run.first && col <= run.last) f = run.format;
    return f;
}

RowFormat SheetModel::row(int row) const {
    RowFormat f;
    f.heightTwips = defaultRowHeight_;
    f.hidden = defaultRowFlags_ & biff::defaultRow::kHidden;
    const uint8_t* rec = cells_.rowRecord(row);
    if (!rec) return f;
    f.custom = true;
    f.heightTwips = get16(rec + biff::row::kHeight) & biff::row::kHeightMask;
    uint32_t flags = get32(rec + biff::row::kFlags);
    f.hidden = flags & biff::row::kHidden;
    f.hasXf = flags & biff::row::kHasXf;
    if (f.hasXf) f.xf = uint16_t((flags >> biff::row::kXfShift) & biff::row::kXfMask);
    return f;
}

std::vector<CellRange> SheetModel::mergedRanges() const {
    std::vector<CellRange> out;
    forEachRecord([&](uint16_t type, const uint8_t* data, size_t size) {
        if (type != rt::MergedCells || size < 2) return;
        size_t n = std::min<size_t>(get16(data), (size - 2) / 8);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* p = data + 2 + 8 * i;
            out.push_back({get16(p), get16(p + 4), get16(p + 2), get16(p + 6)});
        }
    });
    return out;
}

bool SheetModel::showGridlines() const {
    bool seen = false, show = true;
    forEachRecord([&](uint16_t type, const uint8_t* data, size_t size) {
        if (seen || type != rt::Window2 || size < 2) return;
        seen = true;
        show = get16(data) & 2;
    });
    return show;
}

size_t SheetModel::sizeHint() const { return raw_.byteSize() + cells_.sizeHint(); }

void SheetModel::updateDimensions() {
    auto range = cells_.usedRange();
    for (size_t d : dimensions_) {
        namespace dim = biff::dimensions;
        uint8_t* p = raw_.bytes() + d + kRecordHeaderSize;
        set32(p + dim::kFirstRow, range ? uint32_t(range->firstRow) : 0);
        set32(p + dim::kEndRow, range ? uint32_t(range->lastRow + 1) : 0);
        set16(p + dim::kFirstCol, range ? uint16_t(range->firstCol) : 0);
        set16(p + dim::kEndCol, range ? uint16_t(range->lastCol + 1) : 0);
    }
}

uint32_t SheetModel::writeCells(Bytes& out) const {
    // Rows the cell table adds: in the default cell format, with their height custom when the
    // sheet's default height is.
    constexpr uint32_t kDefaultXf = 15;
    const uint32_t rowFlags =
        kDefaultXf << biff::row::kXfShift | biff::row::kAlwaysSet |
        (defaultRowFlags_ & biff::defaultRow::kCustomHeight ? biff::row::kCustomHeight : 0);
    return worksheet_ ? cells_.write(out, defaultRowHeight_, rowFlags) : 0;
}

}  // namespace xls
