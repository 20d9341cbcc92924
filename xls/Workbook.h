#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/Error.h"
#include "xls/Sheet.h"
#include "xls/Styles.h"

namespace xls {

// The most points a chart series covers: the format's limit for a series (SERIES cValx and cValy
// are at most 3,999). A series extended on saving stops at its 3,999th point; the cells below
// stay in the sheet.
inline constexpr int kMaxSeriesPoints = 3999;

// An Excel 97-2003 workbook (BIFF8 in an OLE compound file) opened for editing. Every record
// the engine does not change is written back byte for byte, so charts, drawings and formatting
// made by any spreadsheet program survive. Movable, not copyable. All failures throw xls::Error.
class Workbook {
  public:
    // Reads the file at `path`. Errors name the file by its file name.
    static Workbook open(const std::string& path);
    // Reads a workbook held in memory; `displayName` names it in error messages.
    static Workbook fromBytes(std::vector<uint8_t> bytes, std::string displayName);

    Workbook(Workbook&&) noexcept;
    Workbook& operator=(Workbook&&) noexcept;
    ~Workbook();

    // Writes the workbook to `path` through a temporary file in the same folder that is then
    // renamed over the target, so a failed save leaves no half-written file. The saved file keeps
    // the permissions of the file it replaces; the temporary is made exclusively, never through
    // a link. Saving under a name ending ".xls" drops a template's TEMPLATE record. Chart series
    // whose data were continued directly below their last row are extended before writing, up
    // to kMaxSeriesPoints points each.
    void saveAs(const std::string& path);
    // The file as it would be saved (asTemplate false drops the TEMPLATE record).
    std::vector<uint8_t> toBytes(bool asTemplate = true);

    const std::string& displayName() const;
    int sheetCount() const;
    int activeSheetIndex() const;
    Sheet& sheet(int index);  // throws Error (Unsupported) when out of range
    const Sheet& sheet(int index) const;
    Sheet& activeSheet() { return sheet(activeSheetIndex()); }
    const Styles& styles() const;
    // What the engine read past in records it keeps unchanged (a string shorter than its length
    // field, ...), one sentence each; the workbook opened and saves all the same.
    const std::vector<std::string>& warnings() const;

    // Read-only, for readers of what the engine keeps unchanged (the chart painter): the records
    // sheet `index` keeps besides its cells (its drawings and embedded charts among them), as the
    // bytes they are saved as, each with its 4-byte header. Valid until the workbook changes.
    // Throws Error (Unsupported) when out of range.
    struct RecordBytes {
        const uint8_t* data = nullptr;
        size_t size = 0;
    };
    RecordBytes keptRecords(int index) const;
    // The sheet a 3-D reference's EXTERNSHEET index (a formula's ixti) names here, or -1.
    int sheetOfReference(uint16_t ixti) const;

  private:
    explicit Workbook(std::unique_ptr<WorkbookModel> model);
    std::unique_ptr<WorkbookModel> model_;
};

}  // namespace xls
