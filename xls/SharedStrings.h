#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "xls/Record.h"

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
    bool present() const { return present_; }

    size_t size() const { return strings_.size(); }
    // The UTF-8 text of string `index`; valid until the next findOrAdd.
    std::string_view text(size_t index) const {
        const Str& s = strings_[index];
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
        Bytes runs, ext;
    };
    struct Str {
        // The UTF-8 text: `size` bytes at text_[at], or at address `at` when `byAddress`: in
        // original_ (an ASCII string stored as 8-bit characters is its own UTF-8) or in added_.
        uintptr_t at;
        uint32_t size;
        uint32_t rich : 30;  // index into rich_, or kPlain
        uint32_t ascii : 1;  // the text is 7-bit ASCII
        uint32_t byAddress : 1;
        Str(uintptr_t textAt, uint32_t textSize, uint32_t richIndex, bool isAscii, bool atAddress)
            : at(textAt), size(textSize), rich(richIndex), ascii(isAscii), byAddress(atAddress) {}
    };
    // The strings in index order. Its elements are plain data: the list grows with realloc, and
    // adding one stays inline where it is called.
    class StrList {
      public:
        StrList() = default;
        StrList(StrList&& other) noexcept { *this = std::move(other); }
        StrList& operator=(StrList&& other) noexcept {
            if (this == &other) return *this;
            std::free(data_);
            data_ = other.data_;
            size_ = other.size_;
            capacity_ = other.capacity_;
            other.data_ = nullptr;
            other.size_ = other.capacity_ = 0;
            return *this;
        }
        ~StrList() { std::free(data_); }
        size_t size() const { return size_; }
        const Str& operator[](size_t i) const { return data_[i]; }
        void reserve(size_t n) {
            if (n > capacity_) reallocate(n);
        }
        void push_back(const Str& s) {
            if (size_ == capacity_) reallocate(std::max<size_t>(16, 2 * capacity_));
            new (data_ + size_++) Str(s);
        }

      private:
        [[gnu::noinline]] void reallocate(size_t capacity);  // throws std::bad_alloc
        Str* data_ = nullptr;
        size_t size_ = 0, capacity_ = 0;
    };
    // The texts of strings added by findOrAdd(), one after the other in blocks that never move,
    // so that a text is copied once and its address stays valid.
    class AddedTexts {
      public:
        AddedTexts() = default;
        AddedTexts(AddedTexts&& other) noexcept { *this = std::move(other); }
        AddedTexts& operator=(AddedTexts&& other) noexcept {
            blocks_ = std::move(other.blocks_);
            free_ = other.free_;
            left_ = other.left_;
            other.free_ = nullptr;
            other.left_ = 0;
            return *this;
        }
        // A copy of the `n` bytes at `text`.
        const char* add(const char* text, size_t n) {
            if (n > left_) newBlock(n);
            char* at = free_;
            copyBytes(reinterpret_cast<uint8_t*>(at), reinterpret_cast<const uint8_t*>(text), n);
            free_ += n;
            left_ -= n;
            return at;
        }

      private:
        void newBlock(size_t n);  // room for at least n bytes
        std::vector<std::unique_ptr<char[]>> blocks_;
        char* free_ = nullptr;  // the unused end of the last block
        size_t left_ = 0;
    };
    // Where a string read from the file starts in the original records.
    struct Place {
        size_t chunk, offset;
    };
    // A slot of the lookup table of plain strings: string index + 1 (0: free), and its hash.
    struct Slot {
        uint32_t id = 0;
        uint32_t hash = 0;
    };
    static constexpr uint32_t kPlain = 0x3FFFFFFF;
    static constexpr uint32_t kNotIndexed = 0x80000000;
    const Rich& richOf(const Str& s) const;
    void addParsed(const ChunkReader::InPlace& in);
    void addParsed(ChunkReader::Text& t);
    uint32_t addRich(std::u16string chars, Bytes runs, Bytes ext);  // its index
    void pushString(size_t at, uint32_t rich, bool ascii);
    void writeRebuilt(Bytes& out, uint32_t totalRefs, size_t dsst,
                      std::vector<std::pair<size_t, size_t>>& starts) const;
    void writeOriginal(Bytes& out, uint32_t totalRefs, size_t dsst,
                       std::vector<std::pair<size_t, size_t>>& starts) const;
    void grow();
    size_t slotOf(std::string_view utf8, uint32_t hash) const;
    size_t rebuiltBound() const;

    bool present_ = false;
    std::string text_;  // the UTF-8 texts of the strings read but not in place, one after the other
    AddedTexts added_;
    size_t textBytes_ = 0;  // UTF-8 bytes of all texts
    StrList strings_;
    std::vector<Rich> rich_;
    size_t nonAsciiBytes_ = 0;     // UTF-8 bytes of the texts that are not 7-bit ASCII
    size_t richBytes_ = 0;         // bytes rich_ adds to a rebuilt table at most
    std::vector<Bytes> original_;  // data of the SST record and its CONTINUEs
    // Of every placeStep_-th string read from original_, the next one being nextPlace_.
    std::vector<Place> places_;
    size_t placeStep_ = 8, nextPlace_ = 0;
    size_t originalCount_ = 0;
    // Plain strings by text: open addressing, kept at most half full; built on the first
    // lookup.
    std::vector<Slot> plain_;
    // Per string: its hash (31 bits) when it is in plain_, else kNotIndexed; a growing table
    // is filled from these in one sequential pass.
    std::vector<uint32_t> hashes_;
    size_t plainCount_ = 0;
    bool indexed_ = false;
};

}  // namespace xls
