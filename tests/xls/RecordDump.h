#pragma once

#include <string>
#include <vector>

#include "support/Records.h"
#include "support/Xlrd.h"
#include "xls/Bytes.h"
#include "xls/Record.h"

// Looks inside saved workbooks at the record level, for tests.
namespace xlstest {

// The records of the Workbook stream of a compound file.
std::vector<xls::Record> workbookRecords(const xls::Bytes& file);

// The chart series references (AI records with an area) in the order of the records.
std::vector<ChartRef> chartRefs(const std::vector<xls::Record>& records);

}  // namespace xlstest
