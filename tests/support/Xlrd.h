#pragma once

#include <string>

// python3-xlrd, a reader of workbooks that is not ours, as the tests run it. No Qt: the engine's
// tests use it too.

// A chart series reference (an AI record with an area), as a reader reports it: which part,
// rows and columns, 0-based.
struct ChartRef {
    int id = 0;  // 0 series name, 1 values, 2 categories
    int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
};

// The interpreter that has xlrd (the python3 first on PATH may lack it).
inline constexpr char kXlrdPython[] = "/usr/bin/python3";

// tests/support/read_workbook.py. `read_workbook.py FILE` prints the active sheet and the chart
// references as JSON; `read_workbook.py --cells FILE` prints every non-empty cell and note of
// every sheet, one tab-separated line each.
std::string xlrdReaderScript();

// True when kXlrdPython with xlrd is there.
bool haveXlrd();
