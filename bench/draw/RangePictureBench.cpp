// The picture of a range: the template's used range, 1,000 filled rows, the whole sheet.
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
        QImage image = xls::draw::drawRange(book, 0, used);
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
        QImage image = xls::draw::drawRange(book, 0, used);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ThousandFilledRows)->Unit(benchmark::kMillisecond);

// The whole sheet, A1:IV65536 (about 18,000 x 1,300,000 pixels): the largest range a picture
// is asked for. The side bound alone allowed 16,384 x 16,384 pixels (1 GiB); with the area
// bound the picture is 16,384 x 4,096 (256 MiB). "picture_MiB" is the picture's own memory.
void BM_WholeSheet(benchmark::State& state) {
    const xls::Workbook book = xls::Workbook::open(kTemplate);
    double mebibytes = 0;
    for (auto _ : state) {
        QImage image = xls::draw::drawRange(book, 0, xls::CellRange{0, 0, 65535, 255});
        mebibytes = static_cast<double>(image.sizeInBytes()) / (1024.0 * 1024.0);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["picture_MiB"] = mebibytes;
}
BENCHMARK(BM_WholeSheet)->Unit(benchmark::kMillisecond)->Iterations(3);

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
