#include "xls/ChartRefs.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>

#include "xls/FastPaths.h"
#include "xls/Globals.h"
#include "xls/SheetModel.h"
#include "xls/Workbook.h"

namespace xls {

namespace {

constexpr uint16_t kDataFormat = 0x1006, kAreaFormat = 0x100A, kText = 0x1025, kObjectLink = 0x1027,
                   kBegin = 0x1033, kEnd = 0x1034;
constexpr uint16_t kChartSubstream = 0x0020;  // BOF's dt for a chart
constexpr uint16_t kWholeSeries = 0xFFFF;     // DATAFORMAT xi / OBJECTLINK wLinkVar2: no point
constexpr uint16_t kSeriesOrPointLink = 4;    // OBJECTLINK wLinkObj: a series or a point label
constexpr uint16_t kStartBlock = 0x0852, kEndBlock = 0x0853;  // future records' object scope
constexpr size_t kNoGroup = size_t(-1);

// LibreOffice's automatic chart colours, in the order it gives them to points.
constexpr uint32_t kLibreOfficeColors[] = {0x004586, 0xFF420E, 0xFFD320, 0x579D1C,
                                           0x7E0021, 0x83CAFF, 0x314004, 0xAECF00,
                                           0x4B1F6F, 0xFF950E, 0xC5000B, 0x0084D1};

Rgb rgbOf(uint32_t c) { return {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}; }

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

// The END that closes the BEGIN right after records[at] (before `limit`); `at` itself when no
// BEGIN follows; kNoGroup when the group is not closed.
size_t groupEnd(const RecordBuffer& recs, size_t at, size_t limit) {
    if (at + 1 >= limit || recs.type(at + 1) != kBegin) return at;
    int depth = 0;
    for (size_t i = at + 1; i < limit; ++i) {
        if (recs.type(i) == kBegin) ++depth;
        if (recs.type(i) == kEnd && --depth == 0) return i;
    }
    return kNoGroup;
}

// The first record of `type` directly inside the group that starts at `at` and ends at `end`,
// or kNoGroup.
size_t childOf(const RecordBuffer& recs, size_t at, size_t end, uint16_t type) {
    for (size_t i = at + 2; i < end;) {
        if (recs.type(i) == type) return i;
        size_t next = groupEnd(recs, i, end);
        if (next == kNoGroup) return kNoGroup;
        i = next + 1;
    }
    return kNoGroup;
}

struct Group {
    size_t first, last;  // the owning record and its END (equal when it has no group)
};

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

// Per-point groups keyed by point index, and where a copy for a new point goes.
struct PointGroups {
    std::map<uint16_t, Group> byPoint;
    bool coverFirst(uint16_t count) const {
        for (uint16_t p = 0; p < count; ++p)
            if (!byPoint.count(p)) return false;
        return count > 0;
    }
    size_t insertAt() const {
        size_t at = 0;
        for (const auto& [p, g] : byPoint) at = std::max(at, g.last + 1);
        return at;
    }
};

// The DATAFORMAT groups of single points directly inside the series group [series, seriesEnd].
PointGroups pointFormats(const RecordBuffer& recs, size_t series, size_t seriesEnd) {
    PointGroups out;
    for (size_t i = series + 2; i < seriesEnd;) {
        size_t end = groupEnd(recs, i, seriesEnd);
        if (end == kNoGroup) return {};
        if (recs.type(i) == kDataFormat && recs.length(i) >= 8 &&
            get16(recs.data(i)) != kWholeSeries)
            out.byPoint[get16(recs.data(i))] = {i, end};
        i = end + 1;
    }
    return out;
}

// The TEXT groups of the chart whose OBJECTLINK ties them to single points of series `index`.
PointGroups pointLabels(const RecordBuffer& recs, Group chart, uint16_t index) {
    PointGroups out;
    for (size_t i = chart.first + 1; i < chart.last; ++i) {
        if (recs.type(i) != kText) continue;
        size_t end = groupEnd(recs, i, chart.last);
        if (end == kNoGroup || end == i) continue;
        size_t link = childOf(recs, i, end, kObjectLink);
        if (link == kNoGroup || recs.length(link) < 6) continue;
        const uint8_t* d = recs.data(link);
        if (get16(d) != kSeriesOrPointLink || get16(d + 2) != index || get16(d + 4) == kWholeSeries)
            continue;
        out.byPoint[get16(d + 4)] = {i, end};
        i = end;
    }
    return out;
}

// Copies of the group of point `count - 1` for the points count .. newCount - 1 that have none,
// to be inserted after the last point's group.
struct Insertion {
    size_t at;
    Group proto;
    std::vector<uint16_t> points;
};

Insertion newPoints(const PointGroups& groups, uint16_t count, uint16_t newCount) {
    Insertion ins{groups.insertAt(), groups.byPoint.at(uint16_t(count - 1)), {}};
    ins.points.reserve(newCount - count);
    // The points with a group of their own, walked along with p in the same order.
    auto has = groups.byPoint.lower_bound(count);
    uint16_t p = count;
    for (; p < newCount && has != groups.byPoint.end(); ++p) {
        while (has != groups.byPoint.end() && has->first < p) ++has;
        if (has == groups.byPoint.end() || has->first != p) ins.points.push_back(p);
    }
    // Past the last point with a group, every point gets a copy.
    const size_t at = ins.points.size();
    ins.points.resize(at + size_t(newCount - p));
    std::iota(ins.points.begin() + ptrdiff_t(at), ins.points.end(), p);
    return ins;
}

// The copies, appended to `out`; `adapt(copy, p, k)` changes the k-th copy (its bytes, headers
// included, laid out as the prototype's) for point p. A long series' copies are megabytes: they
// are appended a few kilobytes at a time from a block of plain copies that stays in the
// first-level cache, each part adapted while it is still there, and no room is zeroed first.
// The parts stay under 4 KB, where glibc's memcpy moves vectors rather than starting the CPU's
// string move (its threshold with AVX2), which costs as much per byte here and more per call.
constexpr size_t kCopyPart = 4000;  // bytes

template <class Adapt>
void appendCopies(const RecordBuffer& recs, const Insertion& ins, Bytes& out, Adapt adapt) {
    const size_t first = recs.offset(ins.proto.first);
    const size_t size = recs.offset(ins.proto.last + 1) - first;
    const size_t count = ins.points.size();
    if (count == 0 || size == 0) return;
    const uint8_t* proto = recs.bytes() + first;
    const size_t perBlock = std::min(count, std::max<size_t>(1, kCopyPart / size));
    Bytes block;
    block.reserve(perBlock * size);
    for (size_t k = 0; k < perBlock; ++k) block.insert(block.end(), proto, proto + size);
    for (size_t k = 0; k < count; k += perBlock) {
        const size_t n = std::min(perBlock, count - k);
        const size_t at = out.size();
        out.insert(out.end(), block.begin(), block.begin() + ptrdiff_t(n * size));
        for (size_t j = 0; j < n; ++j) adapt(out.data() + at + j * size, ins.points[k + j], k + j);
    }
}

size_t copiesSize(const RecordBuffer& recs, const Insertion& ins) {
    return (recs.offset(ins.proto.last + 1) - recs.offset(ins.proto.first)) * ins.points.size();
}

// nearestPaletteIndex with a memory: the colours offered past the palette are the same for every
// chart, so a long series asks for the same answers build after build, in the same order.
// Remembered per thread twice: the answers of the last series asked, in order, which the next
// one walks along while it asks for the same colours; and a table of sets of four slots (a
// cache line each) indexed by a hash of the palette and the colour, for the rest.
class NearestEntries {
  public:
    explicit NearestEntries(const std::vector<Rgb>& palette) : palette_(palette) {
        for (Rgb c : palette) paletteKey_ = (paletteKey_ ^ rgbKey(c)) * 0x100000001B3ull;
        if (lastSeries().paletteKey != paletteKey_) lastSeries() = {paletteKey_, {}};
    }
    // The answer for the next colour of the series.
    uint16_t of(Rgb c) {
        const uint32_t color = rgbKey(c) + 1;
        // Memo: the answer the last series got for this colour at this place, checked against
        // the colour and the palette (its key); nearestPaletteIndex() gives the same.
        if (!kFastPaths) return nearestPaletteIndex(palette_, c);
        std::vector<Answer>& answers = lastSeries().answers;
        if (next_ < answers.size() && answers[next_].color == color) return answers[next_++].index;
        const uint16_t index = fromTable(c, color);
        answers.resize(next_);
        answers.push_back({color, index});
        ++next_;
        return index;
    }

