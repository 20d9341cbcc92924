#include "xls/CellRecord.h"

#include <cstring>
#include <string>
#include <vector>

#include "xls/SharedStrings.h"

namespace xls {

using namespace biff;

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
    static_assert(cell::kRow == multi::kRow && cell::kCol == multi::kFirstCol);
    ByteReader r(data, size);
    CellSpan span;
    span.row = r.u16();
    span.firstCol = span.lastCol = r.u16();
    if (isRun(type)) {
        // The units lie between the first and the last column, one per column.
        const size_t unit = runUnit(type), fixed = multi::kUnits + multi::kLastColSize;
        if (size < fixed + unit || (size - fixed) % unit) throw OutOfBounds{};
        const size_t n = (size - fixed) / unit;
        span.lastCol = get16(data + size - multi::kLastColSize);
        if (size_t(span.lastCol) + 1 != span.firstCol + n || span.lastCol > kLastCol)
            throw OutOfBounds{};
    }
    r.need(minCellSize(type) - cell::kXf);  // past the row and column read
    if (span.firstCol > kLastCol) throw OutOfBounds{};
    return span;
}

double decodeRk(uint32_t rk) {
    double v;
    if (rk & rk::kInteger) {
        v = double(int32_t(rk) >> rk::kIntegerShift);
    } else {
        uint64_t bits = uint64_t(rk & rk::kValueBits) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & rk::kDividedBy100) ? v / 100.0 : v;
}

std::pair<uint16_t, size_t> splitRun(uint16_t type, const uint8_t* data, uint16_t row, int firstCol,
                                     int from, int to, uint8_t* out) {
    // A unit (XF, then an RK value for MULRK) is laid out as a single cell's XF and value.
    static_assert(multi::kUnits == cell::kXf && multi::kRow == cell::kRow &&
                  multi::kFirstCol == cell::kCol);
    const size_t unit = runUnit(type);
    set16(out + multi::kRow, row);
    set16(out + multi::kFirstCol, uint16_t(from));
    const uint8_t* begin = data + multi::kUnits + unit * size_t(from - firstCol);
    if (from == to) {
        std::memcpy(out + cell::kXf, begin, unit);
        return {type == rt::MulRk ? rt::Rk : rt::Blank, cell::kXf + unit};
    }
    const size_t n = unit * size_t(to - from + 1);
    std::memcpy(out + multi::kUnits, begin, n);
    set16(out + multi::kUnits + n, uint16_t(to));
    return {type, multi::kUnits + n + multi::kLastColSize};
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
    for (RecordWalker r(records, size); r.more(); r.next())
        parts.push_back({r.type(), Bytes(r.data(), r.data() + r.length())});
    auto text = [&](size_t offset, std::vector<const Bytes*> chunks) {
        return utf16ToUtf8(ChunkReader(std::move(chunks), offset).readString(2).chars);
    };
    if (parts[0].type != rt::Formula) {
        std::vector<const Bytes*> chunks;
        for (const Part& p : parts) chunks.push_back(&p.data);
        return text(cell::kValue, chunks);  // a LABEL's or RSTRING's text follows its XF
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
    const uint8_t kind = d[formula::kResult];
    if (get16(d + formula::kResultMarker) != formula::kNotANumber) {
        c.cachedKind = CellKind::Number;
        c.number = getDouble(d + formula::kResult);
    } else if (kind == formula::kResultString) {
        c.cachedKind = CellKind::String;
        c.text = textOf(records, size);
    } else if (kind == formula::kResultBoolean) {
        c.cachedKind = CellKind::Boolean;
        c.boolean = d[formula::kResultValue] != 0;
    } else if (kind == formula::kResultError) {
        c.cachedKind = CellKind::Error;
        c.errorCode = d[formula::kResultValue];
    } else {
        c.cachedKind = CellKind::Empty;
    }
}

}  // namespace

Cell readCell(const uint8_t* records, size_t size, int firstCol, int col, uint16_t xf,
              const SharedStrings& sst) {
    Cell c;
    const uint8_t* d = records + kRecordHeaderSize;
    c.xf = xf;
    switch (get16(records)) {
        case rt::Blank:
        case rt::MulBlank:
            c.kind = CellKind::Blank;
            break;
        case rt::Number:
            c.kind = CellKind::Number;
            c.number = getDouble(d + cell::kNumber);
            break;
        case rt::Rk:
            c.kind = CellKind::Number;
            c.number = decodeRk(get32(d + cell::kRk));
            break;
        case rt::MulRk:
            c.kind = CellKind::Number;
            c.number = decodeRk(get32(d + multi::kUnits + multi::kRkUnit * size_t(col - firstCol) +
                                      (cell::kRk - cell::kXf)));
            break;
        case rt::LabelSst: {
            c.kind = CellKind::String;
            uint32_t i = get32(d + cell::kSstIndex);
            if (i < sst.size()) c.text = sst.text(i);
            break;
        }
        case rt::Label:
        case rt::RString:
            c.kind = CellKind::String;
            c.text = textOf(records, size);
            break;
        case rt::BoolErr:
            c.kind = d[cell::kBoolErrIsError] ? CellKind::Error : CellKind::Boolean;
            c.boolean = d[cell::kBoolErrValue] != 0;
            c.errorCode = d[cell::kBoolErrValue];
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
