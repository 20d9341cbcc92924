#pragma once

#include <string>
#include <vector>

#include "xls/Record.h"

namespace xls {

// The workbook's shared string table (SST). Strings read from the file keep their formatting
// runs and phonetic data; new strings are appended. While nothing is appended the original SST
// records are written back unchanged (only the total reference count is updated).
class SharedStrings {
  public:
    // `group`: the SST record followed by its CONTINUE records.
    void parse(const std::vector<Record*>& group);  // takes the records' data
    bool present() const { return present_; }

    size_t size() const { return strings_.size(); }
    const std::string& text(size_t index) const { return strings_[index].utf8; }
    // Index of a plain string with this text, adding it when there is none.
    uint32_t findOrAdd(const std::string& utf8);

    // Writes SST (+ CONTINUE) and EXTSST records to `out`, whose size is the stream position.
    void write(Bytes& out, uint32_t totalRefs) const;
    // At least the bytes write() gives.
    size_t sizeHint() const;

  private:
    // What few strings have, kept aside so that a plain string stays small.
    struct Rich {
        // The UTF-16 text when UTF-8 cannot carry it (unpaired surrogates read from a file, or
        // longer than a new string may be); otherwise empty and taken from `utf8`.
        std::u16string chars;
        Bytes runs, ext;
    };
    struct Str {
        std::string utf8;
        uint32_t rich = kPlain;          // index into rich_, or kPlain
        uint32_t chunk = 0, offset = 0;  // position in the original records
    };
    static constexpr uint32_t kPlain = 0xFFFFFFFF;
    const Rich& richOf(const Str& s) const;
    void writeRebuilt(Bytes& out, uint32_t totalRefs,
                      std::vector<std::pair<size_t, size_t>>& starts) const;
    void writeOriginal(Bytes& out, uint32_t totalRefs,
                       std::vector<std::pair<size_t, size_t>>& starts) const;
    void index(uint32_t i);

    bool present_ = false;
    std::vector<Str> strings_;
    std::vector<Rich> rich_;
    std::vector<Bytes> original_;  // data of the SST record and its CONTINUEs
    size_t originalCount_ = 0;
    // Plain strings by text: an open-addressed table of string index + 1 (0: free), kept at
    // most half full; built on the first lookup.
    std::vector<uint32_t> plain_;
    size_t plainCount_ = 0;
    bool indexed_ = false;
};

}  // namespace xls
