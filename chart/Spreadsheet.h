#pragma once

#include <QImage>
#include <QString>
#include <memory>

// The spreadsheet application as the chart build drives it: a class that makes new instances
// (and finds a running one), an application with its workbooks, workbooks and their active
// sheet. Every failure is a common::Failure whose text a user understands. Objects stay valid after
// their workbook closed or their application quit; using them then fails.
namespace chart {

// Rows and columns are counted from 1, as a spreadsheet user counts them.
class SpreadsheetRange {
  public:
    virtual ~SpreadsheetRange() = default;
    // Puts a picture of the range, as shown on screen, on the system clipboard.
    virtual void CopyPicture() = 0;
    // The picture the last CopyPicture drew, where the application hands it over directly too,
    // for when the clipboard could not take it; a null image otherwise.
    virtual QImage copiedPicture() const { return QImage(); }
    virtual int firstRow() const = 0;
    virtual int firstColumn() const = 0;
    virtual int lastRow() const = 0;
    virtual int lastColumn() const = 0;
};

class SpreadsheetSheet {
  public:
    virtual ~SpreadsheetSheet() = default;
    virtual void setCellValue(int row, int column, const QString& value) = 0;
    virtual void setCellNumberFormat(int row, int column, const QString& format) = 0;
    virtual std::unique_ptr<SpreadsheetRange> UsedRange() = 0;
};

class SpreadsheetWorkbook {
  public:
    virtual ~SpreadsheetWorkbook() = default;
    virtual SpreadsheetSheet& ActiveSheet() = 0;
    virtual void SaveAs(const QString& path) = 0;
    virtual void Close() = 0;
};

class SpreadsheetApplication {
  public:
    virtual ~SpreadsheetApplication() = default;
    virtual QString Name() const = 0;
    // Workbooks.Open: opens the file and returns it (it also joins the workbooks collection).
    virtual std::shared_ptr<SpreadsheetWorkbook> OpenWorkbook(const QString& path) = 0;
    // Workbooks.Count and Workbooks(n), n from 1.
    virtual int WorkbookCount() const = 0;
    virtual std::shared_ptr<SpreadsheetWorkbook> Workbook(int position) = 0;
    virtual void setDisplayAlerts(bool on) = 0;
    virtual void Quit() = 0;
};

class SpreadsheetClass {
  public:
    virtual ~SpreadsheetClass() = default;
    // A new instance, never made visible.
    virtual std::unique_ptr<SpreadsheetApplication> CreateNew() = 0;
    // The running instance; fails when none runs.
    virtual std::unique_ptr<SpreadsheetApplication> GetRunning() = 0;
};

}  // namespace chart
