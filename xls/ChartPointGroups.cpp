#include "xls/ChartPointGroups.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "xls/BiffFormat.h"
#include "xls/ChartPointColors.h"
#include "xls/SheetModel.h"

namespace xls {

namespace {

using namespace biff::chart;

constexpr size_t kNoGroup = size_t(-1);  // a group not closed, or a record not found

// The END that closes the BEGIN right after records[at] (before `limit`); `at` itself when no
// BEGIN follows; kNoGroup when the group is not closed.
size_t groupEnd(const RecordBuffer& recs, size_t at, size_t limit) {
    if (at + 1 >= limit || recs.type(at + 1) != rt::Begin) return at;
    int depth = 0;
    for (size_t i = at + 1; i < limit; ++i) {
        if (recs.type(i) == rt::Begin) ++depth;
        if (recs.type(i) == rt::End && --depth == 0) return i;
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

// Per-point groups keyed by point index, and where a copy for a new point goes.
struct PointGroups {
    std::map<uint16_t, RecordGroup> byPoint;
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
        if (recs.type(i) == rt::DataFormat && recs.length(i) >= dataFormat::kSize &&
            get16(recs.data(i) + dataFormat::kPoint) != dataFormat::kWholeSeries)
            out.byPoint[get16(recs.data(i) + dataFormat::kPoint)] = {i, end};
        i = end + 1;
    }
    return out;
}

// The TEXT groups of the chart whose OBJECTLINK ties them to single points of series `index`.
PointGroups pointLabels(const RecordBuffer& recs, RecordGroup chart, uint16_t index) {
    PointGroups out;
    for (size_t i = chart.first + 1; i < chart.last; ++i) {
        if (recs.type(i) != rt::Text) continue;
        size_t end = groupEnd(recs, i, chart.last);
        if (end == kNoGroup || end == i) continue;
        size_t link = childOf(recs, i, end, rt::ObjectLink);
        if (link == kNoGroup || recs.length(link) < objectLink::kSize) continue;
        const uint8_t* d = recs.data(link);
        const uint16_t point = get16(d + objectLink::kPoint);
        if (get16(d + objectLink::kObject) != objectLink::kSeriesOrPoint ||
            get16(d + objectLink::kSeries) != index || point == dataFormat::kWholeSeries)
            continue;
        out.byPoint[point] = {i, end};
        i = end;
    }
    return out;
}

// Copies of the group of point `count - 1` for the points count .. newCount - 1 that have none,
// to be inserted after the last point's group.
struct PointCopies {
    size_t at;
    RecordGroup proto;
    std::vector<uint16_t> points;
};

PointCopies newPoints(const PointGroups& groups, uint16_t count, uint16_t newCount) {
    PointCopies ins{groups.insertAt(), groups.byPoint.at(uint16_t(count - 1)), {}};
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
constexpr size_t kCopyPart = 4000;  // bytes: a part and its adapted copy fit that cache

template <class Adapt>
void appendCopies(const RecordBuffer& recs, const PointCopies& ins, Bytes& out, Adapt adapt) {
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

size_t copiesSize(const RecordBuffer& recs, const PointCopies& ins) {
    return (recs.offset(ins.proto.last + 1) - recs.offset(ins.proto.first)) * ins.points.size();
}

}  // namespace

namespace {

// The fill colour (rgbFore) of the AREAFORMAT record `i`.
Rgb fillOf(const RecordBuffer& recs, size_t i) {
    const uint8_t* fore = recs.data(i) + areaFormat::kForeColor;
    return Rgb{fore[0], fore[1], fore[2]};
}

// The copies of the last existing point's DATAFORMAT group: each gets its point's index (xi)
// and, when the group's fill is not automatic, the first ones a colour of their own.
struct FormatCopies {
    PointCopies copies;
    size_t areaAt = 0;  // where AREAFORMAT's data lie in a copy, from the copy's start
    const Rgb* colors = nullptr;
    const uint16_t* indexes = nullptr;  // the colours' palette indexes
    size_t colorCount = 0;

    void adapt(uint8_t* copy, uint16_t p, size_t k) const {
        set16(copy + kRecordHeaderSize + dataFormat::kPoint, p);
        if (k >= colorCount) return;
        uint8_t* area = copy + areaAt;
        uint8_t* fore = area + areaFormat::kForeColor;  // red, green, blue, an unused byte
        const Rgb c = colors[k];
        fore[0] = c.r;
        fore[1] = c.g;
        fore[2] = c.b;
        fore[3] = 0;
        set16(area + areaFormat::kForeIndex, indexes[k]);
    }
};

FormatCopies formatCopies(const RecordBuffer& recs, RecordGroup chart, RecordGroup series,
                          const PointGroups& formats, uint16_t count, uint16_t newCount,
                          const std::vector<Rgb>& palette) {
    FormatCopies out;
    out.copies = newPoints(formats, count, newCount);
    const RecordGroup proto = out.copies.proto;
    const size_t protoArea = childOf(recs, proto.first, proto.last, rt::AreaFormat);
    const bool ownColors =
        protoArea != kNoGroup && recs.length(protoArea) >= areaFormat::kSize &&
        !(get16(recs.data(protoArea) + areaFormat::kFlags) & areaFormat::kAutomatic);
    if (!ownColors) return out;
    std::vector<Rgb> used, backgrounds;
    used.reserve(formats.byPoint.size());
    for (const auto& [p, g] : formats.byPoint) {
        size_t area = childOf(recs, g.first, g.last, rt::AreaFormat);
        if (area != kNoGroup && recs.length(area) >= areaFormat::kSize)
            used.push_back(fillOf(recs, area));
    }
    // The fills of the chart's own frames (chart area, plot area): a slice in one would vanish.
    for (size_t i = chart.first; i < chart.last; ++i) {
        if (i == series.first) i = series.last;
        if (recs.type(i) == rt::AreaFormat && recs.length(i) >= areaFormat::kSize)
            backgrounds.push_back(fillOf(recs, i));
    }
    const PointColors& given = pointColors(used, palette, newCount - count, backgrounds);
    out.colors = given.colors.data();
    out.indexes = given.indexes.data();
    out.colorCount = std::min<size_t>(given.colors.size(), newCount - count);
    out.areaAt = recs.offset(protoArea) + kRecordHeaderSize - recs.offset(proto.first);
    return out;
}

// The copies of the last existing point's data-label TEXT group: each names its point in
// OBJECTLINK (wLinkVar2) and in the STARTBLOCK / ENDBLOCK around the label's future records
// (iObjectInstance1).
struct LabelCopies {
    PointCopies copies;
    size_t linkAt = 0;           // where OBJECTLINK's data lie in a copy
    std::vector<size_t> blocks;  // where each iObjectInstance1 lies in a copy

    void adapt(uint8_t* copy, uint16_t p) const {
        set16(copy + linkAt + objectLink::kPoint, p);
        for (size_t b : blocks) set16(copy + b, p);
    }
};

LabelCopies labelCopies(const RecordBuffer& recs, const PointGroups& labels, uint16_t count,
                        uint16_t newCount) {
    LabelCopies out;
    out.copies = newPoints(labels, count, newCount);
    const RecordGroup label = out.copies.proto;
    const size_t labelAt = recs.offset(label.first);
    out.linkAt = recs.offset(childOf(recs, label.first, label.last, rt::ObjectLink)) +
                 kRecordHeaderSize - labelAt;
    for (size_t i = label.first; i <= label.last; ++i)
        if ((recs.type(i) == rt::StartBlock || recs.type(i) == rt::EndBlock) &&
            recs.length(i) >= frtBlock::kSize &&
            get16(recs.data(i) + frtBlock::kObjectInstance1) == uint16_t(count - 1))
            out.blocks.push_back(recs.offset(i) + kRecordHeaderSize + frtBlock::kObjectInstance1 -
                                 labelAt);
    return out;
}

}  // namespace

void extendPointFormats(SheetModel& sheet, RecordGroup chart, size_t series, uint16_t index,
                        uint16_t count, uint16_t newCount, const std::vector<Rgb>& palette) {
    const RecordBuffer& recs = sheet.records();
    const size_t seriesEnd = groupEnd(recs, series, chart.last);
    if (seriesEnd == kNoGroup || seriesEnd == series) return;
    const PointGroups formats = pointFormats(recs, series, seriesEnd);
    if (!formats.coverFirst(count)) return;  // the points share the series format

    const FormatCopies points =
        formatCopies(recs, chart, {series, seriesEnd}, formats, count, newCount, palette);
    auto adaptFormat = [&](uint8_t* copy, uint16_t p, size_t k) { points.adapt(copy, p, k); };
    const PointGroups labels = pointLabels(recs, chart, index);
    if (!labels.coverFirst(count)) {
        sheet.insertRecords(
            {{points.copies.at, copiesSize(recs, points.copies)}},
            [&](size_t, Bytes& out) { appendCopies(recs, points.copies, out, adaptFormat); });
        return;
    }
    const LabelCopies texts = labelCopies(recs, labels, count, newCount);
    auto adaptLabel = [&](uint8_t* copy, uint16_t p, size_t) { texts.adapt(copy, p); };
    // Both in one copy of the records, in the order they stand.
    const bool labelsFirst = texts.copies.at < points.copies.at;
    const PointCopies& earlier = labelsFirst ? texts.copies : points.copies;
    const PointCopies& later = labelsFirst ? points.copies : texts.copies;
    sheet.insertRecords(
        {{earlier.at, copiesSize(recs, earlier)}, {later.at, copiesSize(recs, later)}},
        [&](size_t k, Bytes& out) {
            if ((k == 0) == labelsFirst)
                appendCopies(recs, texts.copies, out, adaptLabel);
            else
                appendCopies(recs, points.copies, out, adaptFormat);
        });
}

}  // namespace xls
