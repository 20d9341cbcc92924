#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "xls/Record.h"
#include "xls/SharedStrings.h"
#include "xls/Styles.h"

namespace xls {

// The workbook globals substream: every record kept in order as the bytes it was read from, with
// the tables the engine reads from it (sheets, styles, shared strings, external sheet references)
// and the few it changes (number formats and XFs added, SST grown, sheet positions recomputed).
class Globals {
  public:
    struct SheetInfo {
        std::string name;
        uint8_t type = 0;  // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
    };

    // Parses the records of the globals substream, BOF to EOF: `records` holds them whole, every
    // header and size already checked. Throws Error.
    void parse(Bytes records, const std::string& displayName);

    const std::vector<SheetInfo>& sheets() const { return sheets_; }
    int activeSheet() const { return activeSheet_; }
    const Styles& styles() const { return styles_; }
    SharedStrings& strings() { return sst_; }
    const SharedStrings& strings() const { return sst_; }

    // Damage taken in stride in records kept as they are, one sentence each (no file name).
    const std::vector<std::string>& warnings() const { return warnings_; }

    // The sheet that a 3-D reference's EXTERNSHEET index names in this workbook, or -1.
    int sheetOfXti(uint16_t ixti) const;

    // Number format id for `format`, adding a FORMAT record (ids from 164) when none matches.
    // Asked for every cell formatted: the last answer is checked inline.
    uint16_t findOrAddFormat(const std::string& format) {
        if (!formatIds_.empty() && format == lastFormat_) return lastFormatId_;
        return lookUpFormat(format);
    }
    // A cell XF equal to `baseXf` but with number format `formatId`, added when none exists.
    // Asked for every cell formatted: the last two answers are checked inline.
    uint16_t findOrAddXf(uint16_t baseXf, uint16_t formatId, const std::string& displayName) {
        const uint32_t key = uint32_t(baseXf) << 16 | formatId;
        if (key == lastXfKey_[0]) return lastXf_[0];
        if (key == lastXfKey_[1]) return lastXf_[1];
        return lookUpXf(baseXf, formatId, displayName);
    }

    // Writes the substream. `sheetPosFields` receives the stream positions of the BOUNDSHEET
    // position fields, to be patched once the sheets are placed; `sstRefsField`, when given,
    // where the SST's total of references (`sstRefs`) stands, or SharedStrings::kNoField.
    void write(Bytes& out, bool asTemplate, uint32_t sstRefs, std::vector<size_t>& sheetPosFields,
               size_t* sstRefsField = nullptr) const;
    // About the bytes write() gives, at least as many.
    size_t sizeHint() const;

  private:
    // The XF, FONT, FORMAT and PALETTE records, once their counts are known.
    void parseStyles(size_t fonts, size_t xfs, size_t formats);
    // Which sheet each EXTERNSHEET entry names; `selfBook` tells the SUPBOOKs of this workbook.
    void parseExternSheets(const std::vector<bool>& selfBook, const Bytes& xti);
    size_t lastIndexOf(uint16_t type) const;
    void insertRecord(size_t at, uint16_t type, const Bytes& data);  // before record `at`
    // findOrAddFormat() and findOrAddXf() past their last answers.
    uint16_t lookUpFormat(const std::string& format);
    uint16_t lookUpXf(uint16_t baseXf, uint16_t formatId, const std::string& displayName);
    uint16_t findOrAddFormatRecord(const std::string& format);
    uint16_t findOrAddXfRecord(uint16_t baseXf, uint16_t formatId, const std::string& displayName);

    RecordBuffer records_;
    std::vector<SheetInfo> sheets_;
    int activeSheet_ = 0;
    Styles styles_;
    SharedStrings sst_;
    std::vector<int> xtiSheet_;
    std::vector<std::string> warnings_;
    std::vector<uint16_t> cutFormats_;  // number formats whose string was cut short
    // Answers already given: format text -> id, (base XF << 16 | format id) -> XF. Both stay
    // true, since formats and XFs are only ever added.
    std::unordered_map<std::string, uint16_t> formatIds_;
    std::unordered_map<uint32_t, uint16_t> xfFor_;
    // The last format answer and the last two XF answers: a list is filled with one format
    // over and over, and a banded table asks for its two looks by turns.
    std::string lastFormat_;
    uint16_t lastFormatId_ = 0;
    uint32_t lastXfKey_[2] = {0xFFFFFFFF, 0xFFFFFFFF};
    uint16_t lastXf_[2] = {0, 0};
    void rememberXf(uint32_t key, uint16_t xf);
};

}  // namespace xls
