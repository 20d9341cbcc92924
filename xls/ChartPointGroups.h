#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xls/StyleTypes.h"

namespace xls {

class SheetModel;

// A record and, when a BEGIN follows it, the END that closes that BEGIN: the indexes in the
// sheet's records of the owning record (`first`) and of its END (`last`; equal to `first` when
// the record has no group).
struct RecordGroup {
    size_t first, last;
};

// Gives the new points of series `index` of a chart what its existing points have: `count`
// points had formats before, the series now has `newCount`. `chart` is the chart substream (its
// BOF and its EOF) and `series` the index of the series' SERIES record among the sheet's
// records; `palette` holds the workbook's palette entries 8..63.
//
// A series whose existing points each have a DATAFORMAT group gives every new point a copy of
// the last existing point's group with the point's index and, where that group's fill is not
// automatic, a colour of pointColors() that no other point of the series and no background of
// the chart has. Data-label TEXT groups tied to each existing point by OBJECTLINK are copied
// the same way. A series whose points share the series format is left as it is. The records are
// inserted into the sheet's records; indexes of records behind them move.
void extendPointFormats(SheetModel& sheet, RecordGroup chart, size_t series, uint16_t index,
                        uint16_t count, uint16_t newCount, const std::vector<Rgb>& palette);

}  // namespace xls
