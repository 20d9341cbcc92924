#include "xls/SheetModel.h"

#include <algorithm>

namespace xls {

SheetModel::SheetModel(std::vector<Record> records, bool worksheet) : worksheet_(worksheet) {
    if (!worksheet) {
        records_ = std::move(records);
        return;
    }
    int depth = 0;
    bool tableSeen = false;
    size_t dimensionsAt = size_t(-1), window2At = size_t(-1);
    for (Record& rec : records) {
        if (depth == 1 && rec.type != rt::Bof && rec.type != rt::Eof) {
            if (rec.type == rt::Index) continue;
            if (cells_.add(rec)) {
                if (!tableSeen) tableAt_ = records_.size();
                tableSeen = true;
                continue;
            }
            if (rec.type == rt::Dimensions) dimensionsAt = records_.size();
            if (rec.type == rt::Window2 && window2At == size_t(-1)) window2At = records_.size();
            if (rec.type == rt::DefaultRowHeight && rec.data.size() >= 4) {
                defaultRowFlags_ = get16(&rec.data[0]);
                defaultRowHeight_ = get16(&rec.data[2]);
            }
        }
        if (rec.type == rt::Bof) ++depth;
        if (rec.type == rt::Eof) --depth;
        records_.push_back(std::move(rec));
    }
    if (!tableSeen) {
        if (dimensionsAt != size_t(-1))
            tableAt_ = dimensionsAt + 1;
        else if (window2At != size_t(-1))
            tableAt_ = window2At;
        else
            tableAt_ = records_.empty() ? 0 : records_.size() - 1;
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
    f.widthChars256 = defaultColumnWidth();
    for (const Record& rec : records_) {
        if (rec.type != rt::ColInfo || rec.data.size() < 10) continue;
        int first = get16(&rec.data[0]), last = get16(&rec.data[2]);
        if (col < first || col > last) continue;
        f.widthChars256 = get16(&rec.data[4]);
        f.xf = get16(&rec.data[6]);
        f.hidden = get16(&rec.data[8]) & 1;
        f.custom = true;
    }
    return f;
}

RowFormat SheetModel::row(int row) const {
    RowFormat f;
    f.heightTwips = defaultRowHeight_;
    f.hidden = defaultRowFlags_ & 2;
    const Record* rec = cells_.rowRecord(row);
    if (!rec) return f;
    f.custom = true;
    f.heightTwips = get16(&rec->data[6]) & 0x7FFF;
    uint32_t flags = get32(&rec->data[12]);
    f.hidden = flags & 0x20;
    f.hasXf = flags & 0x80;
    if (f.hasXf) f.xf = uint16_t((flags >> 16) & 0xFFF);
    return f;
}

int SheetModel::defaultColumnWidth() const {
    int width = 8 * 256 + 0xA0;  // eight characters and the cell padding
    for (const Record& rec : records_) {
        if (rec.type == rt::DefColWidth && rec.data.size() >= 2)
            width = get16(&rec.data[0]) * 256 + 0xA0;
    }
    for (const Record& rec : records_) {
        if (rec.type == rt::StandardWidth && rec.data.size() >= 2) width = get16(&rec.data[0]);
    }
    return width;
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
