#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "xls/StringHash.h"

namespace xls {

// The plain strings of a shared string table by their text: an open-addressed hash table with
// linear probing, kept at most half full, whose buckets hold a string's index and its hash
// (multiplyFoldHash without its top bit). Strings are numbered in the order they are given to
// enter() or skip(); of two strings with the same text the caller enters the first only, and
// the index finds that one. The texts stay with the caller: find() reads them through
// `textOf(index)`.
//
// Each string's hash is kept in string order as well (kNotIndexed for one skipped), so that a
// growing table enters them again in one sequential pass without reading a text.
class PlainStringIndex {
  public:
    static constexpr uint32_t kNotIndexed = 0x80000000;

    // The hash of `text` as the index keeps it; `seen` as multiplyFoldHash gives it.
    static uint32_t hashOf(std::string_view text, uint64_t& seen) {
        return multiplyFoldHash(text, seen) & ~kNotIndexed;
    }
    static uint32_t hashOf(std::string_view text) {
        uint64_t seen;
        return hashOf(text, seen);
    }

    // Room for `n` strings' hashes.
    void reserve(size_t n) { hashes_.reserve(n); }
    // Makes sure one more string can be entered; positions found before are then stale.
    void makeRoom() {
        if (2 * (count_ + 1) > table_.size()) grow();
    }
    // The bucket of the string whose text is `text` (its hash `hash`), or the free bucket where
    // it belongs. `textOf(i)` gives the text of string i as a std::string_view.
    template <class TextOf>
    size_t find(std::string_view text, uint32_t hash, const TextOf& textOf) const;
    bool isFree(size_t bucket) const { return table_[bucket].string == 0; }
    // The index of the string in an occupied bucket.
    uint32_t stringAt(size_t bucket) const { return table_[bucket].string - 1; }
    // Numbers the next string `index` and enters it into the free bucket find() gave for it.
    void enter(size_t bucket, uint32_t index, uint32_t hash) {
        table_[bucket] = {index + 1, hash};
        hashes_.push_back(hash);
        ++count_;
    }
    // Numbers the next string without entering it (a rich string, or a second with a text).
    void skip() { hashes_.push_back(kNotIndexed); }

  private:
    struct Bucket {
        uint32_t string = 0;  // the string's index + 1; 0: free
        uint32_t hash = 0;
    };
    void grow();

    std::vector<Bucket> table_;     // a power of two in size
    std::vector<uint32_t> hashes_;  // by string index
    size_t count_ = 0;              // buckets in use
};

template <class TextOf>
inline size_t PlainStringIndex::find(std::string_view text, uint32_t hash,
                                     const TextOf& textOf) const {
    const size_t mask = table_.size() - 1;
    size_t at = hash & mask;
    for (; table_[at].string; at = (at + 1) & mask)
        if (table_[at].hash == hash && textOf(table_[at].string - 1) == text) break;
    return at;
}

// Makes the table four times as large, so that a long list being added rebuilds it few times,
// and enters the strings again from their kept hashes, in index order.
inline void PlainStringIndex::grow() {
    table_.assign(std::max<size_t>(64, table_.size() * 4), Bucket());
    const size_t mask = table_.size() - 1;
    for (size_t i = 0; i < hashes_.size(); ++i) {
        const uint32_t hash = hashes_[i];
        if (hash & kNotIndexed) continue;
        size_t at = hash & mask;
        while (table_[at].string) at = (at + 1) & mask;
        table_[at] = {uint32_t(i + 1), hash};
    }
}

}  // namespace xls
