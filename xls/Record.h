#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xls/BiffFormat.h"
#include "xls/Bytes.h"
#include "xls/FastPaths.h"
#include "xls/RecordTypes.h"

namespace xls {

// One record: its type and its data, without the header.
struct Record {
    uint16_t type = 0;
    Bytes data;
};

// Appends a record: its header, then `size` bytes of `data`.
void writeRecord(Bytes& out, uint16_t type, const uint8_t* data, size_t size);
inline void writeRecord(Bytes& out, const Record& r) {
    writeRecord(out, r.type, r.data.data(), r.data.size());
}

// Records kept as the bytes they are written as (each with its 4-byte header), with where each
// starts: read, patched in place, grown by inserting whole records, and written out with one
// copy. The index of record starts is made on first use.
class RecordBuffer {
  public:
    RecordBuffer() = default;
    // `bytes` from `start` on holds whole records, every header and size already checked.
    explicit RecordBuffer(Bytes bytes, size_t start = 0)
        : bytes_(std::move(bytes)), start_(start) {}

    // The records' bytes, byteSize() of them. Patch fields in place through the non-const one;
    // the records' sizes must stay as they are.
    const uint8_t* bytes() const { return bytes_.data() + start_; }
    uint8_t* bytes() { return bytes_.data() + start_; }
    size_t byteSize() const { return bytes_.size() - start_; }
    size_t size() const { return scanned_ == byteSize() ? at_.size() : scanAll(); }
    uint16_t type(size_t i) const { return get16(bytes() + offset(i) + biff::header::kType); }
    size_t length(size_t i) const { return get16(bytes() + offset(i) + biff::header::kLength); }
    uint8_t* data(size_t i) { return bytes() + offset(i) + kRecordHeaderSize; }
    const uint8_t* data(size_t i) const { return bytes() + offset(i) + kRecordHeaderSize; }
    // A walk through the records from the first, with no index.
    RecordWalker walk() const { return RecordWalker(bytes(), byteSize()); }
    // Where record i starts in bytes(); offset(size()) is the end.
    size_t offset(size_t i) const { return i < at_.size() ? at_[i] : scanTo(i); }
    // The index of the record that starts at byte `at` of bytes().
    size_t indexAt(size_t at) const;
    // Inserts whole records in several gaps, in one new copy of the records: gap k opens before
    // record gaps[k].at (in increasing order), and `fill(k, out)` appends exactly gaps[k].size
    // bytes of whole records to `out`. bytes() stays as it was while `fill` runs, so it may
    // copy from there, and no room is zeroed first. Records before the first gap keep their
    // offsets.
    struct Gap {
        size_t at, size;  // before record `at`, `size` bytes
    };
    template <class Fill>
    void insert(const std::vector<Gap>& gaps, Fill fill) {
        if (gaps.empty()) return;
        std::vector<size_t> where;
        size_t total = 0;
        for (const Gap& p : gaps) {
            where.push_back(offset(p.at));
            total += p.size;
        }
        Bytes grown;
        grown.reserve(byteSize() + total);
        size_t from = 0;
        for (size_t k = 0; k < gaps.size(); ++k) {
            grown.insert(grown.end(), bytes() + from, bytes() + where[k]);
            fill(k, grown);
            from = where[k];
        }
        grown.insert(grown.end(), bytes() + from, bytes() + byteSize());
        bytes_.swap(grown);
        start_ = 0;
        // Fast path: the index before the first gap stays; the same starts a scan finds.
        if (kFastPaths)
            forgetFrom(gaps.front().at, where.front());
        else
            forgetFrom(0, 0);
    }
    // Inserts one record before record `at` where the list lies: the records after it move up,
    // and the index made so far stays.
    void insert(size_t at, uint16_t type, const uint8_t* data, size_t size);

  private:
    size_t scanTo(size_t i) const;
    size_t scanAll() const;  // size(), once the index is made to the end
    void forgetFrom(size_t at, size_t where);
    Bytes bytes_;
    size_t start_ = 0;  // where the records begin in bytes_
    // Where the first records start, as far as they have been looked for: records are found
    // one after the other, and an insertion forgets those behind it.
    mutable std::vector<uint32_t> at_;
    mutable size_t scanned_ = 0;  // the end of the last record in at_
};

// Reads a Unicode string (character count, option flags, characters, formatting runs,
// phonetic data) that may continue across CONTINUE records: `chunks` are the data of the
// first record and of each CONTINUE that follows. A CONTINUE that splits the characters starts
// with its own option byte. Throws OutOfBounds when the string runs off the end.
class ChunkReader {
  public:
    explicit ChunkReader(std::vector<const Bytes*> chunks, size_t offset = 0)
        : chunks_(std::move(chunks)), pos_(offset) {}

    struct Text {
        std::u16string chars;
        Bytes runs;                    // formatting runs, 4 bytes each
        Bytes ext;                     // phonetic (ExtRst) data
        size_t chunk = 0, offset = 0;  // where the string started
    };
    // cchBytes: 2 for XLUnicodeString, 1 for ShortXLUnicodeString. With `cut` given, a string
    // that runs off the end gives what is there and sets *cut instead of throwing.
    Text readString(int cchBytes = 2, bool* cut = nullptr);

    // An XLUnicodeString seen where it lies in its record, nothing copied.
    struct InPlace {
        const uint8_t* chars = nullptr;  // `count` characters of 1 byte, or 2 when `wide`
        size_t count = 0;
        bool wide = false;
        const uint8_t* runs = nullptr;  // `runBytes` bytes of formatting runs
        size_t runBytes = 0;
        const uint8_t* ext = nullptr;  // `extBytes` bytes of phonetic data
        size_t extBytes = 0;
        size_t chunk = 0, offset = 0;  // where the string starts
    };
    // Reads the next XLUnicodeString when the current record holds all of it, the option byte
    // included. Otherwise returns false having read nothing, and readString reads it (a string
    // that continues into the next record, or one cut off at the end).
    bool readInPlace(InPlace& s);
    bool atEnd();
    // Once atEnd() is false: the unread bytes of the current record, and moving past `n` of
    // them, for a caller that reads a field where it lies.
    const uint8_t* here() const { return chunks_[chunk_]->data() + pos_; }
    size_t leftHere() const { return chunks_[chunk_]->size() - pos_; }
    void skip(size_t n) { pos_ += n; }
    // True once a string was read past a lone padding byte or an empty CONTINUE record: the
    // records hold the text, but not as other readers expect it.
    bool mended() const { return mended_; }

  private:
    Text& readInto(Text& t, int cchBytes);
    uint8_t byte();
    void advance();
    std::vector<const Bytes*> chunks_;
    size_t chunk_ = 0;
    size_t pos_;
    bool mended_ = false;
};

}  // namespace xls
