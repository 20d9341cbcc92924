#include "xls/CellTable.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "xls/SharedStrings.h"

namespace xls {

namespace {

bool isCellRecord(uint16_t type) {
    switch (type) {
        case rt::Blank:
        case rt::MulBlank:
        case rt::Number:
        case rt::Rk:
        case rt::MulRk:
        case rt::Label:
        case rt::LabelSst:
        case rt::RString:
        case rt::BoolErr:
        case rt::Formula:
            return true;
        default:
            return false;
    }
}

bool isFormulaPart(uint16_t type) {
    return type == rt::String || type == rt::ShrFmla || type == rt::Array || type == rt::Table;
}

double decodeRk(uint32_t rk) {
    double v;
    if (rk & 2) {
        v = double(int32_t(rk) >> 2);
    } else {
        uint64_t bits = uint64_t(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100.0 : v;
}

// A single-cell record for column `col` of a MULRK or MULBLANK run.
Record splitOne(const Record& multi, uint16_t row, uint16_t firstCol, int col) {
    size_t i = size_t(col - firstCol);
    Record r;
    put16(r.data, row);
    put16(r.data, uint16_t(col));
    if (multi.type == rt::MulRk) {
        r.type = rt::Rk;
        r.data.insert(r.data.end(), multi.data.begin() + 4 + 6 * i,
                      multi.data.begin() + 10 + 6 * i);
    } else {
        r.type = rt::Blank;
        r.data.insert(r.data.end(), multi.data.begin() + 4 + 2 * i, multi.data.begin() + 6 + 2 * i);
    }
    return r;
}

// The part [from, to] of a MULRK or MULBLANK run as a record of its own.
Record subRun(const Record& multi, uint16_t row, uint16_t firstCol, int from, int to) {
    if (from == to) return splitOne(multi, row, firstCol, from);
    size_t unit = multi.type == rt::MulRk ? 6 : 2;
    Record r;
    r.type = multi.type;
    put16(r.data, row);
    put16(r.data, uint16_t(from));
    auto begin = multi.data.begin() + 4 + unit * size_t(from - firstCol);
    r.data.insert(r.data.end(), begin, begin + unit * size_t(to - from + 1));
    put16(r.data, uint16_t(to));
    return r;
}

}  // namespace

void CellTable::insert(Entry e) {
    removeRange(e.row, e.firstCol, e.lastCol);
    uint32_t k = key(e.row, e.firstCol);
    cells_[k] = std::move(e);
}

bool CellTable::add(const Record& rec) {
    if (rec.type == rt::Row) {
        ByteReader r(rec.data);
        uint16_t row = r.u16();
        r.need(14);
        rows_[row] = rec;
        lastFormula_ = nullptr;
        lastEntry_ = nullptr;
        return true;
    }
    if (rec.type == rt::DbCell) {
        lastFormula_ = nullptr;
        lastEntry_ = nullptr;
        return true;  // rebuilt positions are not kept; the index is dropped on save
    }
    if (rec.type == rt::Continue) {
        if (lastEntry_ == nullptr) return false;
        lastEntry_->records.push_back(rec);  // continues a long LABEL or STRING
        return true;
    }
    if (isFormulaPart(rec.type)) {
        if (lastFormula_ != nullptr) lastFormula_->records.push_back(rec);
        return true;  // a part without its FORMULA is dropped
    }
    if (!isCellRecord(rec.type)) return false;
    ByteReader r(rec.data);
    Entry e;
    e.row = r.u16();
    e.firstCol = r.u16();
    e.lastCol = e.firstCol;
    size_t minSize = 6;
    switch (rec.type) {
        case rt::Number:
            minSize = 14;
            break;
        case rt::Rk:
            minSize = 10;
            break;
        case rt::LabelSst:
            minSize = 10;
            break;
        case rt::BoolErr:
            minSize = 8;
            break;
        case rt::Formula:
            minSize = 20;
            break;
        case rt::Label:
        case rt::RString:
            minSize = 9;
            break;
        case rt::MulRk:
        case rt::MulBlank: {
            size_t unit = rec.type == rt::MulRk ? 6 : 2;
            if (rec.data.size() < 6 + unit || (rec.data.size() - 6) % unit) throw OutOfBounds{};
            size_t n = (rec.data.size() - 6) / unit;
            e.lastCol = get16(&rec.data[rec.data.size() - 2]);
            if (size_t(e.lastCol) + 1 != e.firstCol + n || e.lastCol > 255) throw OutOfBounds{};
            break;
        }
        default:
            break;
    }
    r.need(minSize - 4);
    if (e.firstCol > 255) throw OutOfBounds{};
    e.records.push_back(rec);
    uint32_t k = key(e.row, e.firstCol);
    insert(std::move(e));
    Entry& stored = cells_[k];
    lastFormula_ = rec.type == rt::Formula ? &stored : nullptr;
    lastEntry_ = &stored;
    return true;
}

const CellTable::Entry* CellTable::find(int row, int col) const {
    auto it = cells_.upper_bound(key(row, col));
    if (it == cells_.begin()) return nullptr;
    --it;
    const Entry& e = it->second;
    return (e.row == row && e.firstCol <= col && e.lastCol >= col) ? &e : nullptr;
}

void CellTable::removeRange(int row, int firstCol, int lastCol) {
    auto it = cells_.upper_bound(key(row, lastCol));
    std::vector<Entry> keep;
    std::vector<std::tuple<uint16_t, uint16_t, Record>>
        orphaned;  // shared formulas whose host goes
    while (it != cells_.begin()) {
        auto prev = std::prev(it);
        Entry& e = prev->second;
        if (e.row != row || e.lastCol < firstCol) break;
        // e overlaps [firstCol, lastCol]: keep the parts outside.
        const Record& multi = e.records[0];
        bool run = multi.type == rt::MulRk || multi.type == rt::MulBlank;
        if (run) {
            for (auto [from, to] : {std::pair<int, int>{e.firstCol, firstCol - 1},
                                    std::pair<int, int>{lastCol + 1, e.lastCol}}) {
                if (from > to) continue;
                Entry part;
                part.row = e.row;
                part.firstCol = uint16_t(from);
                part.lastCol = uint16_t(to);
                part.records.push_back(subRun(multi, e.row, e.firstCol, from, to));
                keep.push_back(std::move(part));
            }
        }
        for (const Record& part : e.records)
            if (part.type == rt::ShrFmla) orphaned.emplace_back(e.row, e.firstCol, part);
        if (lastFormula_ == &e) lastFormula_ = nullptr;
        if (lastEntry_ == &e) lastEntry_ = nullptr;
        it = cells_.erase(prev);
    }
    for (Entry& part : keep) {
        uint32_t k = key(part.row, part.firstCol);
        cells_[k] = std::move(part);
    }
    for (const auto& [hostRow, hostCol, shrfmla] : orphaned)
        rehostSharedFormula(hostRow, hostCol, shrfmla);
}

// The cell that held a shared formula (SHRFMLA follows its FORMULA) was replaced: the first
// formula cell still using it becomes its host, and every user points at the new host.
void CellTable::rehostSharedFormula(uint16_t row, uint16_t col, const Record& shrfmla) {
    if (shrfmla.data.size() < 8) return;
    int lastRow = get16(&shrfmla.data[2]), firstCol = shrfmla.data[4], lastCol = shrfmla.data[5];
    auto usesHost = [&](const Entry& e) {
        const Bytes& f = e.records[0].data;
        return e.records[0].type == rt::Formula && f.size() >= 27 && get16(&f[20]) == 5 &&
               f[22] == 0x01 && get16(&f[23]) == row && get16(&f[25]) == col;
    };
    std::vector<Entry*> users;
    for (auto it = cells_.lower_bound(key(get16(&shrfmla.data[0]), 0));
         it != cells_.end() && it->second.row <= lastRow; ++it) {
        Entry& e = it->second;
        if (e.firstCol >= firstCol && e.firstCol <= lastCol && usesHost(e)) users.push_back(&e);
    }
    if (users.empty()) return;
    Entry& host = *users.front();
    Record moved = shrfmla;
    uint8_t minCol = uint8_t(host.firstCol);
    for (Entry* e : users) {
        set16(&e->records[0].data[23], host.row);
        set16(&e->records[0].data[25], host.firstCol);
        minCol = std::min<uint8_t>(minCol, uint8_t(e->firstCol));
    }
    set16(&moved.data[0], host.row);
    moved.data[4] = minCol;
    moved.data[7] = uint8_t(std::min<size_t>(users.size(), 255));
    host.records.insert(host.records.begin() + 1, std::move(moved));
}

void CellTable::put(int row, int col, std::optional<Record> rec) {
    removeRange(row, col, col);
    if (!rec) return;
    Entry e;
    e.row = uint16_t(row);
    e.firstCol = e.lastCol = uint16_t(col);
    e.records.push_back(std::move(*rec));
    cells_[key(row, col)] = std::move(e);
}

void CellTable::setXf(int row, int col, uint16_t xf) {
    const Entry* e = find(row, col);
    Record one;
    if (!e) {
        one.type = rt::Blank;
        put16(one.data, uint16_t(row));
        put16(one.data, uint16_t(col));
        put16(one.data, xf);
        put(row, col, std::move(one));
        return;
    }
    uint16_t type = e->records[0].type;
    if (type == rt::MulRk || type == rt::MulBlank) {
        one = splitOne(e->records[0], e->row, e->firstCol, col);
        set16(&one.data[4], xf);
        put(row, col, std::move(one));
        return;
    }
    set16(&cells_[key(e->row, e->firstCol)].records[0].data[4], xf);
}

std::optional<uint16_t> CellTable::xfAt(int row, int col) const {
    const Entry* e = find(row, col);
    if (!e) return std::nullopt;
    const Record& r = e->records[0];
    if (r.type == rt::MulRk) return get16(&r.data[4 + 6 * size_t(col - e->firstCol)]);
    if (r.type == rt::MulBlank) return get16(&r.data[4 + 2 * size_t(col - e->firstCol)]);
    return get16(&r.data[4]);
}

Cell CellTable::read(int row, int col, const SharedStrings& sst) const {
    Cell c;
    const Entry* e = find(row, col);
    if (!e) return c;
    const Record& r = e->records[0];
    c.xf = *xfAt(row, col);
    const Bytes& d = r.data;
    auto text = [&](size_t offset, std::vector<const Bytes*> chunks) {
        return utf16ToUtf8(ChunkReader(std::move(chunks), offset).readString(2).chars);
    };
    switch (r.type) {
        case rt::Blank:
        case rt::MulBlank:
            c.kind = CellKind::Blank;
            break;
        case rt::Number:
            c.kind = CellKind::Number;
            c.number = getDouble(&d[6]);
            break;
        case rt::Rk:
            c.kind = CellKind::Number;
            c.number = decodeRk(get32(&d[6]));
            break;
        case rt::MulRk:
            c.kind = CellKind::Number;
            c.number = decodeRk(get32(&d[6 + 6 * size_t(col - e->firstCol)]));
            break;
        case rt::LabelSst: {
            c.kind = CellKind::String;
            uint32_t i = get32(&d[6]);
            if (i < sst.size()) c.text = sst.text(i);
            break;
        }
        case rt::Label:
        case rt::RString: {
            c.kind = CellKind::String;
            std::vector<const Bytes*> chunks{&d};
            for (size_t k = 1; k < e->records.size(); ++k) chunks.push_back(&e->records[k].data);
            c.text = text(6, chunks);
            break;
        }
        case rt::BoolErr:
            c.kind = d[7] ? CellKind::Error : CellKind::Boolean;
            c.boolean = d[6] != 0;
            c.errorCode = d[6];
            break;
        case rt::Formula: {
            c.kind = CellKind::Formula;
            if (get16(&d[12]) != 0xFFFF) {
                c.cachedKind = CellKind::Number;
                c.number = getDouble(&d[6]);
            } else if (d[6] == 0) {
                c.cachedKind = CellKind::String;
                for (size_t k = 1; k < e->records.size(); ++k) {
                    if (e->records[k].type != rt::String) continue;
                    std::vector<const Bytes*> chunks{&e->records[k].data};
                    for (size_t j = k + 1;
                         j < e->records.size() && e->records[j].type == rt::Continue; ++j)
                        chunks.push_back(&e->records[j].data);
                    c.text = text(0, chunks);
                    break;
                }
            } else if (d[6] == 1) {
                c.cachedKind = CellKind::Boolean;
                c.boolean = d[8] != 0;
            } else if (d[6] == 2) {
                c.cachedKind = CellKind::Error;
                c.errorCode = d[8];
            } else {
                c.cachedKind = CellKind::Empty;
            }
            return c;
        }
        default:
            break;
    }
    c.cachedKind = c.kind;
    return c;
}

std::optional<CellRange> CellTable::usedRange() const {
    if (cells_.empty()) return std::nullopt;
    CellRange r{65535, 255, 0, 0};
    for (const auto& kv : cells_) {
        const Entry& e = kv.second;
        r.firstRow = std::min<int>(r.firstRow, e.row);
        r.lastRow = std::max<int>(r.lastRow, e.row);
        r.firstCol = std::min<int>(r.firstCol, e.firstCol);
        r.lastCol = std::max<int>(r.lastCol, e.lastCol);
    }
    return r;
}

const Record* CellTable::rowRecord(int row) const {
    auto it = rows_.find(uint16_t(row));
    return it == rows_.end() ? nullptr : &it->second;
}

uint32_t CellTable::sharedStringRefs() const {
    uint32_t n = 0;
    for (const auto& kv : cells_) n += kv.second.records[0].type == rt::LabelSst;
    return n;
}

void CellTable::write(Bytes& out, uint16_t defaultRowHeight, uint32_t defaultRowFlags) const {
    // Column span of each row that has cells.
    std::map<uint16_t, std::pair<uint16_t, uint16_t>> spans;
    for (const auto& kv : cells_) {
        const Entry& e = kv.second;
        auto it = spans.find(e.row);
        if (it == spans.end())
            spans[e.row] = {e.firstCol, uint16_t(e.lastCol + 1)};
        else
            it->second.second = std::max<uint16_t>(it->second.second, uint16_t(e.lastCol + 1));
    }
    std::vector<uint16_t> rows;
    for (const auto& kv : rows_) rows.push_back(kv.first);
    for (const auto& kv : spans)
        if (!rows_.count(kv.first)) rows.push_back(kv.first);
    std::sort(rows.begin(), rows.end());
    auto cellIt = cells_.begin();
    for (size_t i = 0; i < rows.size();) {
        size_t block = rows[i] / 32, j = i;
        for (; j < rows.size() && rows[j] / 32 == block; ++j) {
            uint16_t row = rows[j];
            auto span = spans.find(row);
            auto rec = rows_.find(row);
            Bytes d;
            if (rec != rows_.end()) {
                d = rec->second.data;
            } else {
                put16(d, row);
                put16(d, 0);
                put16(d, 0);
                put16(d, defaultRowHeight);
                put16(d, 0);
                put16(d, 0);
                put32(d, defaultRowFlags);
            }
            if (span != spans.end()) {
                set16(&d[2], span->second.first);
                set16(&d[4], span->second.second);
            }
            writeRecord(out, rt::Row, d.data(), d.size());
        }
        uint32_t endKey = key(int(block + 1) * 32, 0);
        for (; cellIt != cells_.end() && cellIt->first < endKey; ++cellIt)
            for (const Record& r : cellIt->second.records) writeRecord(out, r);
        i = j;
    }
}

}  // namespace xls
