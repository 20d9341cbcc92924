#pragma once

#include <QByteArray>

namespace chart {

// The most entries the template's pie shows: the first ones, as many as a chart series holds in
// the engine (xls::kMaxSeriesPoints). The table holds every entry.
inline constexpr int kChartEntryLimit = 3999;

// The pie-chart template carried inside the program, as bytes. Throws app::Failure when the
// program was built without it.
QByteArray TemplateBytes();

}  // namespace chart
