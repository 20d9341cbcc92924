// Open a ~9 KB chart template, clear A4:B9, fill N rows as the program does (label, amount,
// accounting format), save it as .xls through the file system, open the result again and read
// every cell of its used range back. Reports the process's peak resident memory and the sizes
// of the files read and written as counters. bench/peers/ runs the same job with Apache POI.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/ProcessMemory.h"
#include "xls/Workbook.h"

namespace {

std::string templatePath() {
    std::string real = std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";
    if (std::filesystem::exists(real)) return real;
    return std::string(MORROWLIN_SOURCE_DIR) + "/tests/data/chart.xlt";
}

// Entries per pair of columns; bench/peers/PoiJob.java lays them out the same way.
constexpr int kRowsPerPair = 65000;

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
        {
            // The filled workbook is closed once saved, as the program and the peer job do.
            xls::Workbook book = xls::Workbook::open(source);
            xls::Sheet& s = book.activeSheet();
            for (int row = 3; row <= 8; ++row) {
                s.setValue(row, 0, "");
                s.setValue(row, 1, "");
            }
            for (int i = 0; i < rows; ++i) {
                // A sheet has 65,536 rows: past 65,000 entries the next pair of columns.
                int row = 3 + i % kRowsPerPair, col = 2 * (i / kRowsPerPair);
                s.setValue(row, col, "Asset " + std::to_string(i));
                s.setValue(row, col + 1, std::to_string(1000 + i * 7));
                s.setNumberFormat(row, col + 1, format);
            }
            book.saveAs(out);
        }
        xls::Workbook result = xls::Workbook::open(out);
        const xls::Sheet& back = result.activeSheet();
        double sum = 0;
        if (auto used = back.usedRange()) {
            for (int row = used->firstRow; row <= used->lastRow; ++row)
                for (int col = used->firstCol; col <= used->lastCol; ++col) {
                    xls::Cell c = back.cell(row, col);
                    sum += c.number + double(c.text.size()) + c.xf;
                }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["peak_rss_kb"] = double(peakKb());
    state.counters["template_bytes"] = double(std::filesystem::file_size(source));
    state.counters["saved_bytes"] = double(std::filesystem::file_size(out));
    std::filesystem::remove(out);
}
BENCHMARK(BM_OpenFillSaveOpen)
    ->Arg(6)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// `xlstool fill` of six entries with the amount format, as a whole process: start, open, fill,
// save, exit. Wall time (the process's own CPU time is not the benchmark's).
void BM_XlstoolFill(benchmark::State& state) {
    const std::string tool = std::string(MORROWLIN_BINARY_DIR) + "/xlstool";
    const std::string out = (std::filesystem::temp_directory_path() /
                             ("xlstool-bench-" + std::to_string(::getpid()) + ".xls"))
                                .string();
    std::vector<std::string> args{tool, "fill", templatePath(), out};
    for (int i = 0; i < 6; ++i) {
        args.push_back("A" + std::to_string(4 + i) + "=Asset " + std::to_string(i));
        args.push_back("B" + std::to_string(4 + i) + "=" + std::to_string(1000 + i * 7));
    }
    args.push_back("--format");
    args.push_back("B4=_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start xlstool");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("xlstool fill failed");
            break;
        }
    }
    std::filesystem::remove(out);
}
BENCHMARK(BM_XlstoolFill)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    platform::keepFreedMemoryForReuse();  // as the program and xlstool do
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
