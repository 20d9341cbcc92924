#pragma once

#include <memory>
#include <vector>

#include "xls/StyleTypes.h"

namespace xls {

class Globals;
class SheetModel;

// Charts follow the data written below them: a chart series whose values or categories read a
// single column down to row R, where the engine wrote values into rows R+1, R+2, ... of that
// column without a gap, is extended down to the last of those rows (the AI record's area, 3-D or
// not, and the SERIES record's point counts), but never past its kMaxSeriesPoints-th point (see
// Workbook.h): a longer run ends the reference at the row of that point. The chart's series data
// (the DIMENSIONS before its EOF) then count as many points as its longest series. References
// are never shrunk; a chart that does not read those cells is left alone.
//
// A series whose existing points each have a format of their own (a DATAFORMAT group per point)
// gives every new point the same: a copy of the last existing point's group with the point's
// index and, where that group's fill is not automatic, a fill colour no other point of the
// series has and no background of the chart shows (see nextPointColors). Data-label TEXT groups
// tied to each existing point are copied the same way. A series whose points share the series
// format is left as it is. Returns the number of references extended.
int extendChartReferences(const Globals& globals, std::vector<std::unique_ptr<SheetModel>>& sheets);

// Fill colours for `count` new points of a series whose points so far have the colours `used`
// (in point order), none equal to a colour of `avoid` (the chart's backgrounds). Readers of
// BIFF8 charts take a fill from the palette index (LibreOffice does), so every colour is a
// palette entry, whose index then names it exactly: first those that continue a known automatic
// colour sequence that `used` starts (LibreOffice's default chart colours), then the palette
// from the chart fills (index 24) on, pale tints (every channel 0xC0 or more) last and white
// never, none repeating a colour of `used` or an earlier one. When the palette has no such colour
// left, the colours repeat from the first: those of `used` that are palette entries, then the
// new ones, in order.
std::vector<Rgb> nextPointColors(const std::vector<Rgb>& used, const std::vector<Rgb>& palette,
                                 size_t count, const std::vector<Rgb>& avoid = {});

// The palette index (8..63) of the entry of `palette` (entries 8..63) nearest to `color`.
uint16_t nearestPaletteIndex(const std::vector<Rgb>& palette, Rgb color);

}  // namespace xls
