// The picture of a range: the template's used range, and 1,000 filled rows.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <string>

#include "xls/Workbook.h"
#include "xls/draw/RangePicture.h"

namespace {

const std::string kTemplate = std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";

void BM_TemplateUsedRange(benchmark::State& state) {
    const xls::Workbook book = xls::Workbook::open(kTemplate);
    const xls::CellRange used = *book.sheet(0).usedRange();
    for (auto _ : state) {
        QImage image = xlsdraw::drawRange(book, 0, used);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_TemplateUsedRange)->Unit(benchmark::kMillisecond);

// 1,000 entries written as the chart build writes them: a label and an amount that keeps the
// accounting format. 1,001 rows of 20 pixels pass 16,384 pixels, so the picture is cut.
void BM_ThousandFilledRows(benchmark::State& state) {
    xls::Workbook book = xls::Workbook::open(kTemplate);
    xls::Sheet& sheet = book.activeSheet();
    for (int row = 3; row < 1003; ++row) {
        sheet.setValue(row, 0, "Asset number " + std::to_string(row - 2));
        sheet.setValue(row, 1, std::to_string((row - 2) * 1250));
        sheet.setNumberFormat(row, 1, "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)");
    }
    const xls::CellRange used = *sheet.usedRange();
    for (auto _ : state) {
        QImage image = xlsdraw::drawRange(book, 0, used);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ThousandFilledRows)->Unit(benchmark::kMillisecond);

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
