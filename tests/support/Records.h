#pragma once

#include <string>
#include <vector>

#include "xls/Bytes.h"
#include "xls/Record.h"

namespace xlstest {

// Splits a workbook stream into records, for tests that look at them one by one. Zero padding
// after the last record is ignored; a record header or record that runs past the end throws
// std::runtime_error naming `displayName`.
std::vector<xls::Record> parseRecords(const xls::Bytes& stream, const std::string& displayName);

}  // namespace xlstest
