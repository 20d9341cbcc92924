#include "xls/CellRecord.h"

#include <cstring>
#include <string>
#include <vector>

#include "xls/SharedStrings.h"

namespace xls {

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

CellSpan readCellSpan(uint16_t type, const uint8_t* data, size_t size) {
    ByteReader r(data, size);
    CellSpan span;
    span.row = r.u16();
    span.firstCol = span.lastCol = r.u16();
    if (isRun(type)) {
        const size_t unit = runUnit(type);
        if (size < 6 + unit || (size - 6) % unit) throw OutOfBounds{};
        const size_t n = (size - 6) / unit;
        span.lastCol = get16(data + size - 2);
        if (size_t(span.lastCol) + 1 != span.firstCol + n || span.lastCol > 255)
            throw OutOfBounds{};
    }
    r.need(minCellSize(type) - 4);
    if (span.firstCol > 255) throw OutOfBounds{};
    return span;
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

std::pair<uint16_t, size_t> splitRun(uint16_t type, const uint8_t* data, uint16_t row,
                                     int firstCol, int from, int to, uint8_t* out) {
    const size_t unit = runUnit(type);
    set16(out, row);
    set16(out + 2, uint16_t(from));
    const uint8_t* begin = data + 4 + unit * size_t(from - firstCol);
    if (from == to) {
        std::memcpy(out + 4, begin, unit);
        return {type == rt::MulRk ? rt::Rk : rt::Blank, 4 + unit};
    }
    const size_t n = unit * size_t(to - from + 1);
    std::memcpy(out + 4, begin, n);
    set16(out + 4 + n, uint16_t(to));
    return {type, 6 + n};
}

namespace {

// The text of a LABEL or RSTRING cell, or the cached string of a FORMULA cell (empty without
// its STRING record), from the cell's records as readCell() takes them.
std::string textOf(const uint8_t* records, size_t size) {
    struct Part {
        uint16_t type;
        Bytes data;
    };
    std::vector<Part> parts;
    for (size_t at = 0; at < size; at += 4 + get16(records + at + 2)) {
        const uint8_t* p = records + at;
        parts.push_back({get16(p), Bytes(p + 4, p + 4 + get16(p + 2))});
    }
    auto text = [&](size_t offset, std::vector<const Bytes*> chunks) {
        return utf16ToUtf8(ChunkReader(std::move(chunks), offset).readString(2).chars);
    };
    if (parts[0].type != rt::Formula) {
        std::vector<const Bytes*> chunks;
        for (const Part& p : parts) chunks.push_back(&p.data);
        return text(6, chunks);
    }
    for (size_t k = 1; k < parts.size(); ++k) {
        if (parts[k].type != rt::String) continue;
        std::vector<const Bytes*> chunks{&parts[k].data};
        for (size_t j = k + 1; j < parts.size() && parts[j].type == rt::Continue; ++j)
            chunks.push_back(&parts[j].data);
        return text(0, chunks);
    }
    return {};
}

// The cached result of the FORMULA cell `records` (its data `d`) into `c`.
void readFormulaResult(const uint8_t* records, size_t size, const uint8_t* d, Cell& c) {
    if (get16(d + 12) != 0xFFFF) {
        c.cachedKind = CellKind::Number;
        c.number = getDouble(d + 6);
    } else if (d[6] == 0) {
        c.cachedKind = CellKind::String;
        c.text = textOf(records, size);
    } else if (d[6] == 1) {
        c.cachedKind = CellKind::Boolean;
        c.boolean = d[8] != 0;
    } else if (d[6] == 2) {
        c.cachedKind = CellKind::Error;
        c.errorCode = d[8];
    } else {
        c.cachedKind = CellKind::Empty;
    }
}

}  // namespace

Cell readCell(const uint8_t* records, size_t size, int firstCol, int col, uint16_t xf,
              const SharedStrings& sst) {
    Cell c;
    const uint8_t* d = records + 4;
    c.xf = xf;
    switch (get16(records)) {
        case rt::Blank:
        case rt::MulBlank:
            c.kind = CellKind::Blank;
            break;
        case rt::Number:
            c.kind = CellKind::Number;
            c.number = getDouble(d + 6);
            break;
        case rt::Rk:
            c.kind = CellKind::Number;
            c.number = decodeRk(get32(d + 6));
            break;
        case rt::MulRk:
            c.kind = CellKind::Number;
            c.number = decodeRk(get32(d + 6 + 6 * size_t(col - firstCol)));
            break;
        case rt::LabelSst: {
            c.kind = CellKind::String;
            uint32_t i = get32(d + 6);
            if (i < sst.size()) c.text = sst.text(i);
            break;
        }
        case rt::Label:
        case rt::RString:
            c.kind = CellKind::String;
            c.text = textOf(records, size);
            break;
        case rt::BoolErr:
            c.kind = d[7] ? CellKind::Error : CellKind::Boolean;
            c.boolean = d[6] != 0;
            c.errorCode = d[6];
            break;
        case rt::Formula:
            c.kind = CellKind::Formula;
            readFormulaResult(records, size, d, c);
            return c;
        default:
            break;
    }
    c.cachedKind = c.kind;
    return c;
}

}  // namespace xls
