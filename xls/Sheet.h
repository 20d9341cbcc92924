#pragma once

#include <optional>
#include <string>
#include <vector>

#include "xls/Cell.h"
#include "xls/NumericText.h"
#include "xls/StyleTypes.h"

namespace xls {

class SheetModel;
class WorkbookModel;

enum class SheetType { Worksheet, Chart, Macro, Other };

// One sheet of a workbook, owned by its Workbook (valid while the workbook lives). Rows and
// columns are 0-based (row 0 is "1", column 0 is "A"); a sheet has rows 0..65535 and columns
// 0..255, and positions outside throw Error (Unsupported). Writing cells of a sheet that is not a
// worksheet (a chart sheet) throws Error (Unsupported); reading them gives empty cells.
class Sheet {
  public:
    Sheet(WorkbookModel& book, SheetModel& model) : book_(&book), model_(&model) {}

    std::string name() const;  // UTF-8
    SheetType type() const;

    // Assigns a value as a spreadsheet application does when text is typed into a cell: the
    // empty text empties the cell and keeps its format; a text that reads as a number
    // (xls::readNumber with `numbers`, the user's conventions as the application has them)
    // becomes a number; any other text becomes a string. The cell keeps its format (XF). A cell
    // inside an array formula's or data table's range is not changed: Error (Unsupported) "B4 is
    // part of the array formula over B4:C6".
    void setValue(int row, int col, const std::string& utf8Text,
                  const NumberConventions& numbers = NumberConventions());
    // Gives the cell the number format `formatUtf8` (e.g. "0.00", "$#,##0"), keeping the rest of
    // its format; an empty cell becomes a formatted blank.
    void setNumberFormat(int row, int col, const std::string& formatUtf8);

    Cell cell(int row, int col) const;
    // The smallest rectangle holding every cell record (values and formatted blanks); nothing
    // for a sheet without cells.
    std::optional<CellRange> usedRange() const;

    // Layout, read-only.
    ColumnFormat column(int col) const;
    RowFormat row(int row) const;
    int defaultRowHeightTwips() const;
    int defaultColumnWidthChars256() const;
    std::vector<CellRange> mergedRanges() const;
    bool showGridlines() const;

    // For tests and the fuzz target: the first broken invariant of the sheet's cell table,
    // described, or the empty string (CellTable::checkInvariants()).
    std::string checkInvariants() const;

  private:
    WorkbookModel* book_;
    SheetModel* model_;
};

}  // namespace xls
