#include "xls/ChartRefs.h"

#include <algorithm>

#include "xls/BiffFormat.h"
#include "xls/ChartPointGroups.h"
#include "xls/Globals.h"
#include "xls/SheetModel.h"
#include "xls/Workbook.h"

namespace xls {

namespace {

constexpr size_t kNoRecord = size_t(-1);

// Last row of the unbroken run of engine-written values directly below `lastRow` in `col`.
int lastFilledBelow(const SheetModel& sheet, int lastRow, int col) {
    const CellTable& cells = sheet.cells();
    int row = lastRow;
    while (row + 1 <= kLastRow) {
        // The row's cells lie in column order.
        const CellTable::RowCells in = cells.cellsOf(row + 1);
        const CellTable::StoredCell* e = in.first;
        while (e != in.last && e->lastCol < col) ++e;
        if (e == in.last || e->firstCol > col || !e->holdsWrittenValue()) break;
        ++row;
    }
    return row;
}

// A chart substream among a sheet's records: where its BOF and its EOF start in the bytes.
struct Substream {
    size_t bof, eof;
};

// Chart substreams (BOF of a chart to its EOF) among a sheet's records, found along their
// bytes.
std::vector<Substream> chartSubstreams(const RecordBuffer& recs) {
    std::vector<Substream> charts;
    std::vector<std::pair<size_t, bool>> open;  // BOFs not yet closed: where, and a chart's
    for (RecordWalker r(recs.bytes(), recs.byteSize()); r.more(); r.next()) {
        if (r.type() == rt::Bof)
            open.emplace_back(r.offset(),
                              r.length() >= biff::bof::kSize &&
                                  get16(r.data() + biff::bof::kKind) == biff::bof::kChart);
        if (r.type() == rt::Eof && !open.empty()) {
            if (open.back().second) charts.push_back({open.back().first, r.offset()});
            open.pop_back();
        }
    }
    return charts;
}

// A single column of a worksheet that an AI record reads, with where its area lies in the record
// to be patched.
struct ColumnReference {
    int sheet;
    uint8_t* area;  // the area's fields (see biff::area)
    int firstRow, lastRow, col;
};

// The column the AI record with data `d` (`length` bytes, at least ai::kSize) of a chart of
// sheet `owner` reads, when it gives values or categories by a reference to one column of a
// worksheet: a 3-D area (through the XTI table) or an area of the owner itself.
bool columnReference(const Globals& globals, const std::vector<std::unique_ptr<SheetModel>>& sheets,
                     size_t owner, uint8_t* d, size_t length, ColumnReference& ref) {
    using namespace biff;
    using namespace biff::chart;
    const uint8_t id = d[ai::kId];
    const size_t tokenBytes = get16(d + ai::kFormulaBytes);
    if ((id != ai::kValues && id != ai::kCategories) || d[ai::kReferenceType] != ai::kWorksheet ||
        ai::kFormula + tokenBytes > length || tokenBytes == 0)
        return false;
    const uint8_t* token = d + ai::kFormula;
    const uint8_t code = token[0];
    if ((code == ptg::kArea3d || code == ptg::kArea3dV || code == ptg::kArea3dA) &&
        tokenBytes == ptg::kArea3dSize) {
        ref.sheet = globals.sheetOfXti(get16(token + ptg::kArea3dXti));
        ref.area = d + ai::kFormula + ptg::kArea3dAreaAt;
    } else if ((code == ptg::kArea || code == ptg::kAreaV || code == ptg::kAreaA) &&
               tokenBytes == ptg::kAreaSize) {
        ref.sheet = int(owner);
        ref.area = d + ai::kFormula + ptg::kAreaAt;
    } else {
        return false;
    }
    if (ref.sheet < 0 || size_t(ref.sheet) >= sheets.size() || !sheets[ref.sheet]->isWorksheet())
        return false;
    ref.firstRow = get16(ref.area + area::kFirstRow);
    ref.lastRow = get16(ref.area + area::kLastRow);
    ref.col = get16(ref.area + area::kFirstCol) & ptg::kColumnMask;
    const int lastCol = get16(ref.area + area::kLastCol) & ptg::kColumnMask;
    return ref.col == lastCol && ref.lastRow >= ref.firstRow;
}

// A series whose values gained points.
struct Growth {
    size_t series;  // its SERIES record: the byte offset, then the record's index
    uint16_t index, count, newCount;
};

// Extends the references of one chart substream; returns how many. Its records are walked
// along their bytes; the index of records is made only for a series that grows.
int extendChart(const Globals& globals, std::vector<std::unique_ptr<SheetModel>>& sheets,
                size_t owner, Substream chart) {
    using namespace biff::chart;
    RecordBuffer& recs = sheets[owner]->records();
    int extended = 0;
    std::vector<Growth> grown;
    size_t series = kNoRecord, dimensions = kNoRecord;
    uint16_t seriesIndex = 0;
    for (RecordPatcher r(recs.bytes(), chart.eof + 1, chart.bof); r.more(); r.next()) {
        const uint16_t type = r.type();
        if (type == rt::Dimensions && r.length() >= biff::dimensions::kSize)
            dimensions = r.offset();
        if (type == rt::Series && r.length() >= series::kSize) {
            if (series != kNoRecord) ++seriesIndex;
            series = r.offset();
        }
        ColumnReference ref{};
        if (type != rt::Ai || r.length() < ai::kSize ||
            !columnReference(globals, sheets, owner, r.data(), r.length(), ref))
            continue;
        const int mostLast = std::max(ref.lastRow, ref.firstRow + kMaxSeriesPoints - 1);
        const int newLast =
            std::min(lastFilledBelow(*sheets[ref.sheet], ref.lastRow, ref.col), mostLast);
        if (newLast == ref.lastRow) continue;
        set16(ref.area + biff::area::kLastRow, uint16_t(newLast));
        ++extended;
        if (series == kNoRecord) continue;
        const bool values = r.data()[ai::kId] == ai::kValues;
        uint8_t* counted = recs.bytes() + series + kRecordHeaderSize +
                           (values ? series::kValueCount : series::kCategoryCount);
        const uint16_t before = get16(counted);
        const uint16_t count = uint16_t(newLast - ref.firstRow + 1);
        if (before < count) set16(counted, count);
        if (values && before < count) grown.push_back({series, seriesIndex, before, count});
    }
    if (grown.empty()) return extended;
    // The series data count the points of the longest series, never fewer than before.
    if (dimensions != kNoRecord) {
        uint8_t* endRow = recs.bytes() + dimensions + kRecordHeaderSize + biff::dimensions::kEndRow;
        uint32_t points = get32(endRow);
        for (const Growth& g : grown) points = std::max<uint32_t>(points, g.newCount);
        set32(endRow, points);
    }
    // The records by index, as they stand before any is inserted.
    const RecordGroup group{recs.indexAt(chart.bof), recs.indexAt(chart.eof)};
    for (Growth& g : grown) g.series = recs.indexAt(g.series);
    // Last series first: inserting records moves everything behind them.
    for (auto it = grown.rbegin(); it != grown.rend(); ++it)
        extendPointFormats(*sheets[owner], group, it->series, it->index, it->count, it->newCount,
                           globals.styles().palette());
    return extended;
}

}  // namespace

int extendChartReferences(const Globals& globals,
                          std::vector<std::unique_ptr<SheetModel>>& sheets) {
    int extended = 0;
    for (size_t owner = 0; owner < sheets.size(); ++owner) {
        std::vector<Substream> charts = chartSubstreams(sheets[owner]->records());
        for (auto it = charts.rbegin(); it != charts.rend(); ++it)
            extended += extendChart(globals, sheets, owner, *it);
    }
    return extended;
}

}  // namespace xls
