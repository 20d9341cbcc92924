#pragma once

#include <memory>
#include <string>
#include <vector>

namespace xls {

class Globals;
class SheetModel;

// Tables (the FEAT11 records of a worksheet, BIFF8's record of an Excel table) follow the rows
// written directly below them, as a spreadsheet application extends a table when a row is typed
// right under it: while the row under a table's last row holds a value the engine wrote in one
// of the table's columns, the table's range grows by that row. Tables with a totals row are left
// alone. The new rows take the look of the table's data rows: each cell of the table's columns
// gets the format of the cell two rows up (so banded fills keep alternating), keeping its own
// number format when it has one other than General. Nothing outside the new rows changes.
// Returns the number of rows added to tables; errors (too many cell formats) name `displayName`.
int extendTables(Globals& globals, std::vector<std::unique_ptr<SheetModel>>& sheets,
                 const std::string& displayName);

}  // namespace xls
