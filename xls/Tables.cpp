#include "xls/Tables.h"

#include "xls/BiffFormat.h"
#include "xls/FastPaths.h"
#include "xls/Globals.h"
#include "xls/SheetModel.h"

namespace xls {

namespace {

constexpr uint16_t kFeature11 = 0x0872;
constexpr uint16_t kListFeature = 0x0005;  // isf: ISFLIST, a table
// Offsets in a FEAT11 record: the header's range, the feature fields, the first range of refs2
// and, inside the table data (rgbFeat), the data source type, header and totals row counts.
constexpr size_t kHeaderRef = 4, kIsf = 12, kRefCount = 19, kRefs = 27;
// A range in FEAT11 (Ref8): first row u16 | last row u16 | first column u16 | last column u16.
namespace ref8 {
constexpr size_t kFirstRow = 0, kLastRow = 2, kFirstCol = 4, kLastCol = 6, kSize = 8;
}
constexpr size_t kSourceType = 0, kHeaderRows = 8, kTotalsRows = 12;
constexpr uint32_t kRangeSource = 0;  // lt: LTRANGE, a table over cells of the sheet

struct TableRange {
    int firstRow, lastRow, firstCol, lastCol, headerRows;
};

// The range of a FEAT11 table this engine can extend, or nothing.
bool readTable(uint16_t type, const uint8_t* d, size_t size, TableRange& t) {
    if (type != kFeature11 || size < kRefs + ref8::kSize || get16(&d[kIsf]) != kListFeature ||
        get16(&d[kRefCount]) < 1)
        return false;
    size_t feat = kRefs + ref8::kSize * size_t(get16(&d[kRefCount]));
    if (size < feat + 16 || get32(&d[feat + kSourceType]) != kRangeSource ||
        get32(&d[feat + kTotalsRows]) != 0)
        return false;
    t.firstRow = get16(&d[kRefs + ref8::kFirstRow]);
    t.lastRow = get16(&d[kRefs + ref8::kLastRow]);
    t.firstCol = get16(&d[kRefs + ref8::kFirstCol]);
    t.lastCol = get16(&d[kRefs + ref8::kLastCol]);
    t.headerRows = int(get32(&d[feat + kHeaderRows]));
    return t.firstRow <= t.lastRow && t.firstCol <= t.lastCol && t.lastCol <= kLastCol;
}

// The cells of the table's columns in `row` (`columnCells[col - firstCol]`, null where a column has
// none), and whether the engine wrote a value (not a blank) into one of them. One walk along
// the row's cells, which lie in column order.
bool rowWritten(const SheetModel& sheet, int row, const TableRange& t,
                std::vector<const CellTable::StoredCell*>& columnCells) {
    bool written = false;
    const CellTable::RowCells cells = sheet.cells().cellsOf(row);
    const CellTable::StoredCell* s = cells.first;
    for (int col = t.firstCol; col <= t.lastCol; ++col) {
        while (s != cells.last && s->lastCol < col) ++s;
        const CellTable::StoredCell* e = s != cells.last && s->firstCol <= col ? s : nullptr;
        columnCells[size_t(col - t.firstCol)] = e;
        written |= e && e->holdsWrittenValue();
    }
    return written;
}

// The look of a column of the table (the XF of its cell in a data row), with the last XF a cell
// had before taking it and the XF that cell got: a list's cells mostly share one format.
struct Look {
    uint16_t xf = 0;
    bool known = false;
    uint16_t own = 0, given = 0;
};

// Gives the cells of the table's columns in `row` (the k-th row below the old last row;
// `columnCells` as rowWritten found them) the look of the data row two rows up, keeping their own
// number format. `looks` holds the look of each column for odd and even k, found on the first call.
void takeTheLook(Globals& globals, SheetModel& sheet, const TableRange& t, int row, int k,
                 const std::vector<const CellTable::StoredCell*>& columnCells,
                 std::vector<Look>& looks, const std::string& displayName) {
    CellTable& cells = sheet.cells();
    const int width = t.lastCol - t.firstCol + 1;
    if (looks.empty()) {
        int dataRows = t.lastRow - (t.firstRow + t.headerRows) + 1;
        for (int parity : {0, 1}) {
            int source = dataRows >= 2 && parity == 1 ? t.lastRow - 1 : t.lastRow;
            for (int col = t.firstCol; col <= t.lastCol; ++col) {
                std::optional<uint16_t> xf = cells.xfAt(source, col);
                looks.push_back({xf ? *xf : sheet.defaultXf(source, col)});
            }
        }
    }
    // The cells rowWritten() found stay where they are while cells only get a new format in
    // place; once a cell is added or a run split, the rest of the row is looked up again.
    // Fast path: those cells, while no cell moved; the same as find().
    bool inPlace = kFastPaths;
    for (int col = t.firstCol; col <= t.lastCol; ++col) {
        Look& look = looks[size_t((k % 2) * width + (col - t.firstCol))];
        // The cell's own format, else the one its row or column gives (looked up only then).
        const CellTable::StoredCell* cell =
            inPlace ? columnCells[size_t(col - t.firstCol)] : cells.find(row, col);
        uint16_t own = cell ? cells.xfOf(*cell, col) : sheet.defaultXf(row, col);
        uint16_t xf;
        // Memo: the same own format two rows up got this answer, and XFs are only added.
        if (kFastPaths && look.known && look.own == own) {
            xf = look.given;
        } else {
            // XFs are only ever added, so the answer holds when both XFs lie in the table before
            // it is asked for (one past it stands for a fallback that added XFs change).
            const size_t xfCount = globals.styles().xfCount();
            uint16_t format = globals.styles().xf(own).formatIndex;
            xf = format == 0 ? look.xf : globals.findOrAddXf(look.xf, format, displayName);
            if (own < xfCount && look.xf < xfCount) look = {look.xf, true, own, xf};
        }
        if (xf == own && cell) continue;
        inPlace = inPlace && cell && !cell->isRun();
        if (inPlace)
            cells.setOwnXf(*cell, xf);
        else
            cells.setXf(cell, row, col, xf);
    }
}

// The usual row of a list: every column's cell is a cell of one record whose format is the
// one the same column had before taking its look, two rows up. Gives the row its look and
// returns true; returns false, having changed nothing, for any other row.
bool tookTheLookQuickly(CellTable& cells, const TableRange& t, int k,
                        const std::vector<const CellTable::StoredCell*>& columnCells,
                        const std::vector<Look>& looks) {
    if (looks.empty()) return false;
    const size_t width = columnCells.size();
    const Look* look = looks.data() + (k % 2) * width;
    for (size_t c = 0; c < width; ++c) {
        const CellTable::StoredCell* s = columnCells[c];
        if (!s || s->isRun() || !look[c].known ||
            look[c].own != cells.xfOf(*s, t.firstCol + int(c)))
            return false;
    }
    for (size_t c = 0; c < width; ++c)
        if (look[c].given != look[c].own) cells.setOwnXf(*columnCells[c], look[c].given);
    return true;
}

// What quickRow() found.
enum class Quick { Done, NotWritten, Other };

// The usual row of a list, on a short path: its cells of the table's columns are one cell of
// one record each, every one with the format its column had before taking its look (`look`,
// for the row's parity). Gives a written row its look (Done), or finds it holds no value the
// engine wrote (NotWritten); any other row is left as it is (Other), for the full look. Out of
// line, so that extendTables()'s loop stays small.
[[gnu::noinline]] Quick quickRow(CellTable& cells, int row, const TableRange& t, const Look* look,
                                 size_t width) {
    const CellTable::RowCells in = cells.cellsOf(row);
    const CellTable::StoredCell* s = in.first;
    const int firstCol = t.firstCol;
    while (s != in.last && s->lastCol < firstCol) ++s;
    if (size_t(in.last - s) < width || s->firstCol != firstCol || s[width - 1].lastCol != t.lastCol)
        return Quick::Other;
    bool written = false;
    for (size_t c = 0; c < width; ++c) {
        const CellTable::StoredCell& e = s[c];
        if (e.isRun() || !look[c].known || look[c].own != get16(cells.data(e) + biff::cell::kXf))
            return Quick::Other;
        written |= e.holdsWrittenValue();
    }
    if (!written) return Quick::NotWritten;
    for (size_t c = 0; c < width; ++c)
        if (look[c].given != look[c].own) cells.setOwnXf(s[c], look[c].given);
    return Quick::Done;
}

}  // namespace

int extendTables(Globals& globals, std::vector<std::unique_ptr<SheetModel>>& sheets,
                 const std::string& displayName) {
    int added = 0;
    for (auto& sheet : sheets) {
        if (!sheet->isWorksheet()) continue;
        // Walked along the records' bytes, which keep their sizes: only fields change.
        RecordBuffer& recs = sheet->records();
        for (RecordPatcher r(recs.bytes(), recs.byteSize()); r.more(); r.next()) {
            if (r.type() != kFeature11) continue;
            TableRange t;
            uint8_t* d = r.data();
            if (!readTable(kFeature11, d, r.length(), t) ||
                t.lastRow - t.firstRow + 1 <= t.headerRows)
                continue;
            int last = t.lastRow;
            std::vector<Look> looks;
            std::vector<const CellTable::StoredCell*> columnCells(
                size_t(t.lastCol - t.firstCol + 1));
            const size_t width = columnCells.size();
            CellTable& cells = sheet->cells();
            while (last < kLastRow) {
                // Fast path: quickRow() and tookTheLookQuickly() give the usual row the look
                // takeTheLook() would, and leave every other row to it.
                if (kFastPaths && !looks.empty()) {
                    const size_t parity = size_t(last + 1 - t.lastRow) & 1;
                    const Quick q = quickRow(cells, last + 1, t, &looks[parity * width], width);
                    if (q == Quick::NotWritten) break;
                    if (q == Quick::Done) {
                        ++last;
                        continue;
                    }
                }
                if (!rowWritten(*sheet, last + 1, t, columnCells)) break;
                ++last;
                if (kFastPaths &&
                    tookTheLookQuickly(sheet->cells(), t, last - t.lastRow, columnCells, looks))
                    continue;
                takeTheLook(globals, *sheet, t, last, last - t.lastRow, columnCells, looks,
                            displayName);
            }
            if (last == t.lastRow) continue;
            set16(&d[kHeaderRef + ref8::kLastRow], uint16_t(last));
            set16(&d[kRefs + ref8::kLastRow], uint16_t(last));
            added += last - t.lastRow;
        }
    }
    return added;
}

}  // namespace xls
