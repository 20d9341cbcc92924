#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xls/PlainStringIndex.h"
#include "xls/Record.h"
#include "xls/StringArena.h"
#include "xls/TrivialVector.h"

namespace xls {

// The workbook's shared string table (SST). Strings read from the file keep their formatting
// runs and phonetic data; new strings are appended. While nothing is appended the original SST
// records are written back unchanged (only the total reference count is updated).
class SharedStrings {
  public:
    SharedStrings() = default;
    // Strings read as they lie point into the records this table owns: moved, never copied.
    SharedStrings(SharedStrings&&) = default;
    SharedStrings& operator=(SharedStrings&&) = default;
    SharedStrings(const SharedStrings&) = delete;
    SharedStrings& operator=(const SharedStrings&) = delete;

    // `group`: the data of the SST record followed by that of its CONTINUE records.
    void parse(std::vector<Bytes> group);

    size_t size() const { return strings_.size(); }
    // The UTF-8 text of string `index`; valid until the next findOrAdd.
    std::string_view text(size_t index) const {
        const StringEntry& s = strings_[index];
        return std::string_view(
            s.byAddress ? reinterpret_cast<const char*>(s.at) : text_.data() + s.at, s.size);
    }
    // Index of a plain string with this text, adding it when there is none.
    uint32_t findOrAdd(std::string_view utf8);

    // Writes SST (+ CONTINUE) and EXTSST records to `out`, whose size is the stream position.
    // Returns where in `out` the SST's total of references (cstTotal, `totalRefs`) stands, for
    // it to be patched later; kNoField when the stored SST is too short to hold it.
    static constexpr size_t kNoField = size_t(-1);
    size_t write(Bytes& out, uint32_t totalRefs) const;
    // At least the bytes write() gives.
    size_t sizeHint() const;

  private:
    // What few strings have, kept aside so that a plain string stays small.
    struct Rich {
        // The UTF-16 text when UTF-8 cannot carry it (unpaired surrogates read from a file, or
        // longer than a new string may be); otherwise empty and taken from the UTF-8 text.
        std::u16string chars;
        Bytes runs, ext;  // formatting runs (4 bytes each) and phonetic data, as read
    };
    // One string of the table. Its UTF-8 text is `size` bytes at text_[at], or at address `at`
    // when `byAddress`: in original_ (an ASCII string stored as 8-bit characters is its own
    // UTF-8) or in added_.
    struct StringEntry {
        uintptr_t at;
        uint32_t size;
        uint32_t rich : 30;  // index into rich_, or kPlain
        uint32_t ascii : 1;  // the text is 7-bit ASCII
        uint32_t byAddress : 1;
        StringEntry(uintptr_t textAt, uint32_t textSize, uint32_t richIndex, bool isAscii,
                    bool atAddress)
            : at(textAt), size(textSize), rich(richIndex), ascii(isAscii), byAddress(atAddress) {}
    };
    // Where a string read from the file starts: the record (an index into original_) and the
    // offset in its data.
    struct OriginalStart {
        size_t record, offset;
    };
    // EXTSST's entries as written: (stream position of a string, stream position of its record).
    using ExtSstStarts = std::vector<std::pair<size_t, size_t>>;
    class RecordCursor;  // the SST and CONTINUE records being written

    static constexpr uint32_t kPlain = 0x3FFFFFFF;  // StringEntry::rich of a plain string
    // originalCount_ when the original records cannot be written back as they are.
    static constexpr size_t kNotAsRead = size_t(-1);

    // Every how many strings EXTSST gives a string's place, for a table of `strings`.
    static size_t extSstSpacing(size_t strings);
    const Rich& richOf(const StringEntry& s) const;
    void addParsed(const ChunkReader::InPlace& in);
    void addParsed(ChunkReader::Text& t);
    void keepStart(size_t record, size_t offset);
    uint32_t addRich(std::u16string chars, Bytes runs, Bytes ext);  // its index
    void pushString(size_t at, uint32_t rich, bool ascii);
    void buildIndex();
    static void writeExtSst(Bytes& out, size_t spacing, const ExtSstStarts& starts);
    void writeOriginal(Bytes& out, uint32_t totalRefs, size_t spacing, ExtSstStarts& starts) const;
    void writeRebuilt(uint32_t totalRefs, RecordCursor& cursor) const;
    void writeString(RecordCursor& cursor, size_t i) const;
    size_t rebuiltBound() const;

    std::string text_;  // the UTF-8 texts of the strings read but not in place, one after the other
    StringArena added_;                   // the UTF-8 texts of the strings findOrAdd() added
    size_t textBytes_ = 0;                // UTF-8 bytes of all texts
    TrivialVector<StringEntry> strings_;  // in index order
    std::vector<Rich> rich_;
    size_t nonAsciiBytes_ = 0;     // UTF-8 bytes of the texts that are not 7-bit ASCII
    size_t richBytes_ = 0;         // bytes rich_ adds to a rebuilt table at most
    std::vector<Bytes> original_;  // data of the SST record and its CONTINUEs
    // The starts of every startStep_-th string read from original_; the next one is string
    // nextStart_. Written back as EXTSST when the table is written as it was read.
    std::vector<OriginalStart> starts_;
    size_t startStep_ = 8, nextStart_ = 0;
    size_t originalCount_ = 0;  // strings read, or kNotAsRead
    PlainStringIndex plain_;    // built on the first findOrAdd()
    bool indexed_ = false;
};

}  // namespace xls
