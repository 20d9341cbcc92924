#include "xls/SheetModel.h"

#include <algorithm>

namespace xls {

SheetModel::SheetModel(const uint8_t* first, const uint8_t* last, bool worksheet)
    : worksheet_(worksheet) {
    raw_.reserve(size_t(last - first));
    auto keep = [&](const uint8_t* p, size_t size) {
        raw_.insert(raw_.end(), p, p + 4 + size);
        ++count_;
    };
    if (!worksheet) {
        for (const uint8_t* p = first; p < last; p += 4 + get16(p + 2)) keep(p, get16(p + 2));
        readLayout();
        return;
    }
    cells_.reserve(size_t(last - first));
    int depth = 0;
    bool tableSeen = false;
    size_t dimensionsAt = size_t(-1), window2At = size_t(-1);
    // Where the sheet's own EOF stands (records after it, up to the next substream, are kept
    // as they are but are not the sheet's), else the last record.
    size_t eofAt = size_t(-1), eofByte = 0;
    size_t afterDimensions = 0, window2Byte = 0, lastByte = 0;  // offsets in raw_
    for (const uint8_t* p = first; p < last; p += 4 + get16(p + 2)) {
        uint16_t type = get16(p);
        size_t size = get16(p + 2);
        const uint8_t* data = p + 4;
        if (depth == 1 && type != rt::Bof && type != rt::Eof) {
            if (type == rt::Index) continue;
            if (cells_.add(type, data, size)) {
                if (!tableSeen) {
                    tableAt_ = count_;
                    tableByte_ = raw_.size();
                }
                tableSeen = true;
                continue;
            }
            if (type == rt::Dimensions) {
                dimensionsAt = count_;
                afterDimensions = raw_.size() + 4 + size;
                if (size >= 14) dimensions_.push_back(raw_.size());
            }
            if (type == rt::Window2 && window2At == size_t(-1)) {
                window2At = count_;
                window2Byte = raw_.size();
            }
            if (type == rt::DefaultRowHeight && size >= 4) {
                defaultRowFlags_ = get16(data);
                defaultRowHeight_ = get16(data + 2);
            }
        }
        if (type == rt::Bof) ++depth;
        if (type == rt::Eof && --depth == 0 && eofAt == size_t(-1)) {
            eofAt = count_;
            eofByte = raw_.size();
        }
        lastByte = raw_.size();
        keep(p, size);
    }
    if (!tableSeen) {
        if (dimensionsAt != size_t(-1)) {
            tableAt_ = dimensionsAt + 1;
            tableByte_ = afterDimensions;
        } else if (window2At != size_t(-1)) {
            tableAt_ = window2At;
            tableByte_ = window2Byte;
        } else if (eofAt != size_t(-1)) {
            tableAt_ = eofAt;
            tableByte_ = eofByte;
        } else {
            tableAt_ = count_ == 0 ? 0 : count_ - 1;
            tableByte_ = lastByte;
        }
    }
    readLayout();
}

std::vector<Record>& SheetModel::records() {
    if (!listed_) {
        records_.reserve(count_);
        for (size_t p = 0; p < raw_.size(); p += 4 + get16(&raw_[p + 2])) {
            records_.emplace_back();
            records_.back().type = get16(&raw_[p]);
            records_.back().data.assign(raw_.begin() + long(p) + 4,
                                        raw_.begin() + long(p) + 4 + get16(&raw_[p + 2]));
        }
        Bytes().swap(raw_);
        listed_ = true;
    }
    return records_;
}

template <class F>
void SheetModel::forEachRecord(F f) const {
    if (listed_) {
        for (const Record& rec : records_) f(rec.type, rec.data.data(), rec.data.size());
        return;
    }
    for (size_t p = 0; p < raw_.size(); p += 4 + get16(&raw_[p + 2]))
        f(get16(&raw_[p]), raw_.data() + p + 4, size_t(get16(&raw_[p + 2])));
}

// Column widths and formats, read once: nothing changes these records after opening.
void SheetModel::readLayout() {
    int defColWidth = -1, standardWidth = -1;
    forEachRecord([&](uint16_t type, const uint8_t* data, size_t size) {
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
    });
    if (defColWidth >= 0) defaultColumnWidth_ = defColWidth * 256 + 0xA0;
    if (standardWidth >= 0) defaultColumnWidth_ = standardWidth;
}

uint16_t SheetModel::defaultXf(int row, int col) const {
    RowFormat r = this->row(row);
    if (r.hasXf) return r.xf;
    ColumnFormat c = column(col);
    return c.custom ? c.xf : 15;
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

size_t SheetModel::sizeHint() const {
    size_t size = raw_.size() + cells_.sizeHint();
    for (const Record& rec : records_) size += 4 + rec.data.size();
    return size;
}

void SheetModel::write(Bytes& out) const {
    auto range = cells_.usedRange();
    auto dimensions = [&](uint8_t* d) {
        set32(d, range ? uint32_t(range->firstRow) : 0);
        set32(d + 4, range ? uint32_t(range->lastRow + 1) : 0);
        set16(d + 8, range ? uint16_t(range->firstCol) : 0);
        set16(d + 10, range ? uint16_t(range->lastCol + 1) : 0);
    };
    uint32_t rowFlags = 0x000F0100u | ((defaultRowFlags_ & 1) ? 0x40 : 0);
    if (!listed_) {
        // The records as read: copied in two pieces around the cell table.
        size_t at = out.size();
        out.insert(out.end(), raw_.begin(), raw_.begin() + long(tableByte_));
        size_t before = out.size();
        if (worksheet_) cells_.write(out, defaultRowHeight_, rowFlags);
        size_t table = out.size() - before;
        out.insert(out.end(), raw_.begin() + long(tableByte_), raw_.end());
        for (size_t d : dimensions_)
            dimensions(out.data() + at + d + (d < tableByte_ ? 0 : table) + 4);
        return;
    }
    int depth = 0;
    for (size_t i = 0; i <= records_.size(); ++i) {
        if (worksheet_ && i == tableAt_) cells_.write(out, defaultRowHeight_, rowFlags);
        if (i == records_.size()) break;
        const Record& rec = records_[i];
        if (rec.type == rt::Bof) ++depth;
        if (rec.type == rt::Eof) --depth;
        if (worksheet_ && depth == 1 && rec.type == rt::Dimensions && rec.data.size() >= 14) {
            size_t at = out.size();
            writeRecord(out, rec);
            dimensions(out.data() + at + 4);
        } else {
            writeRecord(out, rec);
        }
    }
}

}  // namespace xls
