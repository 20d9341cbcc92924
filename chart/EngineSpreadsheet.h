#pragma once

#include "chart/Spreadsheet.h"

namespace chart {

// The spreadsheet application Morrowlin carries inside itself: the workbook engine of xls/.
// It opens, changes and saves real Excel 97-2003 files and draws a range as a picture. There is
// never a running instance of it to find.
class EngineSpreadsheetClass : public SpreadsheetClass {
  public:
    std::unique_ptr<SpreadsheetApplication> CreateNew() override;
    std::unique_ptr<SpreadsheetApplication> GetRunning() override;
};

}  // namespace chart