  private:
    struct Answer {
        uint32_t color;  // 0xRRGGBB + 1
        uint16_t index;
    };
    struct Series {
        uint64_t paletteKey = 0;
        std::vector<Answer> answers;
    };
    static Series& lastSeries() {
        static thread_local Series series;
        return series;
    }
    uint16_t fromTable(Rgb c, uint32_t color) const {
        struct Slot {
            uint64_t paletteKey = 0;
            uint32_t color = 0;  // 0: empty
            uint16_t index = 0;
        };
        struct alignas(64) Set {
            Slot ways[4];
        };
        static thread_local std::vector<Set> memory(2048);
        Set& set = memory[((paletteKey_ ^ color) * 0x9E3779B97F4A7C15ull) >> 53];
        for (const Slot& s : set.ways)
            if (s.color == color && s.paletteKey == paletteKey_) return s.index;
        // The oldest answer makes room.
        std::memmove(&set.ways[1], &set.ways[0], 3 * sizeof(Slot));
        set.ways[0] = {paletteKey_, color, nearestPaletteIndex(palette_, c)};
        return set.ways[0].index;
    }
    static uint32_t rgbKey(Rgb c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }
    const std::vector<Rgb>& palette_;
    uint64_t paletteKey_ = 0xCBF29CE484222325ull;
    size_t next_ = 0;  // the colour of the series asked next
};

// The fill colours of a series' new points (nextPointColors) with their palette indexes,
// remembered per thread for the last series asked: saving the same list again asks for the same
// colours, and a longer list for more of them (the first ones are the same).
struct PointColors {
    std::vector<Rgb> used, palette, avoid;
    size_t asked = 0;  // colours asked for; fewer in `colors` when there are no more
    std::vector<Rgb> colors;
    std::vector<uint16_t> indexes;
};

const PointColors& pointColors(const std::vector<Rgb>& used, const std::vector<Rgb>& palette,
                               size_t count, const std::vector<Rgb>& avoid) {
    static thread_local PointColors memo;
    // Memo: the last answer, when asked with the same key for no more colours than it holds
    // (or it holds all there are); the first colours of a longer list are the same.
    const bool same = memo.used == used && memo.palette == palette && memo.avoid == avoid;
    if (kFastPaths && same && (count <= memo.asked || memo.colors.size() < memo.asked))
        return memo;
    memo.used = used;
    memo.palette = palette;
    memo.avoid = avoid;
    memo.asked = count;
    memo.colors = nextPointColors(used, palette, count, avoid);
    memo.indexes.clear();
    memo.indexes.reserve(memo.colors.size());
    NearestEntries nearest(palette);
    for (Rgb c : memo.colors) memo.indexes.push_back(nearest.of(c));
    return memo;
}

// Gives the new points of series `index` (its SERIES record at `series`) what the existing
// points have; `count` points had formats before, the series now has `newCount`.
void extendPointFormats(SheetModel& sheet, Group chart, size_t series, uint16_t index,
                        uint16_t count, uint16_t newCount, const std::vector<Rgb>& palette) {
    const RecordBuffer& recs = sheet.records();
    size_t seriesEnd = groupEnd(recs, series, chart.last);
    if (seriesEnd == kNoGroup || seriesEnd == series) return;
    PointGroups formats = pointFormats(recs, series, seriesEnd);
    if (!formats.coverFirst(count)) return;  // the points share the series format

    auto fillOf = [&](size_t i) {
        const uint8_t* d = recs.data(i);
        return Rgb{d[0], d[1], d[2]};
    };
    std::vector<Rgb> used, backgrounds;
    used.reserve(formats.byPoint.size());
    for (const auto& [p, g] : formats.byPoint) {
        size_t area = childOf(recs, g.first, g.last, kAreaFormat);
        if (area != kNoGroup && recs.length(area) >= 16) used.push_back(fillOf(area));
    }
    // The fills of the chart's own frames (chart area, plot area): a slice in one would vanish.
    for (size_t i = chart.first; i < chart.last; ++i) {
        if (i == series) i = seriesEnd;
        if (recs.type(i) == kAreaFormat && recs.length(i) >= 16) backgrounds.push_back(fillOf(i));
    }
    const Group proto = formats.byPoint.at(uint16_t(count - 1));
    const size_t protoAt = recs.offset(proto.first);
    const size_t protoArea = childOf(recs, proto.first, proto.last, kAreaFormat);
    bool ownColors =
        protoArea != kNoGroup && recs.length(protoArea) >= 16 && !(recs.data(protoArea)[10] & 1);
    const Rgb* colors = nullptr;
    const uint16_t* indexes = nullptr;
    size_t colorCount = 0;
    if (ownColors) {
        const PointColors& given = pointColors(used, palette, newCount - count, backgrounds);
        colors = given.colors.data();
        indexes = given.indexes.data();
        colorCount = std::min<size_t>(given.colors.size(), newCount - count);
    }
    // Where the copied fields lie in a copy: AREAFORMAT's data, counted from the group's start.
    const size_t areaAt = ownColors ? recs.offset(protoArea) + 4 - protoAt : 0;

    const Insertion formatCopies = newPoints(formats, count, newCount);
    auto adaptFormat = [&](uint8_t* copy, uint16_t p, size_t k) {
        set16(copy + 4, p);  // xi
        if (k >= colorCount) return;
        uint8_t* area = copy + areaAt;
        Rgb c = colors[k];
        area[0] = c.r;
        area[1] = c.g;
        area[2] = c.b;
        area[3] = 0;
        set16(area + 12, indexes[k]);
    };
    PointGroups labels = pointLabels(recs, chart, index);
    if (!labels.coverFirst(count)) {
        sheet.insertRecords(
            {{formatCopies.at, copiesSize(recs, formatCopies)}},
            [&](size_t, Bytes& out) { appendCopies(recs, formatCopies, out, adaptFormat); });
        return;
    }
    // STARTBLOCK / ENDBLOCK around a label's future records name the point too
    // (iObjectInstance1): where they lie in a copy.
    std::vector<size_t> blocks;
    const Group label = labels.byPoint.at(uint16_t(count - 1));
    const size_t labelAt = recs.offset(label.first);
    const size_t linkAt =
        recs.offset(childOf(recs, label.first, label.last, kObjectLink)) + 4 - labelAt;
    for (size_t i = label.first; i <= label.last; ++i)
        if ((recs.type(i) == kStartBlock || recs.type(i) == kEndBlock) && recs.length(i) >= 12 &&
            get16(recs.data(i) + 8) == uint16_t(count - 1))
            blocks.push_back(recs.offset(i) + 4 + 8 - labelAt);
    const Insertion labelCopies = newPoints(labels, count, newCount);
    auto adaptLabel = [&](uint8_t* copy, uint16_t p, size_t) {
        set16(copy + linkAt + 4, p);  // wLinkVar2: the point
        for (size_t b : blocks) set16(copy + b, p);
    };
    // Both in one copy of the records, in the order they stand.
    const bool labelsFirst = labelCopies.at < formatCopies.at;
    const Insertion& earlier = labelsFirst ? labelCopies : formatCopies;
    const Insertion& later = labelsFirst ? formatCopies : labelCopies;
    sheet.insertRecords(
        {{earlier.at, copiesSize(recs, earlier)}, {later.at, copiesSize(recs, later)}},
        [&](size_t k, Bytes& out) {
            if ((k == 0) == labelsFirst)
                appendCopies(recs, labelCopies, out, adaptLabel);
            else
                appendCopies(recs, formatCopies, out, adaptFormat);
        });
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
    size_t series = kNoGroup, dimensions = kNoGroup;
    uint16_t seriesIndex = 0;
    for (size_t at = chart.bof; at <= chart.eof; at += 4 + get16(bytes + at + 2)) {
        const uint16_t type = get16(bytes + at);
        const size_t size = get16(bytes + at + 2);
        if (type == rt::Dimensions && size >= 14) dimensions = at;  // the series data's
        if (type == rt::Series && size >= 8) {
            if (series != kNoGroup) ++seriesIndex;
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
        if (series == kNoGroup) continue;
        uint8_t* s = bytes + series + 4;
        size_t countAt = id == 1 ? 6 : 4;  // cValy for values, cValx for categories
        uint16_t before = get16(&s[countAt]);
        uint16_t count = uint16_t(newLast - firstRow + 1);
        if (before < count) set16(&s[countAt], count);
        if (id == 1 && before < count) grown.push_back({series, seriesIndex, before, count});
    }
    if (grown.empty()) return extended;
    // The series data count the points of the longest series (rwMac), never fewer than before.
    if (dimensions != kNoGroup) {
        uint8_t* rwMac = bytes + dimensions + 4 + 4;
        uint32_t points = get32(rwMac);
        for (const Growth& g : grown) points = std::max<uint32_t>(points, g.newCount);
        set32(rwMac, points);
    }
    // The records by index, as they stand before any is inserted.
    const Group group{recs.indexAt(chart.bof), recs.indexAt(chart.eof)};
    for (Growth& g : grown) g.series = recs.indexAt(g.series);
    // Last series first: inserting records moves everything behind them.
    for (auto it = grown.rbegin(); it != grown.rend(); ++it)
        extendPointFormats(*sheets[owner], group, it->series, it->index, it->count, it->newCount,
                           globals.styles().palette());
    return extended;
}

// A pastel so light (every channel at least 0xC0) that a slice in it reads as background.
bool pale(Rgb c) { return c.r >= 0xC0 && c.g >= 0xC0 && c.b >= 0xC0; }

}  // namespace

std::vector<Rgb> nextPointColors(const std::vector<Rgb>& used, const std::vector<Rgb>& palette,
                                 size_t count, const std::vector<Rgb>& avoid) {
    std::vector<Rgb> out;
    // Colours in use, looked up by hash: a long series offers many candidates. An open-addressed
    // table of 0xRRGGBB + 1 (0: free), at most half full.
    size_t slots = 64;
    int bits = 6;
    for (; slots < 2 * (used.size() + avoid.size() + count + 64); ++bits) slots *= 2;
    std::vector<uint32_t> table(slots, 0);
    auto insert = [&](Rgb c) {
        uint32_t key = (uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b) + 1;
        // Fibonacci hashing: the product's top bits depend on every bit of the key.
        for (size_t at = uint32_t(key * 0x9E3779B1u) >> (32 - bits);; at = (at + 1) & (slots - 1)) {
            if (table[at] == key) return false;
            if (table[at] == 0) {
                table[at] = key;
                return true;
            }
        }
    };
    for (Rgb c : used) insert(c);
    for (Rgb c : avoid) insert(c);
    auto inPalette = [&](Rgb c) {
        return std::find(palette.begin(), palette.end(), c) != palette.end();
    };
    auto offer = [&](Rgb c) {
        if (out.size() >= count || !insert(c)) return;
        out.push_back(c);
    };
    const size_t known = std::size(kLibreOfficeColors);
    bool continues = !used.empty();
    for (size_t k = 0; k < used.size() && k < known; ++k)
        continues = continues && used[k] == rgbOf(kLibreOfficeColors[k]);
    if (continues)
        for (size_t k = used.size(); k < known; ++k)
            if (inPalette(rgbOf(kLibreOfficeColors[k]))) offer(rgbOf(kLibreOfficeColors[k]));
    // Palette entries 8..63: from the chart fills (24) on, then the rest; pale tints only when
    // the others are used up, white never.
    for (bool pastels : {false, true})
        for (size_t k = 0; k < palette.size(); ++k) {
            Rgb c = palette[(k + 16) % palette.size()];
            if (pale(c) == pastels && !(c == Rgb{0xFF, 0xFF, 0xFF})) offer(c);
        }
    if (out.size() >= count) return out;
    // The palette has no colour left: the colours repeat in the order the points have them
    // (those of `used` that are palette entries, then the new ones), so that a point's palette
    // index still names its colour in every reader.
    std::vector<Rgb> cycle;
    for (Rgb c : used)
        if (inPalette(c)) cycle.push_back(c);
    cycle.insert(cycle.end(), out.begin(), out.end());
    for (size_t k = 0; out.size() < count && !cycle.empty(); ++k)
        out.push_back(cycle[k % cycle.size()]);
    return out;
}

uint16_t nearestPaletteIndex(const std::vector<Rgb>& palette, Rgb color) {
    size_t best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i < palette.size(); ++i) {
        int dr = int(palette[i].r) - color.r, dg = int(palette[i].g) - color.g,
            db = int(palette[i].b) - color.b;
        int distance = dr * dr + dg * dg + db * db;  // at most 3 * 255^2
        best = distance < bestDistance ? i : best;
        bestDistance = distance < bestDistance ? distance : bestDistance;
    }
    return uint16_t(8 + best);
}

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
