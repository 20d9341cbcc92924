#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "xls/CompoundFile.h"
#include "xls/Globals.h"
#include "xls/Sheet.h"
#include "xls/SheetModel.h"

namespace xls {

// Everything a Workbook holds: the compound file with its other streams, the globals, the
// sheets, and the Sheet handles given out to callers.
class WorkbookModel {
  public:
    // Throws Error on any fault, naming `displayName`.
    WorkbookModel(Bytes&& file, std::string displayName);  // takes over `file`'s buffer

    Bytes toBytes(bool asTemplate);
    // The file as it is saved, in pieces to be written one after the other: pieces.head, the
    // workbook stream's spans, pieces.tail. Spans point into `made` and into the sheets' stored
    // records, so they hold until the workbook changes.
    struct Span {
        const uint8_t* data;
        size_t size;
    };
    struct Saved {
        CompoundFile::Pieces pieces;
        std::vector<Bytes> made;  // the stream's bytes made for this save
        std::vector<Span> stream;
    };
    Saved save(bool asTemplate);

    std::string displayName;
    Globals globals;
    std::vector<std::unique_ptr<SheetModel>> sheets;
    std::vector<Sheet> handles;

  private:
    void workbookStream(bool asTemplate, Saved& saved);
    void split(Bytes& buffer, size_t at);  // the workbook stream: `buffer` from `at` on
    std::vector<std::unique_ptr<SheetModel>> readParts(uint8_t* base, size_t size);
    std::exception_ptr readGlobals(const uint8_t* base, size_t end, int depth);
    static void keepBuffer(std::vector<std::unique_ptr<SheetModel>>& made, Bytes& buffer);

    CompoundFile file_;
    size_t streamIndex_ = 0;
    std::vector<Record> trailer_;  // substreams past the last sheet, kept as they are
};

}  // namespace xls
