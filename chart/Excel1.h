#pragma once

#include <QString>
#include <memory>

#include "chart/Spreadsheet.h"

namespace platform {
class Dialogs;
}

// The spreadsheet routines of the chart build.
namespace Excel1 {

// The text of the question asked when a spreadsheet application is already running.
QString runningWarningText();

// True when a running spreadsheet application answers with the name "Microsoft Excel"; every
// failure gives false.
bool isExcelRunning(chart::SpreadsheetClass& spreadsheets);

// Asks whether to go on when Excel is running. Returns true when the build must stop (the user
// answered No); false without asking when none runs.
bool warnIfExcelOpen(chart::SpreadsheetClass& spreadsheets, platform::Dialogs& dialogs);

// A new instance with the workbook at `path` open in it. Throws common::Failure.
std::unique_ptr<chart::SpreadsheetApplication> openExcelWorkbook(
    chart::SpreadsheetClass& spreadsheets, const QString& path);

// Copies a picture of the active sheet's used range to the clipboard and saves the clipboard's
// picture as a BMP file at `path`; where the clipboard cannot take the picture, the picture the
// application drew (SpreadsheetRange::copiedPicture) is saved. The clipboard's previous content,
// every format, is put back before it returns. Has its own error trap: failures are reported and
// the routine goes on with its next step. A null workbook fails at the first step.
void saveCellsActivesheet(chart::SpreadsheetWorkbook* workbook, const QString& path,
                          platform::Dialogs& dialogs);

}  // namespace Excel1
