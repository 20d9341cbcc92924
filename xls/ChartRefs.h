#pragma once

#include <memory>
#include <vector>

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
// A series whose existing points each have a format of their own gives every new point the same
// (see extendPointFormats in ChartPointGroups.h). Returns the number of references extended.
int extendChartReferences(const Globals& globals, std::vector<std::unique_ptr<SheetModel>>& sheets);

}  // namespace xls
