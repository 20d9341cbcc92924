#pragma once

#include <QByteArray>
#include <QString>

namespace chart {

// The most entries the template's pie shows: the first ones, as many as a chart series holds in
// the engine (xls::kMaxSeriesPoints). The table holds every entry.
inline constexpr int kChartEntryLimit = 3999;

// The pie-chart template carried inside the program, as bytes. Throws common::Failure when the
// program was built without it.
QByteArray TemplateBytes();

// Writes `bytes` as the template copy at `path` ("Pie Chart.xlt" in the temporary folder) and
// leaves in `path` the file the build opens. A file already there is the template when it is the
// user's own (a regular file owned by the user that no other account can write or replace): it
// is left untouched and used. Anything else under the name (another account's file, a link, a
// folder), there before or put there while pending events ran, is left alone and not used: the
// bytes go to a fresh file beside it ("Pie Chart-XXXXXX.xlt", the user's alone), and `path`
// becomes that file. While no copy is in place `path` is empty. Lets pending window events run
// first; throws common::Failure when no copy can be written.
void WriteTemplateCopy(const QByteArray& bytes, QString& path);

}  // namespace chart
