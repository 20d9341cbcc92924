#pragma once

#include <string>
#include <vector>

#include "xls/Record.h"

namespace xlstest {

// Checks the records of one chart substream, its BOF to its EOF, against the documented grammar
// of the chart sheet substream as far as a pie chart uses it: page setup, protection, Units, the
// chart's formats (frames, series with their point formats, default texts, the axis group with
// its chart group, attached labels) and the series data (DIMENSIONS and three SIINDEX) before
// EOF. STARTBLOCK, ENDBLOCK and CHARTFRTINFO stand outside the grammar and are passed over.
// Returns the empty text when the records fit; else names the first record that does not fit
// (its place in `records`, its type) and what the grammar expected there.
std::string checkChartGrammar(const std::vector<xls::Record>& records);

}  // namespace xlstest
