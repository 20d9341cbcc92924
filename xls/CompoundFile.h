#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "xls/Bytes.h"

namespace xls {

// An OLE2 compound file (structured storage) held in memory: a tree of storages and streams.
// Reads versions 3 and 4; writes version 3 (512-byte sectors, a mini stream for streams under
// 4,096 bytes, DIFAT sectors when the FAT outgrows the header). Every entry keeps its name,
// CLSID, state bits and time stamps, and every stream its bytes, so writing back what was read
// changes only the sector layout. Our own small reader and writer rather than libgsf: nothing
// to ship or build on Windows and macOS, no GLib, and every check on chains and sizes is ours to
// fuzz (fuzz/xls_fuzzer.cpp).
class CompoundFile {
  public:
    enum class Type : uint8_t { Storage = 1, Stream = 2, Root = 5 };

    struct Entry {
        std::u16string name;
        Type type = Type::Stream;
        std::array<uint8_t, 16> clsid{};
        uint32_t stateBits = 0;
        std::array<uint8_t, 16> times{};  // creation and modification FILETIMEs
        Bytes data;                       // streams only
        std::vector<size_t> children;     // storages: indices into entries()
    };

    CompoundFile();  // an empty root storage

    // Parses `bytes`; throws Error (Corrupt) naming `displayName` on any fault.
    static CompoundFile parse(const Bytes& bytes, const std::string& displayName);
    static CompoundFile parse(const uint8_t* bytes, size_t size, const std::string& displayName);
    // The same; the largest stream may take over `bytes`' buffer, which is left empty then.
    static CompoundFile parse(Bytes&& bytes, const std::string& displayName);
    // The same, for a caller that takes the stream `streamName` (below the root) out at once
    // (takeStream()): when its sectors follow one another, that stream takes over `bytes`'
    // buffer with its bytes left where they lie, so that it is neither copied nor moved. Every
    // other stream is a copy of its own.
    static CompoundFile parseForTaking(Bytes&& bytes, const std::string& displayName,
                                       const std::u16string& streamName);
    // Stream `index`'s bytes, moved out of the file (the entry keeps none); they start at `*at`
    // of what is returned (0 but for a stream left in place by parseForTaking()).
    Bytes takeStream(size_t index, size_t* at);
    Bytes serialize() const;
    // The file with stream `first` in the first sectors, in pieces around that stream's bytes,
    // which the caller holds (the entry's own data is not used; `firstSize` is its size, at
    // least the 4,096 bytes below which a stream belongs in the mini stream): the file is
    // `head`, the stream, then `tail` (padding to the sector, then every other sector).
    struct Pieces {
        Bytes head, tail;
    };
    Pieces serializeAround(size_t first, size_t firstSize) const;

    const std::vector<Entry>& entries() const { return entries_; }
    // Index of the stream or storage `name` (case-insensitive) directly below the root, or -1.
    int findInRoot(const std::u16string& name) const;
    Bytes& streamData(size_t index) {
        settle();
        return entries_[index].data;
    }
    // Adds a stream below the root (or replaces the data of the one with that name).
    size_t putStream(const std::u16string& name, Bytes data);
    // Removes the stream `name` (case-insensitive) directly below the root; false when there is
    // none. Indices of later entries move down by one.
    bool removeStreamFromRoot(const std::u16string& name);

    // The name order of siblings in the directory's tree: shorter names first, then by
    // upper-cased UTF-16 code units.
    static bool nameLess(const std::u16string& a, const std::u16string& b);

    // Where a stream left in place by parseForTaking() starts in its entry's data.
    struct LeftInPlace {
        size_t entry = SIZE_MAX;
        size_t at = 0;
    };

  private:
    struct Unfilled {};
    explicit CompoundFile(Unfilled) {}  // no root yet: parse() gives the entries
    // Moves a stream left in place to the front of its buffer, as every other member expects.
    void settle();

    std::vector<Entry> entries_;  // entries_[0] is the root
    LeftInPlace leftInPlace_;
};

}  // namespace xls
