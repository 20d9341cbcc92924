#pragma once

#include <string>
#include <vector>

#include "xls/Bytes.h"
#include "xls/Record.h"

// Looks inside saved workbooks at the record level, for tests.
namespace xlstest {

// The records of the Workbook stream of a compound file.
std::vector<xls::Record> workbookRecords(const xls::Bytes& file);

// A chart series reference (AI record with an area): which part, rows and column.
struct ChartRef {
    int id;  // 0 name, 1 values, 2 categories
    int firstRow, lastRow, firstCol, lastCol;
};
std::vector<ChartRef> chartRefs(const std::vector<xls::Record>& records);

}  // namespace xlstest
