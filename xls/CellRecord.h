#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "xls/BiffFormat.h"
#include "xls/Cell.h"
#include "xls/Record.h"

namespace xls {

class SharedStrings;

// The cell records of a worksheet as they stand in the stream, read without a copy: which
// records a cell is made of, the columns a record covers, its value and its run's parts.
// Every `data` here is a record's data, after its header; fields are named in BiffFormat.h.

// A record that is a cell of its own or a run of cells (BLANK, MULBLANK, NUMBER, RK, MULRK,
// LABEL, LABELSST, RSTRING, BOOLERR, FORMULA).
bool isCellRecord(uint16_t type);
// A record kept with the FORMULA before it: its cached text (STRING) or a shared, array or
// table formula (SHRFMLA, ARRAY, TABLE).
bool isFormulaPart(uint16_t type);
// A MULRK or MULBLANK: one record for a run of columns.
inline bool isRun(uint16_t type) { return type == rt::MulRk || type == rt::MulBlank; }
// The bytes one column takes in a run's data (MULRK: XF and RK value; MULBLANK: XF).
inline size_t runUnit(uint16_t type) {
    return type == rt::MulRk ? biff::multi::kRkUnit : biff::multi::kBlankUnit;
}

// The fewest data bytes a cell record of one column holds.
constexpr size_t minCellSize(uint16_t type) {
    using namespace biff;
    switch (type) {
        case rt::Number:
            return cell::kNumber + 8;
        case rt::Rk:
        case rt::LabelSst:
            return cell::kValue + 4;
        case rt::BoolErr:
            return cell::kValue + 2;
        case rt::Label:
        case rt::RString:
            return cell::kValue + 2;  // the length; an empty label may come without its flags
        case rt::Formula:
            return formula::kTokenBytes;
        default:
            return cell::kSize;
    }
}

// Where a cell record stands: its row and the columns it covers (one but for a run).
struct CellSpan {
    uint16_t row = 0, firstCol = 0, lastCol = 0;
};
// The span of the cell record `type` with `data`. Throws OutOfBounds for a record too short for
// its fields, a run whose last column does not match its length, or a column past the sheet.
CellSpan readCellSpan(uint16_t type, const uint8_t* data, size_t size);

// The number an RK value stands for.
double decodeRk(uint32_t rk);

// The columns [from, to] of the run `type` with `data` (its first column `firstCol`) as a record
// of its own in `row`, its data written to `out` (room for the whole run's data); returns the
// record's type (a single column becomes an RK or BLANK) and data size.
std::pair<uint16_t, size_t> splitRun(uint16_t type, const uint8_t* data, uint16_t row, int firstCol,
                                     int from, int to, uint8_t* out);

// What column `col` of a cell holds: `records` are its records, headers included, as they stand
// in the stream (`size` bytes, the cell record first, covering columns from `firstCol`), `xf`
// the column's format. May throw OutOfBounds for a text that runs past its records.
Cell readCell(const uint8_t* records, size_t size, int firstCol, int col, uint16_t xf,
              const SharedStrings& sst);

}  // namespace xls
