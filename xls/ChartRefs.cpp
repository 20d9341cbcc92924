#include "xls/ChartRefs.h"

#include <algorithm>

#include "xls/ChartPointGroups.h"
#include "xls/Globals.h"
#include "xls/SheetModel.h"
#include "xls/Workbook.h"

namespace xls {

namespace {

constexpr uint16_t kChartSubstream = 0x0020;  // BOF's dt for a chart
constexpr size_t kNoRecord = size_t(-1);

// Last row of the unbroken run of engine-written values directly below `lastRow` in `col`.
int lastFilledBelow(const SheetModel& sheet, int lastRow, int col) {
    const CellTable& cells = sheet.cells();
    int row = lastRow;
    while (row + 1 <= 65535) {
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

// Chart substreams (BOF with dt chart to its EOF) among a sheet's records, found along their
// bytes.
std::vector<Substream> chartSubstreams(const RecordBuffer& recs) {
    std::vector<Substream> charts;
    std::vector<std::pair<size_t, bool>> open;
    const uint8_t* const bytes = recs.bytes();
    for (size_t at = 0, end = recs.byteSize(); at < end; at += 4 + get16(bytes + at + 2)) {
        const uint16_t type = get16(bytes + at);
        if (type == rt::Bof)
            open.emplace_back(
                at, get16(bytes + at + 2) >= 4 && get16(bytes + at + 6) == kChartSubstream);
        if (type == rt::Eof && !open.empty()) {
            if (open.back().second) charts.push_back({open.back().first, at});
            open.pop_back();
        }
    }
    return charts;
}

struct Growth {
    size_t series;
    uint16_t index, count, newCount;
};

// Extends the references of one chart substream; returns how many. Its records are walked
// along their bytes; the index of records is made only for a series that grows.
int extendChart(const Globals& globals, std::vector<std::unique_ptr<SheetModel>>& sheets,
                size_t owner, Substream chart) {
    RecordBuffer& recs = sheets[owner]->records();
    uint8_t* const bytes = recs.bytes();
    int extended = 0;
    std::vector<Growth> grown;  // with the SERIES record's byte offset
    size_t series = kNoRecord, dimensions = kNoRecord;
    uint16_t seriesIndex = 0;
    for (size_t at = chart.bof; at <= chart.eof; at += 4 + get16(bytes + at + 2)) {
        const uint16_t type = get16(bytes + at);
        const size_t size = get16(bytes + at + 2);
        if (type == rt::Dimensions && size >= 14) dimensions = at;  // the series data's
        if (type == rt::Series && size >= 8) {
            if (series != kNoRecord) ++seriesIndex;
            series = at;
        }
        if (type != rt::Ai || size < 8) continue;
        uint8_t* d = bytes + at + 4;
        uint8_t id = d[0];
        size_t cce = get16(&d[6]);
        if ((id != 1 && id != 2) || d[1] != 2 || 8 + cce > size || cce == 0) continue;
        uint8_t ptg = d[8];
        int target = -1;
        size_t area = 0;  // offset of rwFirst
        if ((ptg == 0x3B || ptg == 0x5B || ptg == 0x7B) && cce == 11) {
            target = globals.sheetOfXti(get16(&d[9]));
            area = 11;
        } else if ((ptg == 0x25 || ptg == 0x45 || ptg == 0x65) && cce == 9) {
            target = int(owner);
            area = 9;
        } else {
            continue;
        }
        if (target < 0 || size_t(target) >= sheets.size() || !sheets[target]->isWorksheet())
            continue;
        int firstRow = get16(&d[area]), lastRow = get16(&d[area + 2]);
        int firstCol = get16(&d[area + 4]) & 0x3FFF, lastCol = get16(&d[area + 6]) & 0x3FFF;
        if (firstCol != lastCol || lastRow < firstRow) continue;
        const int mostLast = std::max(lastRow, firstRow + kMaxSeriesPoints - 1);
        int newLast = std::min(lastFilledBelow(*sheets[target], lastRow, firstCol), mostLast);
        if (newLast == lastRow) continue;
        set16(&d[area + 2], uint16_t(newLast));
        ++extended;
        if (series == kNoRecord) continue;
        uint8_t* s = bytes + series + 4;
        size_t countAt = id == 1 ? 6 : 4;  // cValy for values, cValx for categories
        uint16_t before = get16(&s[countAt]);
        uint16_t count = uint16_t(newLast - firstRow + 1);
        if (before < count) set16(&s[countAt], count);
        if (id == 1 && before < count) grown.push_back({series, seriesIndex, before, count});
    }
    if (grown.empty()) return extended;
    // The series data count the points of the longest series (rwMac), never fewer than before.
    if (dimensions != kNoRecord) {
        uint8_t* rwMac = bytes + dimensions + 4 + 4;
        uint32_t points = get32(rwMac);
        for (const Growth& g : grown) points = std::max<uint32_t>(points, g.newCount);
        set32(rwMac, points);
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
