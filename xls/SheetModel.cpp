#include "xls/SheetModel.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "xls/FastPaths.h"

namespace xls {

namespace {

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

}  // namespace

SheetModel::SheetModel(uint8_t* first, const uint8_t* end, bool worksheet) : worksheet_(worksheet) {
    size_t keptSize = 0;
    // The kept records in runs: a run ends where a record is left out.
    std::vector<std::pair<uint8_t*, size_t>> runs;
    uint8_t* run = first;
    // Leaves out the records from `p` up to `to`.
    auto leaveOut = [&](uint8_t* p, uint8_t* to) {
        if (p > run) runs.emplace_back(run, size_t(p - run));
        keptSize += size_t(p - run);
        run = to;
    };
    int depth = 0;
    int partDepth = 0;  // as the parts of the stream are cut: never below 0
    bool tableSeen = false;
    const size_t kNone = size_t(-1);
    // Offsets in the kept records: after the sheet's DIMENSIONS, its first WINDOW2, its own EOF
    // (records after it, up to the next substream, are kept as they are but are not the
    // sheet's), the last record.
    size_t afterDimensions = kNone, window2Byte = kNone, eofByte = kNone, lastByte = 0;
    auto kept = [&](const uint8_t* p) { return keptSize + size_t(p - run); };
    int defColWidth = -1, standardWidth = -1;  // column widths, read as the records go by
    uint8_t* p = first;
    while (p < end) {
        // Fast path: inside a substream only a BOF, an EOF, a layout record or a fault does
        // anything below, so the records between are passed over; the same marks result.
        if (kFastPaths && depth >= 2) {
            // Inside a substream of the sheet's own (an embedded chart: most records of a long
            // list's sheet): only a BOF, an EOF, a layout record or a fault needs the full look.
            // The walk is bound by the latency of each record's length, so the test of a
            // record's type is kept short: a chart's own records (0x1000 on) pass on one
            // comparison, a low type is looked up in a mask.
            //
            // A long list's chart repeats one group of records per point, each with the same
            // headers. The records walked since `mark` are remembered (where each starts); when
            // a record's header is the one at `mark`, the bytes since then may be such a group:
            // the next as many bytes are taken as one more when every record header in them is
            // that of the group before, all compared at once instead of one record after the
            // other. Equal headers make the same records, lengths and types, as walking them.
            uint8_t* q = p;
            const uint8_t* previous = nullptr;
            if (end - q >= 4) {
                const uint8_t* const last = end - 4;  // the last place a header fits
                uint32_t starts[kGroupRecords];       // of the records since `mark`, from it
                size_t count = 0;
                const uint8_t* mark = q;
                uint32_t markHeader = 0;
                while (q <= last) {
                    const uint32_t header = get32(q);
                    if (header == markHeader && count > 0) {
                        const size_t period = size_t(q - mark);
                        uint32_t headers[kGroupRecords];  // of the group from `mark`
                        for (size_t k = 0; k < count; ++k) headers[k] = get32(mark + starts[k]);
                        while (size_t(end - q) >= period &&
                               sameHeaders(q, starts, headers, count)) {
                            previous = q + starts[count - 1];
                            q += period;
                        }
                        count = 0;
                        markHeader = 0;
                        continue;
                    }
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
                    q += 4 + n;
                }
            }
            if (previous) lastByte = kept(previous);
            p = q;
            if (p >= end) break;
        }
        if (padding(p, end)) break;
        if (end - p < 4) throw StreamFault{"record header cut off at the end"};
        const uint16_t type = get16(p);
        const size_t size = get16(p + 2);
        if (size > size_t(end - p - 4))
            throw StreamFault{"record runs past the end of the workbook stream"};
        if (partDepth == 0 && type == rt::Bof && p != first) break;  // the next part
        const uint8_t* data = p + 4;
        if (worksheet && depth == 1 && type != rt::Bof && type != rt::Eof) {
            if (type == rt::Index) {
                leaveOut(p, p + 4 + size);
                p += 4 + size;
                continue;
            }
            bool cell = false;
            if (!broken_) {
                try {
                    // Fast path: addPlain() takes what add() would, for the usual records.
                    cell = (kFastPaths && cells_.addPlain(type, data, size)) ||
                           cells_.add(type, data, size);
                } catch (const OutOfBounds&) {
                    broken_ = true;  // the stream is still read to its end for its faults
                }
            }
            if (cell) {
                if (!tableSeen) tableByte_ = kept(p);
                tableSeen = true;
                leaveOut(p, p + 4 + size);
                p += 4 + size;
                // The records after it while they are rows and plain cells: the bulk of a long
                // list's table, taken in one run. Anything else is looked at as above.
                // Fast path: addPlainRun() takes the records addPlain() would, one by one.
                uint8_t* const after = kFastPaths ? p + (cells_.addPlainRun(p, end) - p) : p;
                if (after > p) leaveOut(p, after);
                p = after;
                continue;
            }
            if (type == rt::Dimensions) {
                afterDimensions = kept(p) + 4 + size;
                if (size >= 14) {
                    dimensions_.push_back(kept(p));
                    // The rows to come, so that the rows are not moved again and again.
                    cells_.reserveRows(int(std::min<uint32_t>(get32(data), 65536)),
                                       int(std::min<uint32_t>(get32(data + 4), 65536)) - 1,
                                       size_t(end - p));
                }
            }
            if (type == rt::Window2 && window2Byte == kNone) window2Byte = kept(p);
            if (type == rt::DefaultRowHeight && size >= 4) {
                defaultRowFlags_ = get16(data);
                defaultRowHeight_ = get16(data + 2);
            }
        }
        if (type == rt::Bof) ++depth, ++partDepth;
        if (type == rt::Eof && partDepth > 0) --partDepth;
        if (type == rt::Eof && --depth == 0 && eofByte == kNone) eofByte = kept(p);
        lastByte = kept(p);
        noteLayout(type, data, size, defColWidth, standardWidth);
        p += 4 + size;
    }
    partEnd_ = p;
    leaveOut(p, p);  // closes the last run of kept records
    keptSize_ = keptSize;
    // Packed to end where the part ends, last run first: the runs move up, and the last one
    // (most of the bytes: whatever follows the cell table) does not move at all.
    uint8_t* to = p;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        to -= it->second;
        if (to != it->first) std::memmove(to, it->first, it->second);
    }
    keptBegin_ = to;
    if (!tableSeen) {
        if (afterDimensions != kNone)
            tableByte_ = afterDimensions;
        else if (window2Byte != kNone)
            tableByte_ = window2Byte;
        else if (eofByte != kNone)
            tableByte_ = eofByte;
        else
            tableByte_ = lastByte;
    }
    applyWidths(defColWidth, standardWidth);
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
    const uint8_t* raw = raw_.bytes();
    for (size_t p = 0, end = raw_.byteSize(); p < end; p += 4 + get16(raw + p + 2))
        f(get16(raw + p), raw + p + 4, size_t(get16(raw + p + 2)));
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
    columnXf_.fill(15);
    for (const ColumnRun& run : columns_)
        for (int col = run.first; col <= std::min<int>(run.last, 255); ++col)
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
    f.hidden = defaultRowFlags_ & 2;
    const uint8_t* rec = cells_.rowRecord(row);
    if (!rec) return f;
    f.custom = true;
    f.heightTwips = get16(rec + 6) & 0x7FFF;
    uint32_t flags = get32(rec + 12);
    f.hidden = flags & 0x20;
    f.hasXf = flags & 0x80;
    if (f.hasXf) f.xf = uint16_t((flags >> 16) & 0xFFF);
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
        uint8_t* p = raw_.bytes() + d + 4;
        set32(p, range ? uint32_t(range->firstRow) : 0);
        set32(p + 4, range ? uint32_t(range->lastRow + 1) : 0);
        set16(p + 8, range ? uint16_t(range->firstCol) : 0);
        set16(p + 10, range ? uint16_t(range->lastCol + 1) : 0);
    }
}

uint32_t SheetModel::writeCells(Bytes& out) const {
    uint32_t rowFlags = 0x000F0100u | ((defaultRowFlags_ & 1) ? 0x40 : 0);
    return worksheet_ ? cells_.write(out, defaultRowHeight_, rowFlags) : 0;
}

}  // namespace xls
