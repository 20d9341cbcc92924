#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "xls/Bytes.h"
#include "xls/RecordTypes.h"
#include "xls/Workbook.h"
#include "xls/draw/ChartModel.h"

namespace xls::draw {

// Record types of a chart substream and of the drawing that places it, beside the workbook's
// own (xls::rt: BOF, EOF, SERIES, AI).
namespace ct {
constexpr uint16_t Obj = 0x005D, MsoDrawing = 0x00EC, Chart = 0x1002, DataFormat = 0x1006,
                   LineFormat = 0x1007, AreaFormat = 0x100A, PieFormat = 0x100B,
                   AttachedLabel = 0x100C, SeriesText = 0x100D, ChartFormat = 0x1014,
                   Legend = 0x1015, Bar = 0x1017, Line = 0x1018, Pie = 0x1019, Area = 0x101A,
                   Scatter = 0x101B, DefaultText = 0x1024, Text = 0x1025, FontX = 0x1026,
                   ObjectLink = 0x1027, Frame = 0x1032, Begin = 0x1033, End = 0x1034,
                   PlotArea = 0x1035, Chart3D = 0x103A, Radar = 0x103E, Surf = 0x103F,
                   RadarArea = 0x1040, AxisParent = 0x1041, Pos = 0x104F, BopPop = 0x1061;
}  // namespace ct

constexpr uint16_t kChartSubstream = 0x0020;  // BOF dt
constexpr uint16_t kObjCommon = 0x15;         // OBJ's first field: ftCmo
constexpr uint16_t kObjChart = 5;             // OBJ ftCmo ot
constexpr uint16_t kWholeSeries = 0xFFFF;     // DATAFORMAT xi / OBJECTLINK wLinkVar2
constexpr double kFixedPointOne = 1 << 16;    // 1.0 in a 16.16 fixed-point field

// AI (a series' link to its values or categories): id u8 (1 values, 2 categories) | reference
// type u8 (2: cells of a sheet) | flags u16 (bit 0: own number format) | format index u16 |
// formula bytes u16 | formula.
namespace aiField {
constexpr size_t kId = 0, kReferenceType = 1, kFlags = 2, kFormat = 4, kToken = 8;
constexpr uint8_t kValues = 1, kCategories = 2, kWorksheetReference = 2;
constexpr uint16_t kOwnFormat = 0x0001;
}  // namespace aiField

// One record of a chart substream. Fields past the record's end read as zero, so a record cut
// short gives defaults rather than a failure.
struct ChartRecord {
    uint16_t type;
    const uint8_t* data;
    size_t size;
    uint16_t u16(size_t at) const { return at + 2 <= size ? xls::get16(data + at) : 0; }
    int32_t i32(size_t at) const {
        return at + 4 <= size ? static_cast<int32_t>(xls::get32(data + at)) : 0;
    }
    uint8_t u8(size_t at) const { return at < size ? data[at] : 0; }
    xls::Rgb rgb(size_t at) const { return {u8(at), u8(at + 1), u8(at + 2)}; }
};

// The records of a sheet's kept bytes, up to the first that runs past their end.
std::vector<ChartRecord> chartRecordsOf(const xls::Workbook::RecordBytes& bytes);

// The last client anchor among a drawing record's OfficeArt records, else `last`.
std::optional<ChartAnchor> anchorIn(const ChartRecord& drawing, std::optional<ChartAnchor> last);

ChartFill fillOf(const ChartRecord& areaFormat);
ChartLine lineOf(const ChartRecord& lineFormat);
std::string seriesTextOf(const ChartRecord& seriesText);  // as UTF-8
// The name of a chart type record's kind ("bar", "pie", ...).
const char* kindNameOf(uint16_t type);

// The cells of one AI record's 3-D reference or area.
struct SeriesReference {
    int sheet = -1;
    xls::CellRange cells;
};
// Nothing for an AI record that names no cells of this workbook.
std::optional<SeriesReference> referenceOf(const xls::Workbook& book, const ChartRecord& ai);
// The cells of a reference in order (row by row), at most `limit` of them; a damaged cell reads
// as an empty one.
std::vector<xls::Cell> cellsOf(const xls::Workbook& book, const SeriesReference& ref, size_t limit);

}  // namespace xls::draw
