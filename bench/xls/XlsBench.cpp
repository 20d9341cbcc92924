// Open a ~9 KB chart template, fill N rows as the program does (label, amount, accounting
// format), save it as .xls through the file system, and open the result again. Reports the
// process's peak resident memory as a counter.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "xls/Workbook.h"

namespace {

std::string templatePath() {
    std::string real = std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";
    if (std::filesystem::exists(real)) return real;
    return std::string(MORROWLIN_SOURCE_DIR) + "/tests/data/chart.xlt";
}

long peakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void BM_OpenFillSaveOpen(benchmark::State& state) {
    const int rows = int(state.range(0));
    const std::string source = templatePath();
    const std::string out = (std::filesystem::temp_directory_path() /
                             ("xls-bench-" + std::to_string(::getpid()) + ".xls"))
                                .string();
    const std::string format = "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)";
    for (auto _ : state) {
        xls::Workbook book = xls::Workbook::open(source);
        xls::Sheet& s = book.activeSheet();
        for (int row = 3; row <= 8; ++row) {
            s.setValue(row, 0, "");
            s.setValue(row, 1, "");
        }
        for (int i = 0; i < rows; ++i) {
            s.setValue(3 + i, 0, "Asset " + std::to_string(i));
            s.setValue(3 + i, 1, std::to_string(1000 + i * 7));
            s.setNumberFormat(3 + i, 1, format);
        }
        book.saveAs(out);
        xls::Workbook result = xls::Workbook::open(out);
        benchmark::DoNotOptimize(result.activeSheet().usedRange());
    }
    std::filesystem::remove(out);
    state.counters["peak_rss_kb"] = double(peakKb());
    state.counters["template_bytes"] = double(std::filesystem::file_size(source));
}
BENCHMARK(BM_OpenFillSaveOpen)
    ->Arg(6)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
