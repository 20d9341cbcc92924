#include "xls/draw/ChartRecords.h"

#include <algorithm>

#include "xls/BiffFormat.h"
#include "xls/Error.h"

namespace xls::draw {

namespace {

// An OfficeArt record: version and instance u16 | type u16 | length u32 | data. A version of
// 0xF marks a container, whose data are records.
namespace art {
constexpr size_t kHeaderSize = 8, kType = 2, kLength = 4;
constexpr uint16_t kVersionMask = 0x000F, kContainer = 0x000F;
constexpr uint16_t kClientAnchor = 0xF010;
// Client anchor data: flags u16 | first column, its x, first row, its y, last column, its x,
// last row, its y (u16 each).
constexpr size_t kAnchorCells = 2, kAnchorSize = 18;
}  // namespace art

constexpr uint16_t kNoLine = 5;  // LINEFORMAT lns

}  // namespace

std::vector<ChartRecord> chartRecordsOf(const xls::Workbook::RecordBytes& bytes) {
    std::vector<ChartRecord> out;
    for (RecordWalker r(bytes.data, bytes.size); r.offset() + kRecordHeaderSize <= bytes.size;
         r.next()) {
        if (r.following() > bytes.size) break;
        out.push_back({r.type(), r.data(), r.length()});
    }
    return out;
}

// Containers are entered, other records skipped.
std::optional<ChartAnchor> anchorIn(const ChartRecord& drawing, std::optional<ChartAnchor> last) {
    const ChartRecord& r = drawing;
    for (size_t at = 0; at + art::kHeaderSize <= r.size;) {
        const uint16_t version = r.u16(at) & art::kVersionMask, type = r.u16(at + art::kType);
        const size_t length = xls::get32(r.data + at + art::kLength);
        if (version == art::kContainer) {
            at += art::kHeaderSize;
            continue;
        }
        if (type == art::kClientAnchor && length >= art::kAnchorSize &&
            at + art::kHeaderSize + art::kAnchorSize <= r.size) {
            const size_t a = at + art::kHeaderSize + art::kAnchorCells;
            ChartAnchor anchor;
            anchor.firstCol = r.u16(a);
            anchor.firstColX = r.u16(a + 2);
            anchor.firstRow = r.u16(a + 4);
            anchor.firstRowY = r.u16(a + 6);
            anchor.lastCol = r.u16(a + 8);
            anchor.lastColX = r.u16(a + 10);
            anchor.lastRow = r.u16(a + 12);
            anchor.lastRowY = r.u16(a + 14);
            last = anchor;
        }
        at += art::kHeaderSize + length;
    }
    return last;
}

// AREAFORMAT: foreground RGB | background RGB | fill pattern u16 (0: none) | ...
ChartFill fillOf(const ChartRecord& areaFormat) {
    ChartFill fill;
    fill.color = areaFormat.rgb(0);
    fill.visible = areaFormat.u16(8) != 0;
    return fill;
}

// LINEFORMAT: RGB | pattern u16 | weight u16 | ...
ChartLine lineOf(const ChartRecord& lineFormat) {
    ChartLine line;
    line.color = lineFormat.rgb(0);
    line.visible = lineFormat.u16(4) != kNoLine;
    line.weight = static_cast<int16_t>(lineFormat.u16(6));
    return line;
}

// SERIESTEXT: id u16 | character count u8 | flags u8 (bit 0: UTF-16, else Latin-1) | characters.
std::string seriesTextOf(const ChartRecord& seriesText) {
    const ChartRecord& r = seriesText;
    const size_t count = r.u8(2);
    const bool wide = r.u8(3) & 1;
    std::u16string chars;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 4 + i * (wide ? 2 : 1);
        if (at + (wide ? 2 : 1) > r.size) break;
        chars.push_back(wide ? r.u16(at) : r.u8(at));
    }
    return xls::utf16ToUtf8(chars);
}

const char* kindNameOf(uint16_t type) {
    switch (type) {
        case ct::Bar:
            return "bar";
        case ct::Line:
            return "line";
        case ct::Pie:
            return "pie";
        case ct::Area:
            return "area";
        case ct::Scatter:
            return "scatter";
        case ct::Radar:
        case ct::RadarArea:
            return "radar";
        case ct::Surf:
            return "surface";
        case ct::BopPop:
            return "bar of pie";
        default:
            return "unknown";
    }
}

// The formula after AI's fields holds one token: ptgRef3d (ixti u16 | row u16 | column u16) or
// ptgArea3d (ixti u16 | first row u16 | last row u16 | first column u16 | last column u16).
std::optional<SeriesReference> referenceOf(const xls::Workbook& book, const ChartRecord& ai) {
    if (ai.u8(aiField::kReferenceType) != aiField::kWorksheetReference || ai.size < aiField::kToken)
        return std::nullopt;
    namespace ptg = xls::biff::ptg;
    const size_t at = aiField::kToken + 1;
    const uint8_t token = ai.u8(aiField::kToken) & ptg::kBaseMask;
    SeriesReference ref;
    if (token == (ptg::kRef3d & ptg::kBaseMask) && ai.size >= at + 6) {
        ref.sheet = book.sheetOfReference(ai.u16(at));
        const int row = ai.u16(at + 2), col = ai.u16(at + 4) & ptg::kColumnMask;
        ref.cells = {row, col, row, col};
    } else if (token == (ptg::kArea3d & ptg::kBaseMask) && ai.size >= at + 10) {
        ref.sheet = book.sheetOfReference(ai.u16(at));
        ref.cells = {ai.u16(at + 2), ai.u16(at + 6) & ptg::kColumnMask, ai.u16(at + 4),
                     ai.u16(at + 8) & ptg::kColumnMask};
    } else {
        return std::nullopt;
    }
    if (ref.sheet < 0 || ref.sheet >= book.sheetCount()) return std::nullopt;
    // A reference past the sheet's last column reads the cells the sheet has.
    if (ref.cells.firstCol > xls::kLastCol || ref.cells.firstCol > ref.cells.lastCol)
        return std::nullopt;
    ref.cells.lastCol = std::min<int>(ref.cells.lastCol, xls::kLastCol);
    return ref;
}

std::vector<xls::Cell> cellsOf(const xls::Workbook& book, const SeriesReference& ref,
                               size_t limit) {
    std::vector<xls::Cell> cells;
    const xls::Sheet& sheet = book.sheet(ref.sheet);
    for (int row = ref.cells.firstRow; row <= ref.cells.lastRow; ++row)
        for (int col = ref.cells.firstCol; col <= ref.cells.lastCol; ++col) {
            if (cells.size() >= limit) return cells;
            try {
                cells.push_back(sheet.cell(row, col));
            } catch (const xls::Error&) {
                cells.emplace_back();
            }
        }
    return cells;
}

}  // namespace xls::draw
