#include "xls/SheetModel.h"

#include <algorithm>

namespace xls {

SheetModel::SheetModel(const uint8_t* first, const uint8_t* last, bool worksheet)
    : worksheet_(worksheet) {
    auto keep = [&](uint16_t type, const uint8_t* data, size_t size) {
        records_.emplace_back();
        records_.back().type = type;
        records_.back().data.assign(data, data + size);
    };
    if (!worksheet) {
        for (const uint8_t* p = first; p < last; p += 4 + get16(p + 2))
            keep(get16(p), p + 4, get16(p + 2));
        readLayout();
        return;
    }
    cells_.reserve(size_t(last - first));
    int depth = 0;
    bool tableSeen = false;
    size_t dimensionsAt = size_t(-1), window2At = size_t(-1);
    for (const uint8_t* p = first; p < last; p += 4 + get16(p + 2)) {
        uint16_t type = get16(p);
        size_t size = get16(p + 2);
        const uint8_t* data = p + 4;
        if (depth == 1 && type != rt::Bof && type != rt::Eof) {
            if (type == rt::Index) continue;
            if (cells_.add(type, data, size)) {
                if (!tableSeen) tableAt_ = records_.size();
                tableSeen = true;
                continue;
            }
            if (type == rt::Dimensions) dimensionsAt = records_.size();
            if (type == rt::Window2 && window2At == size_t(-1)) window2At = records_.size();
            if (type == rt::DefaultRowHeight && size >= 4) {
                defaultRowFlags_ = get16(data);
                defaultRowHeight_ = get16(data + 2);
            }
        }
        if (type == rt::Bof) ++depth;
        if (type == rt::Eof) --depth;
        keep(type, data, size);
    }
    if (!tableSeen) {
        if (dimensionsAt != size_t(-1))
            tableAt_ = dimensionsAt + 1;
        else if (window2At != size_t(-1))
            tableAt_ = window2At;
        else
            tableAt_ = records_.empty() ? 0 : records_.size() - 1;
    }
    readLayout();
}

// Column widths and formats, read once: nothing changes these records after opening.
void SheetModel::readLayout() {
    for (const Record& rec : records_) {
        if (rec.type == rt::DefColWidth && rec.data.size() >= 2)
            defaultColumnWidth_ = get16(&rec.data[0]) * 256 + 0xA0;
    }
    for (const Record& rec : records_) {
        if (rec.type == rt::StandardWidth && rec.data.size() >= 2)
            defaultColumnWidth_ = get16(&rec.data[0]);
    }
    for (const Record& rec : records_) {
        if (rec.type != rt::ColInfo || rec.data.size() < 10) continue;
        ColumnRun run;
        run.first = get16(&rec.data[0]);
        run.last = get16(&rec.data[2]);
        run.format.widthChars256 = get16(&rec.data[4]);
        run.format.xf = get16(&rec.data[6]);
        run.format.hidden = get16(&rec.data[8]) & 1;
        run.format.custom = true;
        columns_.push_back(run);
    }
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
    for (const Record& rec : records_) {
        if (rec.type != rt::MergedCells || rec.data.size() < 2) continue;
        size_t n = std::min<size_t>(get16(&rec.data[0]), (rec.data.size() - 2) / 8);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* p = &rec.data[2 + 8 * i];
            out.push_back({get16(p), get16(p + 4), get16(p + 2), get16(p + 6)});
        }
    }
    return out;
}

bool SheetModel::showGridlines() const {
    for (const Record& rec : records_)
        if (rec.type == rt::Window2 && rec.data.size() >= 2) return get16(&rec.data[0]) & 2;
    return true;
}

void SheetModel::write(Bytes& out) const {
    auto range = cells_.usedRange();
    int depth = 0;
    for (size_t i = 0; i <= records_.size(); ++i) {
        if (worksheet_ && i == tableAt_)
            cells_.write(out, defaultRowHeight_, 0x000F0100u | ((defaultRowFlags_ & 1) ? 0x40 : 0));
        if (i == records_.size()) break;
        const Record& rec = records_[i];
        if (rec.type == rt::Bof) ++depth;
        if (rec.type == rt::Eof) --depth;
        if (worksheet_ && depth == 1 && rec.type == rt::Dimensions && rec.data.size() >= 14) {
            Bytes d = rec.data;
            set32(&d[0], range ? uint32_t(range->firstRow) : 0);
            set32(&d[4], range ? uint32_t(range->lastRow + 1) : 0);
            set16(&d[8], range ? uint16_t(range->firstCol) : 0);
            set16(&d[10], range ? uint16_t(range->lastCol + 1) : 0);
            writeRecord(out, rec.type, d.data(), d.size());
        } else {
            writeRecord(out, rec);
        }
    }
}

}  // namespace xls
