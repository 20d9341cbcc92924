// The picture of the template's chart filled with 40 and with 1,000 entries: the chart's records
// and cells read, the slices, labels and title painted.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <string>

#include "xls/Workbook.h"
#include "xls/draw/ChartPicture.h"

namespace {

const std::string kTemplate = std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";

// The template filled as the chart build fills it (the sample rows cleared, `count` entries of
// unequal amounts in the accounting format), saved and read back so that the chart covers them.
xls::Workbook filled(int count) {
    xls::Workbook book = xls::Workbook::open(kTemplate);
    xls::Sheet& sheet = book.activeSheet();
    for (int row = 3; row <= 8; ++row) {
        sheet.setValue(row, 0, "");
        sheet.setValue(row, 1, "");
    }
    for (int i = 0; i < count; ++i) {
        sheet.setValue(3 + i, 0, "Asset number " + std::to_string(i + 1));
        sheet.setValue(3 + i, 1, std::to_string((i * 7919 % 97 + 3) * 250));
        sheet.setNumberFormat(3 + i, 1, "_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)");
    }
    return xls::Workbook::fromBytes(book.toBytes(false), "filled.xls");
}

void BM_Chart(benchmark::State& state) {
    const xls::Workbook book = filled(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QImage image = xls::draw::drawChart(book, 0, 0);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_Chart)->Arg(40)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
