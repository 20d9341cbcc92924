#pragma once

#include <cstddef>
#include <cstdint>

#include "xls/Bytes.h"

// The layout of a BIFF8 workbook stream, shared by the engine's readers, its writers and the
// tests: the record header, the fields of the records the engine reads or patches in place, the
// formula tokens it rewrites, and the limits of a sheet. Field offsets count from the start of a
// record's data (after its 4-byte header) unless named otherwise.
namespace xls {

// Every record: type u16 | data length u16 | data (at most kMaxRecordData bytes; longer
// contents go on in CONTINUE records).
constexpr size_t kRecordHeaderSize = 4;
constexpr size_t kMaxRecordData = 8224;

// A sheet's rows are 0..kLastRow and its columns 0..kLastCol; a string holds at most
// kMaxStringChars UTF-16 code units.
constexpr uint16_t kLastRow = 65535;
constexpr uint16_t kLastCol = 255;
constexpr size_t kMaxStringChars = 32767;

namespace biff {

// BOF, which opens each substream: version u16 | kind u16 | build and more, which the engine
// does not read.
namespace bof {
constexpr size_t kVersion = 0, kKind = 2;
constexpr size_t kSize = 4;  // the fields the engine reads
constexpr uint16_t kBiff8 = 0x0600, kBiff5 = 0x0500;
constexpr uint16_t kGlobals = 0x0005, kWorksheet = 0x0010, kChart = 0x0020, kMacroSheet = 0x0040,
                   kWorkspace = 0x0100;
}  // namespace bof

// The record header, from the record's first byte.
namespace header {
constexpr size_t kType = 0, kLength = 2;
}

// A cell record's data (BLANK, NUMBER, RK, LABELSST, LABEL, RSTRING, BOOLERR, FORMULA):
//   row u16 | column u16 | XF index u16 | value
// The value: NUMBER a double, RK a u32 RK number, LABELSST a u32 index into the SST, BOOLERR
// a value byte then an is-error byte, FORMULA its cached result (see `formula`).
namespace cell {
constexpr size_t kRow = 0, kCol = 2, kXf = 4, kValue = 6;
constexpr size_t kNumber = kValue, kRk = kValue, kSstIndex = kValue;
constexpr size_t kBoolErrValue = kValue, kBoolErrIsError = kValue + 1;
constexpr size_t kSize = 6;  // the fields every cell record has
}  // namespace cell

// MULRK and MULBLANK, a run of cells in one row:
//   row u16 | first column u16 | one unit per cell | last column u16
// A unit is XF index u16 | RK u32 for MULRK, XF index u16 for MULBLANK.
namespace multi {
constexpr size_t kRow = 0, kFirstCol = 2, kUnits = 4;
constexpr size_t kRkUnit = 6, kBlankUnit = 2;
constexpr size_t kLastColSize = 2;  // the last column, in the record's last two bytes
}  // namespace multi

// FORMULA after the cell fields:
//   cached result 8 bytes | flags u16 | chain u32 | token bytes u16 | tokens
// A result whose bytes 6..7 (kResultMarker) are 0xFFFF is not a number: byte 0 tells what it
// is (0 a string in the STRING record that follows, 1 a boolean, 2 an error, 3 empty) and
// byte 2 holds a boolean's or an error's value.
namespace formula {
constexpr size_t kResult = 6, kResultMarker = 12, kResultValue = 8, kFlags = 14, kChain = 16,
                 kTokenBytes = 20, kTokens = 22;
constexpr uint16_t kNotANumber = 0xFFFF;
constexpr uint8_t kResultString = 0, kResultBoolean = 1, kResultError = 2, kResultEmpty = 3;
}  // namespace formula

// An RK number, a 30-bit value in a u32: bit 0 set, the value is to be divided by 100; bit 1
// set, bits 2..31 are a signed integer, else the high 30 bits of an IEEE double whose low 34
// bits are zero.
namespace rk {
constexpr uint32_t kDividedBy100 = 0x1, kInteger = 0x2, kValueBits = 0xFFFFFFFC;
constexpr unsigned kIntegerShift = 2;
}  // namespace rk

// The range that opens SHRFMLA, ARRAY and TABLE (RefU):
//   first row u16 | last row u16 | first column u8 | last column u8
// SHRFMLA goes on: reserved u8 | the number of cells using it u8 | formula.
namespace cellRange {
constexpr size_t kFirstRow = 0, kLastRow = 2, kFirstCol = 4, kLastCol = 5, kSize = 6;
}  // namespace cellRange
namespace sharedFormula {
constexpr size_t kUses = 7, kSize = 8;  // kSize: the fields before the formula
constexpr uint8_t kMostUses = 255;      // the largest count kUses holds
}  // namespace sharedFormula

// ROW: row u16 | first column u16 | last column + 1 u16 | height u16 | 4 unused bytes |
// flags u32 (with the row's XF index in bits 16..27).
namespace row {
constexpr size_t kRow = 0, kFirstCol = 2, kEndCol = 4, kHeight = 6, kFlags = 12;
constexpr size_t kSize = 16;
constexpr uint16_t kHeightMask = 0x7FFF;  // bit 15: the height is the default one
constexpr uint32_t kOutlineLevel = 0x00000007, kCollapsed = 0x00000010, kHidden = 0x00000020,
                   kCustomHeight = 0x00000040, kHasXf = 0x00000080, kAlwaysSet = 0x00000100;
constexpr unsigned kXfShift = 16;
constexpr uint32_t kXfMask = 0x0FFF;  // after the shift
}  // namespace row
// Rows are written in blocks of this many: a block's ROW records, then its rows' cells.
constexpr size_t kRowBlock = 32;

// DIMENSIONS: first row u32 | last row + 1 u32 | first column u16 | last column + 1 u16 |
// reserved u16.
namespace dimensions {
constexpr size_t kFirstRow = 0, kEndRow = 4, kFirstCol = 8, kEndCol = 10;
constexpr size_t kSize = 14;
}  // namespace dimensions

// DEFAULTROWHEIGHT: flags u16 | height u16. Flags bit 0: rows' heights differ from the font's,
// bit 1: rows are hidden.
namespace defaultRow {
constexpr size_t kFlags = 0, kHeight = 2;
constexpr size_t kSize = 4;
constexpr uint16_t kCustomHeight = 0x0001, kHidden = 0x0002;
}  // namespace defaultRow

// A Unicode string (XLUnicodeString):
//   character count (u16; u8 in a short one) | options u8 | [run count u16] | [phonetic size u32]
//   | characters (1 byte each, 2 when kWide) | [runs, kRunSize bytes each] | [phonetic data]
// A string cut by a CONTINUE record goes on there behind an options byte of its own.
namespace str {
constexpr size_t kCharCount = 0, kOptions = 2, kHeaderSize = 3;  // the long form's header
constexpr size_t kRunCountSize = 2, kPhoneticSizeSize = 4;
constexpr uint8_t kWide = 0x01, kPhonetic = 0x04, kRichText = 0x08;
constexpr size_t kRunSize = 4;
}  // namespace str

// SST, the shared string table: total references u32 | unique strings u32 | the strings, each
// an XLUnicodeString (see `str`), going on in CONTINUE records.
namespace sst {
constexpr size_t kTotalRefs = 0, kUniqueCount = 4, kStrings = 8;
}  // namespace sst

// EXTSST: strings per entry u16 | entries, each: stream position of the string u32 | its offset
// from its record's header u16 | reserved u16. An entry for the first of every kSpacing
// strings; Excel writes at most kMaxEntries entries and no fewer than kMinSpacing strings each.
namespace extSst {
constexpr size_t kSpacing = 0, kEntries = 2;
constexpr size_t kEntrySize = 8, kStreamPos = 0, kInRecord = 4, kReserved = 6;
constexpr size_t kMaxEntries = 128, kMinSpacing = 8;
}  // namespace extSst

// The chart records the engine reads or patches.
namespace chart {
// SERIES: category type u16 | value type u16 | categories u16 | values u16 | ...
namespace series {
constexpr size_t kCategoryCount = 4, kValueCount = 6, kSize = 8;
}
// AI (a series' link to its data): id u8 | reference type u8 | flags u16 | number format u16 |
// formula bytes u16 | formula tokens.
namespace ai {
constexpr size_t kId = 0, kReferenceType = 1, kFormulaBytes = 6, kFormula = 8, kSize = 8;
constexpr uint8_t kValues = 1, kCategories = 2;  // id
constexpr uint8_t kWorksheet = 2;                // reference type: a reference to cells
}  // namespace ai
// DATAFORMAT: point u16 (kWholeSeries: the series) | series index u16 | series order u16 |
// flags u16.
namespace dataFormat {
constexpr size_t kPoint = 0, kSize = 8;
constexpr uint16_t kWholeSeries = 0xFFFF;
}  // namespace dataFormat
// AREAFORMAT: foreground RGB + 1 unused byte | background likewise | pattern u16 | flags u16 |
// foreground palette index u16 | background palette index u16.
namespace areaFormat {
constexpr size_t kForeColor = 0, kFlags = 10, kForeIndex = 12, kSize = 16;
constexpr uint16_t kAutomatic = 0x0001;  // flags: the fill is the reader's automatic one
}  // namespace areaFormat
// OBJECTLINK (what a TEXT belongs to): object u16 | series u16 | point u16 (kWholeSeries: none).
namespace objectLink {
constexpr size_t kObject = 0, kSeries = 2, kPoint = 4, kSize = 6;
constexpr uint16_t kSeriesOrPoint = 4;  // object: a series' or a point's label
}  // namespace objectLink
// STARTBLOCK and ENDBLOCK (the scope of future records): record type u16 | flags u16 |
// object kind u16 | object context u16 | object instance u16 | object instance u16.
namespace frtBlock {
constexpr size_t kObjectInstance1 = 8, kSize = 12;
}
}  // namespace chart

// Formula tokens (ptg codes) the engine reads. Each operand token comes in three classes: the
// reference itself, its value, and an array.
namespace ptg {
constexpr uint8_t kArea = 0x25, kAreaV = 0x45, kAreaA = 0x65;
constexpr uint8_t kArea3d = 0x3B, kArea3dV = 0x5B, kArea3dA = 0x7B;
constexpr uint8_t kRef3d = 0x3A, kRef3dV = 0x5A, kRef3dA = 0x7A;
// A token's code less its class: the same for all three classes of an operand.
constexpr uint8_t kBaseMask = 0x1F;
// A reference's column field: the column in the low bits, relative-row and relative-column
// flags in bits 15 and 14.
constexpr uint16_t kColumnMask = 0x3FFF;
// The area tokens: code u8 | [XTI index u16, 3-D only] | area (see `area`).
constexpr size_t kAreaSize = 9, kArea3dSize = 11;
constexpr size_t kArea3dXti = 1;
constexpr size_t kAreaAt = 1, kArea3dAreaAt = 3;
// tExp, the whole formula of a cell that uses a shared formula: the token | the host cell's
// row u16 | its column u16.
constexpr uint8_t kExp = 0x01;
constexpr size_t kExpRow = 1, kExpCol = 3, kExpSize = 5;
}  // namespace ptg

// The cells of an area token: first row u16 | last row u16 | first column u16 | last column
// u16, each column field as ptg::kColumnMask tells.
namespace area {
constexpr size_t kFirstRow = 0, kLastRow = 2, kFirstCol = 4, kLastCol = 6;
}  // namespace area

}  // namespace biff

// Steps through records that lie one after the other, each behind its header: a pass that needs
// no index. The records are [base + from, base + end); their headers must have been checked, as
// the walk trusts every length. `Byte` is `const uint8_t` (RecordWalker), or `uint8_t` for a
// walk that patches records where they lie (RecordPatcher).
//     for (RecordWalker r(bytes, size); r.more(); r.next())
//         if (r.type() == rt::Window1) ... r.data(), r.length(), r.offset()
template <class Byte>
class BasicRecordWalker {
  public:
    BasicRecordWalker(Byte* base, size_t end, size_t from = 0)
        : base_(base), at_(from), end_(end) {}

    bool more() const { return at_ < end_; }
    void next() { at_ = following(); }
    uint16_t type() const { return get16(base_ + at_ + biff::header::kType); }
    size_t length() const { return get16(base_ + at_ + biff::header::kLength); }
    Byte* data() const { return base_ + at_ + kRecordHeaderSize; }
    // Where the record's header starts, from `base`; and where the next one does.
    size_t offset() const { return at_; }
    size_t following() const { return at_ + kRecordHeaderSize + length(); }
    // A walk of the records after this one, to the same end.
    BasicRecordWalker rest() const { return BasicRecordWalker(base_, end_, following()); }

  private:
    Byte* base_;
    size_t at_;
    size_t end_;
};
using RecordWalker = BasicRecordWalker<const uint8_t>;
using RecordPatcher = BasicRecordWalker<uint8_t>;

// The size of the record whose header starts at `header`, the header included.
inline size_t recordSize(const uint8_t* header) {
    return kRecordHeaderSize + get16(header + biff::header::kLength);
}

}  // namespace xls
